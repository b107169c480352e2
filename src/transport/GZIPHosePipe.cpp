#include "transport/GZIPHosePipe.h"

#include <algorithm>
#include <cstring>

#include "foundation/Log.h"

CGZIPHosePipe::CGZIPHosePipe(CHosePipe* inner, unsigned short level, unsigned short bufferSize)
    : mInner(inner),
      mReceivedBytes(inner != nullptr ? inner->ReceivedBytes() : 0),
      mSentBytes(inner != nullptr ? inner->SentBytes() : 0),
      mLevel(level),
      mBufferSize(bufferSize > 0 ? bufferSize : 1024),
      mCompressedBuffer(new unsigned char[mBufferSize + 1]),
      mIntermediateBuffer(new unsigned char[mBufferSize + 1])
{
}

CGZIPHosePipe::~CGZIPHosePipe()
{
    if (mCompressedBufferState == kCPRBufferSending)
        deflateEnd(&mCompressionStream);
    else if (mCompressedBufferState == kCPRBufferReceiving)
        inflateEnd(&mCompressionStream);
}

void CGZIPHosePipe::SendData(void const* buf, unsigned long len)
{
    mSentBytes += len;
    SendCompressedData(buf, len);
}

void CGZIPHosePipe::SendCompressedBuffer()
{
    unsigned long filled = mBufferSize - mCompressionStream.avail_out;
    mCompressionStream.next_out = mCompressedBuffer.get();
    mCompressionStream.avail_out = mBufferSize;
    if (filled > 0)
        mInner->SendData(mCompressedBuffer.get(), filled);
}

void CGZIPHosePipe::SendCompressedData(void const* buf, unsigned long len)
{
    // One send phase per conversation: the requests go out before the first
    // response is read. A second one would need a stream the server no longer
    // reads, so it is refused rather than dropped.
    if (!FW_CHECK(mCompressedBufferState != kCPRBufferReceiving))
        ThrowHoseCode(kHosePipeSendFailed);
    if (mCompressedBufferState == kCPRBufferIdle) {
        mCompressionStream = z_stream{};
        mCompressionStream.zalloc = Z_NULL;
        mCompressionStream.zfree = Z_NULL;
        mCompressionStream.opaque = Z_NULL;
        if (deflateInit(&mCompressionStream, mLevel) != Z_OK) {
            FW_FAIL("!(deflateInit(...) == Z_OK)");
            ThrowHoseCode(kHosePipeSendFailed);
        }
        mCompressedBufferState = kCPRBufferSending;
        mCompressionStream.next_out = mCompressedBuffer.get();
        mCompressionStream.avail_out = mBufferSize;
    }
    mCompressionStream.next_in = static_cast<Bytef*>(const_cast<void*>(buf));
    while (len > 0) {
        // zlib counts in 32 bits: feed very large blocks in parts.
        uInt part = static_cast<uInt>(std::min<unsigned long>(len, 1u << 30));
        mCompressionStream.avail_in = part;
        while (mCompressionStream.avail_in > 0) {
            if (mCompressionStream.avail_out == 0)
                SendCompressedBuffer();
            int rc = deflate(&mCompressionStream, Z_NO_FLUSH);
            if (!FW_CHECK(rc == Z_OK))
                ThrowHoseCode(kHosePipeSendFailed);
        }
        len -= part;
    }
    if (mCompressionStream.avail_out == 0)
        SendCompressedBuffer();
}

void CGZIPHosePipe::FlushCompressedBuffer()
{
    if (mCompressedBufferState != kCPRBufferSending)
        return;
    for (;;) {
        if (mCompressionStream.avail_out == 0)
            SendCompressedBuffer();
        int rc = deflate(&mCompressionStream, Z_FINISH);
        if (rc == Z_STREAM_END) {
            SendCompressedBuffer();
            break;
        }
        if (!FW_CHECK(rc == Z_OK || rc == Z_BUF_ERROR)) {
            deflateEnd(&mCompressionStream);
            mCompressedBufferState = kCPRBufferIdle;
            ThrowHoseCode(kHosePipeSendFailed);
        }
        SendCompressedBuffer();
    }
    deflateEnd(&mCompressionStream);
    mCompressedBufferState = kCPRBufferIdle;
}

unsigned long CGZIPHosePipe::ReceiveCompressedBuffer(unsigned char* dst, unsigned long room, bool mayRead)
{
    if (!FW_CHECK(mCompressedBufferState != kCPRBufferSending))
        FlushCompressedBuffer();
    if (mCompressedBufferState == kCPRBufferIdle) {
        mCompressionStream = z_stream{};
        mCompressionStream.zalloc = Z_NULL;
        mCompressionStream.zfree = Z_NULL;
        mCompressionStream.opaque = Z_NULL;
        mCompressionStream.next_in = mCompressedBuffer.get();
        mCompressionStream.avail_in = 0;
        if (inflateInit(&mCompressionStream) != Z_OK) {
            FW_FAIL("!(inflateInit(...) == Z_OK)");
            ThrowHoseCode(kHosePipeReceiveFailed);
        }
        mCompressedBufferState = kCPRBufferReceiving;
    }
    room = std::min<unsigned long>(room, 1u << 30);
    if (mInflateError != Z_OK) {
        if (!mayRead)
            return 0;
        ReportInflateError();
    }
    for (;;) {
        if (mInflateEnded) {
            if (!mayRead)
                return 0;
            // The server finished its stream: nothing more will come.
            ThrowHoseCode(kHoseRemoteOrderlyDisconnect);
        }
        // Inflate first with the input at hand, even none: zlib may still
        // hold output from the last call. Only when nothing comes out is more
        // input read from the wrapped pipe, so that no read is made after the
        // server has sent its last bytes.
        mCompressionStream.next_out = dst;
        mCompressionStream.avail_out = static_cast<uInt>(room);
        uInt inputBefore = mCompressionStream.avail_in;
        int rc = inflate(&mCompressionStream, Z_SYNC_FLUSH);
        unsigned long produced = room - mCompressionStream.avail_out;
        if (rc == Z_STREAM_END)
            mInflateEnded = true;
        else if (rc != Z_OK && rc != Z_BUF_ERROR) {
            // Hand out what came before the damage; the next call reports it.
            mInflateError = rc;
            if (produced == 0)
                ReportInflateError();
        }
        if (produced > 0 || !mayRead)
            return produced;
        if (mInflateEnded)
            continue;
        if (mCompressionStream.avail_in > 0) {
            if (mCompressionStream.avail_in < inputBefore)
                continue;  // input taken without output yet (headers, flush markers)
            // Neither output nor progress with input and room at hand: do not
            // spin on it.
            ThrowHoseCode(kHosePipeReceiveFailed);
        }
        unsigned long n = mBufferSize;
        mInner->ReceiveData(mCompressedBuffer.get(), n);
        if (n == 0)
            ThrowHoseCode(kHoseRemoteDisconnect);  // the stream was cut off
        mCompressionStream.next_in = mCompressedBuffer.get();
        mCompressionStream.avail_in = static_cast<uInt>(n);
    }
}

void CGZIPHosePipe::ReportInflateError()
{
    GLogPrintf(3, "The compressed data from the CVS server is corrupt (%s). [error = %ld]",
               mCompressionStream.msg != nullptr ? mCompressionStream.msg : "zlib",
               static_cast<long>(mInflateError));
    ThrowHoseCode(kHosePipeReceiveFailed);
}

void CGZIPHosePipe::FillIntermediateBuffer()
{
    if (IntermediateUsed() > 0)
        return;
    mIntermediateStart = 0;
    mIntermediateEnd = ReceiveCompressedBuffer(mIntermediateBuffer.get(), mBufferSize, true);
}

bool CGZIPHosePipe::CopyBytesFromIntermediateBuffer(void* dst, unsigned long& len)
{
    unsigned long used = IntermediateUsed();
    if (used == 0) {
        len = 0;
        return false;
    }
    len = std::min(len, used);
    std::memcpy(dst, mIntermediateBuffer.get() + mIntermediateStart, len);
    mIntermediateStart += len;
    return true;
}

char CGZIPHosePipe::CopyLineThroughIntermediateBuffer(char* buf, unsigned long& len, char term)
{
    if (!FW_CHECK(len > 0))
        return 0;
    unsigned long copied = 0;
    while (copied < len) {
        FillIntermediateBuffer();
        char const* p = reinterpret_cast<char const*>(mIntermediateBuffer.get() + mIntermediateStart);
        unsigned long consumed = 0;
        char c = TakeLineBytes(p, IntermediateUsed(), term, buf, copied, len, consumed);
        mIntermediateStart += consumed;
        if (c != 0) {
            len = copied;
            return c;
        }
    }
    return 0;
}

char CGZIPHosePipe::ReceiveLine(char* buf, unsigned long& len, char term)
{
    FlushCompressedBuffer();
    char stop = CopyLineThroughIntermediateBuffer(buf, len, term);
    mReceivedBytes += len + (stop != 0 ? 1 : 0);
    return stop;
}

void CGZIPHosePipe::ReceiveData(void* buf, unsigned long& len)
{
    FlushCompressedBuffer();
    if (len == 0)
        return;
    unsigned long have = len;
    if (!CopyBytesFromIntermediateBuffer(buf, have))
        have = 0;
    if (have < len) {
        // Decompress straight into the rest of the caller's buffer. When some
        // bytes are already there, only work off the input at hand: waiting
        // for more (or meeting the end of the stream) must not hold back or
        // lose what we have.
        have += ReceiveCompressedBuffer(static_cast<unsigned char*>(buf) + have, len - have, have == 0);
    }
    len = have;
    mReceivedBytes += have;
}
