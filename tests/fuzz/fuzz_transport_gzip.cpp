// The compressed hose pipe fed with arbitrary server bytes (it must end with
// a condition, never crash or spin), and with arbitrary content compressed the
// way the server does it (it must come out unchanged).

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "transport/GZIPHosePipe.h"

namespace {

class MemoryPipe : public CHosePipe {
public:
    MemoryPipe(std::string in, size_t chunk) : mIn(std::move(in)), mChunk(chunk) {}
    unsigned long ReceivedBytes() override { return mPos; }
    unsigned long SentBytes() override { return 0; }
    void SendData(void const*, unsigned long) override {}
    char ReceiveLine(char*, unsigned long& len, char) override
    {
        len = 0;
        return 0;
    }
    void ReceiveData(void* buf, unsigned long& len) override
    {
        len = std::min<unsigned long>({len, mChunk, mIn.size() - mPos});
        std::memcpy(buf, mIn.data() + mPos, len);
        mPos += len;
    }
    void AcceptRemoteDisconnect() override {}
    void AbortThreadOperation() override {}
    short ConnectionState() override { return kHoseConnected; }
    unsigned long StartTime() override { return 0; }

private:
    std::string mIn;
    size_t mChunk;
    size_t mPos = 0;
};

std::string Compress(std::string const& in, size_t piece, int level)
{
    z_stream z{};
    deflateInit(&z, level);
    std::string out;
    unsigned char buf[4096];
    size_t pos = 0;
    do {
        size_t n = std::min(piece, in.size() - pos);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + pos));
        z.avail_in = static_cast<uInt>(n);
        pos += n;
        do {
            z.next_out = buf;
            z.avail_out = sizeof buf;
            deflate(&z, pos >= in.size() ? Z_FINISH : Z_SYNC_FLUSH);
            out.append(reinterpret_cast<char*>(buf), sizeof buf - z.avail_out);
        } while (z.avail_out == 0);
    } while (pos < in.size());
    deflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    if (size < 2)
        return 0;
    bool roundTrip = data[0] & 1;
    bool lines = data[0] & 2;
    size_t chunk = 1 + data[1] % 64;
    unsigned short buffer = static_cast<unsigned short>(1024 + (data[0] >> 2) * 37);
    std::string body(reinterpret_cast<char const*>(data + 2), size - 2);
    std::string stream = roundTrip ? Compress(body, chunk * 7, 1 + data[1] % 9) : body;

    CGZIPHosePipe pipe(new MemoryPipe(stream, chunk), 6, buffer);
    std::string out;
    std::vector<char> buf(buffer + 1);
    try {
        for (;;) {
            unsigned long n = buffer;
            if (lines) {
                char stop = pipe.ReceiveLine(buf.data(), n, ' ');
                out.append(buf.data(), n);
                if (stop != 0)
                    out += stop;
            } else {
                pipe.ReceiveData(buf.data(), n);
                if (n == 0)
                    abort();  // a delivery of nothing must not happen
                out.append(buf.data(), n);
            }
            if (out.size() > body.size() * 1100 + 65536)
                abort();  // more out than any stream of this size can hold
        }
    } catch (CHoseException const&) {
    }
    if (roundTrip) {
        if (!lines && out != body)
            abort();
        // A line the stream's end cuts off is not handed out; everything
        // before it is, unchanged.
        if (lines && (body.compare(0, out.size(), out) != 0 ||
                      body.find_first_of(" \n", out.size()) != std::string::npos))
            abort();
    }
    return 0;
}
