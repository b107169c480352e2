#include "transport/GZIPHosePipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "CvsRig.h"
#include "Handshake.h"
#include "NetTestUtil.h"
#include "transport/TCPHosePipe.h"

extern char** environ;

using namespace fwtest;

namespace {

template <class F>
std::int32_t Raised(F&& f)
{
    try {
        f();
    } catch (CHoseException const& e) {
        return e.Code();
    }
    return 0;
}

// Serves fixed bytes in chunks of a given size and records what is sent. At
// the end it behaves like a socket (raises the orderly-disconnect condition)
// or like a process pipe (delivers 0 bytes).
class ChunkPipe : public CHosePipe {
public:
    ChunkPipe(std::string incoming, size_t chunk, bool raiseAtEnd)
        : mIn(std::move(incoming)), mChunk(chunk), mRaiseAtEnd(raiseAtEnd) {}
    unsigned long ReceivedBytes() override { return mReceived; }
    unsigned long SentBytes() override { return mOut.size(); }
    void SendData(void const* buf, unsigned long len) override
    {
        mOut.append(static_cast<char const*>(buf), len);
        ++mSends;
    }
    char ReceiveLine(char*, unsigned long& len, char) override
    {
        len = 0;
        return 0;
    }
    void ReceiveData(void* buf, unsigned long& len) override
    {
        ++mReads;
        if (mPos >= mIn.size()) {
            len = 0;
            if (mRaiseAtEnd)
                ThrowHoseCode(kHoseRemoteOrderlyDisconnect);
            return;
        }
        len = std::min<unsigned long>({len, mChunk, mIn.size() - mPos});
        std::memcpy(buf, mIn.data() + mPos, len);
        mPos += len;
        mReceived += len;
    }
    void AcceptRemoteDisconnect() override {}
    void AbortThreadOperation() override {}
    short ConnectionState() override { return kHoseConnected; }
    unsigned long StartTime() override { return 1; }

    std::string mIn;
    size_t mChunk;
    bool mRaiseAtEnd;
    size_t mPos = 0;
    unsigned long mReceived = 0;
    std::string mOut;
    int mSends = 0;
    int mReads = 0;
};

// Compresses like the server does: one zlib stream, sync-flushed after each
// piece; finished at the end when finish is set.
std::string ServerStream(std::vector<std::string> const& pieces, bool finish, int level = 6)
{
    z_stream z{};
    deflateInit(&z, level);
    std::string out;
    std::vector<unsigned char> buf(1 << 16);
    auto run = [&](std::string const& in, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z.avail_in = static_cast<uInt>(in.size());
        do {
            z.next_out = buf.data();
            z.avail_out = static_cast<uInt>(buf.size());
            deflate(&z, flush);
            out.append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    for (auto const& p : pieces)
        run(p, Z_SYNC_FLUSH);
    if (finish)
        run("", Z_FINISH);
    deflateEnd(&z);
    return out;
}

// Inflates a complete zlib stream; *ended tells whether it was finished.
std::string Inflate(std::string const& in, bool* ended)
{
    z_stream z{};
    inflateInit(&z);
    std::string out;
    std::vector<unsigned char> buf(1 << 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    int rc;
    do {
        z.next_out = buf.data();
        z.avail_out = static_cast<uInt>(buf.size());
        rc = inflate(&z, Z_SYNC_FLUSH);
        out.append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
    } while (rc == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
    *ended = rc == Z_STREAM_END;
    inflateEnd(&z);
    return out;
}

std::string Line(CHosePipe& pipe)
{
    std::string line;
    ReadLine(pipe, line);
    return line;
}

std::string Data(CHosePipe& pipe, size_t want)
{
    std::string got;
    while (got.size() < want) {
        std::vector<char> buf(want - got.size());
        unsigned long n = buf.size();
        pipe.ReceiveData(buf.data(), n);
        if (n == 0)
            break;
        got.append(buf.data(), n);
    }
    return got;
}

// Highly compressible text with long lines.
std::string Compressible(size_t size)
{
    std::string s;
    for (int i = 0; s.size() < size; ++i)
        s += "line " + std::to_string(i % 17) + " of a file that compresses very well indeed " +
             std::string(static_cast<size_t>(i % 300), '=') + "\n";
    s.resize(size);
    return s;
}

// Bytes zlib can hardly shrink.
std::string Noise(size_t size)
{
    std::string s(size, '\0');
    unsigned x = 12345;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return s;
}

}  // namespace

TEST(GZIPHosePipe, RequestsGoOutAsOneFinishedStreamAtTheFirstReceive)
{
    std::string small = "Argument a.c\nDirectory .\n/repo/m\nupdate\n";
    std::string large = Noise(100000);  // far more than the buffer: blocks leave while sending
    auto* inner = new ChunkPipe(ServerStream({"ok\n"}, false), 4096, true);
    inner->SendData("Root /repo\n", 11);  // before compression was switched on
    CGZIPHosePipe pipe(inner, 6, 1024);
    EXPECT_EQ(pipe.SentBytes(), 11u);
    EXPECT_EQ(pipe.HoseNext(), inner);

    pipe.SendCStr(small.c_str());
    EXPECT_EQ(inner->mSends, 1);  // nothing yet: below one buffer
    pipe.SendData(large.data(), large.size());
    EXPECT_GE(inner->mSends, 1 + 50);  // whole 1024-byte blocks while sending
    EXPECT_EQ(inner->mOut.size() - 11, 1024u * (inner->mSends - 1));
    int sendsBeforeReceive = inner->mSends;

    EXPECT_EQ(Line(pipe), "ok");
    EXPECT_GT(inner->mSends, sendsBeforeReceive);
    EXPECT_EQ(pipe.CompressedBufferState(), kCPRBufferReceiving);
    bool ended = false;
    EXPECT_TRUE(Inflate(inner->mOut.substr(11), &ended) == small + large);
    EXPECT_TRUE(ended);  // finished: the server takes that as the end of the requests
    EXPECT_EQ(pipe.SentBytes(), 11u + small.size() + large.size());
    EXPECT_EQ(pipe.ReceivedBytes(), 3u);
}

TEST(GZIPHosePipe, ReadsEverythingWithoutReadingPastTheServersLastBytes)
{
    // The server's answer: lines longer than the buffer, file contents, and
    // its stream finished at the end. Served in odd chunk sizes by an inner
    // pipe that raises the disconnect condition when read past the end: every
    // byte must arrive without such a read.
    std::string file = Compressible(200000);
    std::string longLine = "M " + std::string(3000, 'm');
    std::string answer = longLine + "\nCreated m/\nm/f\n/f/1.1///\nu=rw,g=r,o=r\n" + std::to_string(file.size()) + "\n";
    for (int level : {1, 6, 9}) {
        for (size_t chunk : {1ul, 37ul, 1024ul, 65536ul}) {
            std::string stream = ServerStream({answer, file, "ok\n"}, true, level);
            auto* inner = new ChunkPipe(stream, chunk, true);
            CGZIPHosePipe pipe(inner, 6, 1024);
            pipe.SendCStr("co\n");
            SCOPED_TRACE("level " + std::to_string(level) + " chunk " + std::to_string(chunk));
            ASSERT_TRUE(Line(pipe) == longLine);
            EXPECT_EQ(Line(pipe), "Created m/");
            EXPECT_EQ(Line(pipe), "m/f");
            EXPECT_EQ(Line(pipe), "/f/1.1///");
            EXPECT_EQ(Line(pipe), "u=rw,g=r,o=r");
            EXPECT_EQ(Line(pipe), std::to_string(file.size()));
            EXPECT_TRUE(Data(pipe, file.size()) == file);
            EXPECT_EQ(Line(pipe), "ok");
            EXPECT_EQ(pipe.ReceivedBytes(), answer.size() + file.size() + 3u);
            // Only now, asking for more, meets the end.
            EXPECT_EQ(Raised([&] { Line(pipe); }), kHoseRemoteOrderlyDisconnect);
        }
    }
}

TEST(GZIPHosePipe, BrokenStreamsEndTheConversation)
{
    std::string whole = ServerStream({"first\n", Compressible(50000)}, false);
    struct {
        char const* what;
        std::string stream;
        bool raiseAtEnd;
        std::int32_t condition;
    } const cases[] = {
        // A process pipe ends (0 bytes) before the stream is complete.
        {"cut off", whole.substr(0, whole.size() / 2), false, kHoseRemoteDisconnect},
        // A socket closes in the middle: its own condition travels through.
        {"closed", whole.substr(0, whole.size() / 2), true, kHoseRemoteOrderlyDisconnect},
        // Garbage after a good start.
        {"corrupt", ServerStream({"first\n"}, false) + std::string(64, '\xff'), false, kHosePipeReceiveFailed},
        // The server finished its stream; nothing more can come.
        {"finished", ServerStream({"first\n"}, true), false, kHoseRemoteOrderlyDisconnect},
    };
    for (auto const& c : cases) {
        LogCatcher log;
        CGZIPHosePipe pipe(new ChunkPipe(c.stream, 100, c.raiseAtEnd), 6, 1024);
        EXPECT_EQ(Line(pipe), "first") << c.what;
        std::int32_t got = Raised([&] {
            for (int i = 0; i < 1000; ++i) {
                char buf[4096];
                unsigned long n = sizeof buf;
                pipe.ReceiveData(buf, n);
                ASSERT_GT(n, 0u) << c.what;  // never an empty delivery
            }
        });
        EXPECT_EQ(got, c.condition) << c.what;
        if (c.condition == kHosePipeReceiveFailed) {
            EXPECT_TRUE(log.Has("corrupt")) << log.All();
        }
    }
}

TEST(GZIPHosePipe, ByteExactCheckoutThroughThePasswordServer)
{
    CvsRig& rig = CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    ASSERT_TRUE(rig.AddModule("gzmod", {{"big.txt", Compressible(300000)},
                                        {"noise.bin", Noise(70000)},
                                        {"empty.txt", ""},
                                        {"d/small.c", "int main() { return 0; }\n"}}))
        << rig.Error();
    RigAccount const& alice = rig.Account("alice");
    for (int level : {1, 6, 9}) {
        SCOPED_TRACE("level " + std::to_string(level));
        auto* tcp = new CTCPHosePipe(CString(rig.Host().c_str()), rig.Port(), 20, false);
        ASSERT_TRUE(tcp->OK());
        std::unique_ptr<CHosePipe> pipe(tcp);
        ASSERT_EQ(PserverAuthenticate(*pipe, rig.Repo(), alice.name, alice.password), "I LOVE YOU");
        std::string error;
        ASSERT_TRUE(StartProtocol(*pipe, rig.Repo(), nullptr, &error)) << error;
        RequestGzip(*pipe, level);
        unsigned long plainSent = tcp->SentBytes();
        pipe.reset(new CGZIPHosePipe(pipe.release(), static_cast<unsigned short>(level), 1024));

        CheckoutResult co = CheckoutOverPipe(*pipe, rig.Repo(), "gzmod");
        ASSERT_TRUE(co.ok) << co.error << co.messages;
        ASSERT_EQ(co.files.size(), 4u);
        for (auto const& [path, bytes] : co.files)
            EXPECT_TRUE(bytes == rig.HeadContents(path)) << path;
        // Uncompressed counts above, compressed ones below; both include
        // what went out before compression.
        std::string request = "Argument gzmod\nDirectory .\n" + rig.Repo() + "\nco\n";
        EXPECT_EQ(pipe->SentBytes(), plainSent + request.size());
        EXPECT_GT(tcp->SentBytes(), plainSent);
        EXPECT_GT(pipe->ReceivedBytes(), 300000u + 70000u);
        EXPECT_LT(tcp->ReceivedBytes(), pipe->ReceivedBytes() / 2);
    }
}

namespace {

// "cvs server" on two pipes, reading whatever is there (a minimal stand-in
// for the process transport, so that compression is proved against the
// local server on its own).
class CvsServerPipe : public CHosePipe {
public:
    explicit CvsServerPipe(std::vector<std::string> const& env)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        std::vector<std::string> envStore;
        for (char** e = environ; *e; ++e)
            envStore.emplace_back(*e);
        envStore.insert(envStore.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (auto& e : envStore)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        char const* argv[] = {"cvs", "server", nullptr};
        if (posix_spawn(&mPid, "/usr/bin/cvs", &fa, nullptr, const_cast<char**>(argv), envp.data()) != 0)
            mPid = 0;
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        mTo = in[1];
        mFrom = out[0];
    }
    ~CvsServerPipe() override
    {
        close(mTo);
        close(mFrom);
        if (mPid > 0) {
            int status;
            waitpid(mPid, &status, 0);
        }
    }
    unsigned long ReceivedBytes() override { return mReceived; }
    unsigned long SentBytes() override { return mSent; }
    void SendData(void const* buf, unsigned long len) override
    {
        char const* p = static_cast<char const*>(buf);
        while (len > 0) {
            ssize_t n = write(mTo, p, len);
            if (n <= 0)
                ThrowHoseCode(kHosePipeSendFailed);
            p += n;
            len -= static_cast<unsigned long>(n);
            mSent += static_cast<unsigned long>(n);
        }
    }
    char ReceiveLine(char* buf, unsigned long& len, char term) override
    {
        for (unsigned long i = 0; i < len; ++i) {
            unsigned long one = 1;
            ReceiveData(buf + i, one);
            if (one == 0) {
                len = i;
                return 0;
            }
            if (buf[i] == term || buf[i] == '\n') {
                char c = buf[i];
                buf[i] = '\0';
                len = i;
                return c;
            }
        }
        return 0;
    }
    void ReceiveData(void* buf, unsigned long& len) override
    {
        pollfd p{mFrom, POLLIN, 0};
        if (poll(&p, 1, 20000) != 1)
            ThrowHoseCode(kHoseTimedOut);
        ssize_t n = read(mFrom, buf, len);
        len = n > 0 ? static_cast<unsigned long>(n) : 0;
        mReceived += len;
    }
    void AcceptRemoteDisconnect() override {}
    void AbortThreadOperation() override {}
    short ConnectionState() override { return mPid > 0 ? kHoseConnected : kHoseNothingOpen; }
    unsigned long StartTime() override { return 1; }

private:
    pid_t mPid = 0;
    int mTo = -1, mFrom = -1;
    unsigned long mReceived = 0, mSent = 0;
};

}  // namespace

TEST(GZIPHosePipe, ByteExactCheckoutThroughTheLocalServer)
{
    CvsRig& rig = CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    std::string lines;
    for (int i = 0; i < 4000; ++i)
        lines += "a line of text number " + std::to_string(i % 50) + "\n";
    ASSERT_TRUE(rig.AddModule("gzlocal", {{"text.txt", lines}, {"z.bin", Noise(3000) + Compressible(90000)}}))
        << rig.Error();
    for (int level : {1, 6, 9}) {
        SCOPED_TRACE("level " + std::to_string(level));
        std::unique_ptr<CHosePipe> pipe(new CvsServerPipe(CvsRig::ServerEnvironment()));
        ASSERT_TRUE(pipe->OK());
        std::string error;
        ASSERT_TRUE(StartProtocol(*pipe, rig.Repo(), nullptr, &error)) << error;
        RequestGzip(*pipe, level);
        pipe.reset(new CGZIPHosePipe(pipe.release(), static_cast<unsigned short>(level), 1024));
        CheckoutResult co = CheckoutOverPipe(*pipe, rig.Repo(), "gzlocal");
        ASSERT_TRUE(co.ok) << co.error << co.messages;
        ASSERT_EQ(co.files.size(), 2u);
        for (auto const& [path, bytes] : co.files)
            EXPECT_TRUE(bytes == rig.HeadContents(path)) << path;
    }
}
