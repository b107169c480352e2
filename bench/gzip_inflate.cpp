// Inflating a 50 MB compressed response stream through CGZIPHosePipe versus
// zlib inflating the same bytes directly, measured side by side. The stream is
// made like the server makes it (sync flush after every piece); the wrapped
// pipe hands out the compressed bytes from memory. Prints the throughput
// ratio (pipe / zlib); it should stay at 0.9 or above.

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "transport/GZIPHosePipe.h"

namespace {

using Clock = std::chrono::steady_clock;

// Protocol-like content: response lines and file contents.
std::string MakeResponse(size_t total)
{
    std::string s;
    s.reserve(total + 4096);
    for (unsigned i = 0; s.size() < total; ++i) {
        s += "M U module/dir" + std::to_string(i % 97) + "/file" + std::to_string(i) + ".c\n";
        s += "Created module/dir/\nmodule/dir/file.c\n/file.c/1." + std::to_string(i % 40) + "///\nu=rw,g=r,o=r\n";
        std::string body;
        for (unsigned j = 0; j < 40; ++j)
            body += "    value = compute(" + std::to_string((i * 31 + j) % 1000) + ", table[" +
                    std::to_string(j) + "]);\n";
        s += std::to_string(body.size()) + "\n" + body;
    }
    return s;
}

std::string Compress(std::string const& in, size_t piece)
{
    z_stream z{};
    deflateInit(&z, 6);
    std::string out;
    std::vector<unsigned char> buf(1 << 16);
    for (size_t pos = 0; pos < in.size(); pos += piece) {
        size_t n = std::min(piece, in.size() - pos);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + pos));
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = buf.data();
            z.avail_out = static_cast<uInt>(buf.size());
            deflate(&z, Z_SYNC_FLUSH);
            out.append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

// The wrapped pipe: compressed bytes from memory, as much as asked.
class MemoryPipe : public CHosePipe {
public:
    explicit MemoryPipe(std::string const& in) : mIn(in) {}
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
        len = std::min<unsigned long>(len, mIn.size() - mPos);
        std::memcpy(buf, mIn.data() + mPos, len);
        mPos += len;
    }
    void AcceptRemoteDisconnect() override {}
    void AbortThreadOperation() override {}
    short ConnectionState() override { return kHoseConnected; }
    unsigned long StartTime() override { return 0; }

private:
    std::string const& mIn;
    size_t mPos = 0;
};

unsigned long const kBuffer = 16384;  // the profile's buffer size
unsigned long const kBlock = 16384;   // what the caller asks for at a time

double DirectZlib(std::string const& compressed, size_t expect)
{
    std::vector<unsigned char> out(kBlock);
    auto start = Clock::now();
    z_stream z{};
    inflateInit(&z);
    size_t total = 0;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    while (total < expect) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_SYNC_FLUSH) < 0)
            break;
        total += out.size() - z.avail_out;
    }
    inflateEnd(&z);
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    if (total != expect)
        std::fprintf(stderr, "zlib: %zu of %zu bytes\n", total, expect);
    return secs;
}

double ThroughPipe(std::string const& compressed, size_t expect)
{
    std::vector<char> out(kBlock);
    auto start = Clock::now();
    size_t total = 0;
    {
        CGZIPHosePipe pipe(new MemoryPipe(compressed), 6, kBuffer);
        while (total < expect) {
            unsigned long n = out.size();
            pipe.ReceiveData(out.data(), n);
            total += n;
        }
    }
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    if (total != expect)
        std::fprintf(stderr, "pipe: %zu of %zu bytes\n", total, expect);
    return secs;
}

// Lines and file blocks mixed, as the engine reads a response.
double ThroughPipeLines(std::string const& compressed, size_t expect)
{
    std::vector<char> line(kBuffer + 1);
    auto start = Clock::now();
    size_t total = 0;
    {
        CGZIPHosePipe pipe(new MemoryPipe(compressed), 6, kBuffer);
        while (total < expect) {
            unsigned long n = kBuffer;
            char stop = pipe.ReceiveLine(line.data(), n, '\n');
            total += n + (stop != 0);
        }
    }
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    if (total != expect)
        std::fprintf(stderr, "pipe lines: %zu of %zu bytes\n", total, expect);
    return secs;
}

}  // namespace

int main()
{
    std::string plain = MakeResponse(50u * 1024 * 1024);
    std::string compressed = Compress(plain, 64 * 1024);
    // Runs alternate. Two figures: the ratio of the best times (load only
    // adds time) and the median of the ratios of runs made right after each
    // other.
    std::vector<double> dataRatios, lineRatios;
    double zlib = 1e9, pipe = 1e9, lines = 1e9;
    for (int round = 0; round < 9; ++round) {
        double z = DirectZlib(compressed, plain.size());
        double p = ThroughPipe(compressed, plain.size());
        double l = ThroughPipeLines(compressed, plain.size());
        dataRatios.push_back(z / p);
        lineRatios.push_back(z / l);
        zlib = std::min(zlib, z);
        pipe = std::min(pipe, p);
        lines = std::min(lines, l);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    double mb = plain.size() / (1024.0 * 1024.0);
    std::printf("gzip_inflate: %.0f MB inflated from %.1f MB\n", mb, compressed.size() / (1024.0 * 1024.0));
    std::printf("  zlib inflate directly (best):           %7.1f MB/s\n", mb / zlib);
    std::printf("  CGZIPHosePipe::ReceiveData (best):      %7.1f MB/s\n", mb / pipe);
    std::printf("  CGZIPHosePipe::ReceiveLine only (best): %7.1f MB/s\n", mb / lines);
    std::printf("  ratio (pipe / zlib) of the best runs: %.2f (want >= 0.90); lines only %.2f\n",
                zlib / pipe, zlib / lines);
    std::printf("  ratio (pipe / zlib), median of %zu rounds: %.2f; lines only %.2f\n",
                dataRatios.size(), median(dataRatios), median(lineRatios));
    return 0;
}
