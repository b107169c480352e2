#pragma once
// A hose pipe wrapper that compresses what is sent and decompresses what is
// received (the protocol's "Gzip-stream"): one deflate stream for the requests
// (finished at the first receive, which is what makes the server answer and
// end its side), one inflate stream for the rest of the conversation.

#include <zlib.h>

#include <memory>

#include "transport/HosePipe.h"

enum : short {
    kCPRBufferIdle = 0,
    kCPRBufferSending = 1,    // a deflate stream is open
    kCPRBufferReceiving = 2,  // inflating
};

class CGZIPHosePipe : public CHosePipe {
public:
    // Takes ownership of inner; the byte counts start at inner's.
    CGZIPHosePipe(CHosePipe* inner, unsigned short level, unsigned short bufferSize);
    ~CGZIPHosePipe() override;

    // Uncompressed counts of the whole conversation.
    unsigned long ReceivedBytes() override { return mReceivedBytes; }
    unsigned long SentBytes() override { return mSentBytes; }
    void SendData(void const* buf, unsigned long len) override;
    char ReceiveLine(char* buf, unsigned long& len, char term) override;
    // Delivers at least one byte, or raises: kHoseRemoteOrderlyDisconnect once
    // the server's stream has ended, kHoseRemoteDisconnect when the wrapped
    // pipe ends before that, kHosePipeReceiveFailed for corrupt data.
    void ReceiveData(void* buf, unsigned long& len) override;
    void AcceptRemoteDisconnect() override { mInner->AcceptRemoteDisconnect(); }
    void AbortThreadOperation() override { mInner->AbortThreadOperation(); }
    short ConnectionState() override { return mInner->ConnectionState(); }
    unsigned long StartTime() override { return mInner->StartTime(); }
    bool OK() override { return mInner->OK(); }
    CHosePipe* HoseNext() override { return mInner.get(); }

    short CompressedBufferState() const { return mCompressedBufferState; }

private:
    void SendCompressedData(void const* buf, unsigned long len);
    void SendCompressedBuffer();
    void FlushCompressedBuffer();
    // Inflates into dst (room bytes) and returns the number produced. With
    // mayRead it reads the wrapped pipe as often as needed to produce at least
    // one byte; without, it only works off input already at hand (may be 0).
    unsigned long ReceiveCompressedBuffer(unsigned char* dst, unsigned long room, bool mayRead);
    [[noreturn]] void ReportInflateError();
    void FillIntermediateBuffer();
    char CopyLineThroughIntermediateBuffer(char* buf, unsigned long& len, char term);
    bool CopyBytesFromIntermediateBuffer(void* dst, unsigned long& len);
    unsigned long IntermediateUsed() const { return mIntermediateEnd - mIntermediateStart; }

    std::unique_ptr<CHosePipe> mInner;
    unsigned long mReceivedBytes;
    unsigned long mSentBytes;
    unsigned short mLevel;
    unsigned short mBufferSize;
    z_stream mCompressionStream{};
    std::unique_ptr<unsigned char[]> mCompressedBuffer;
    // Decompressed bytes not yet handed out: [start, end) of the buffer.
    std::unique_ptr<unsigned char[]> mIntermediateBuffer;
    unsigned long mIntermediateStart = 0;
    unsigned long mIntermediateEnd = 0;
    short mCompressedBufferState = kCPRBufferIdle;
    bool mInflateEnded = false;  // the server's stream is complete
    int mInflateError = Z_OK;    // the stream turned out corrupt
};
