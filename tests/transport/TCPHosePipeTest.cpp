#include "transport/TCPHosePipe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CvsRig.h"
#include "Handshake.h"
#include "NetTestUtil.h"

using namespace fwtest;
using Clock = std::chrono::steady_clock;

namespace {

// The condition a call raises, or 0.
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

std::string Line(CTCPHosePipe& pipe, char term = '\n', unsigned long room = 200, char* stop = nullptr)
{
    std::vector<char> buf(room + 1);
    unsigned long len = room;
    char c = pipe.ReceiveLine(buf.data(), len, term);
    if (stop != nullptr)
        *stop = c;
    return std::string(buf.data(), len);
}

}  // namespace

TEST(TCPHosePipe, PserverConversationWithByteCounts)
{
    CvsRig& rig = CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    std::string big(20000, 'x');
    ASSERT_TRUE(rig.AddModule("tcpmod", {{"a.txt", "alpha\n"}, {"sub/big.bin", big}})) << rig.Error();

    CTCPHosePipe pipe(CString(rig.Host().c_str()), rig.Port(), 20, false);
    ASSERT_TRUE(pipe.OK());
    EXPECT_EQ(pipe.ConnectionState(), kHoseConnected);
    EXPECT_EQ(pipe.HoseNext(), nullptr);
    EXPECT_NE(pipe.StartTime(), 0u);

    RigAccount const& alice = rig.Account("alice");
    ASSERT_EQ(PserverAuthenticate(pipe, rig.Repo(), alice.name, alice.password), "I LOVE YOU");
    std::string requests, error;
    ASSERT_TRUE(StartProtocol(pipe, rig.Repo(), &requests, &error)) << error;
    EXPECT_EQ(requests.rfind("Valid-requests ", 0), 0u) << requests;
    CheckoutResult co = CheckoutOverPipe(pipe, rig.Repo(), "tcpmod");
    ASSERT_TRUE(co.ok) << co.error << co.messages;
    ASSERT_EQ(co.files.size(), 2u);
    EXPECT_EQ(co.files["tcpmod/a.txt"], "alpha\n");
    EXPECT_TRUE(co.files["tcpmod/sub/big.bin"] == big);

    // Only file contents (ReceiveData) count as received; everything sent counts.
    EXPECT_EQ(pipe.ReceivedBytes(), 6u + big.size());
    std::unique_ptr<char[]> scrambled(scramble(alice.password.c_str()));
    std::string sent = "BEGIN AUTH REQUEST\n" + rig.Repo() + "\n" + alice.name + "\n" + scrambled.get() +
                       "\nEND AUTH REQUEST\n" + kValidResponses + "valid-requests\n" + "Root " + rig.Repo() +
                       "\n" + "Argument tcpmod\nDirectory .\n" + rig.Repo() + "\nco\n";
    EXPECT_EQ(pipe.SentBytes(), sent.size());
}

TEST(TCPHosePipe, WrongPasswordIsRefused)
{
    CvsRig& rig = CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    CTCPHosePipe pipe(CString(rig.Host().c_str()), rig.Port(), 20, false);
    ASSERT_TRUE(pipe.OK());
    EXPECT_EQ(PserverAuthenticate(pipe, rig.Repo(), "alice", "not-it"), "I HATE YOU");
}

TEST(TCPHosePipe, NameLookupIPv4AndIPv6)
{
    struct {
        char const* host;
        int family;
    } const cases[] = {
        {"127.0.0.1", AF_INET},
        {"localhost", AF_INET},  // may resolve to ::1 first: the next address is tried
        {"::1", AF_INET6},
    };
    for (auto const& c : cases) {
        ScriptServer server([](int& fd) { SendAll(fd, "hello\n"); }, c.family);
        if (!server.Ok() && c.family == AF_INET6) {
            std::printf("no IPv6 loopback here: %s skipped\n", c.host);
            continue;
        }
        ASSERT_TRUE(server.Ok());
        LogCatcher log;
        CTCPHosePipe pipe(CString(c.host), server.Port(), 10, false);
        ASSERT_TRUE(pipe.OK()) << c.host << "\n" << log.All();
        EXPECT_EQ(Line(pipe), "hello") << c.host;
    }
}

TEST(TCPHosePipe, ConnectFailuresAreLoggedAndLeaveThePipeUnusable)
{
    // A port nobody listens on: bind one, then let it go.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
    unsigned short freePort = ntohs(a.sin_port);
    close(probe);

    std::string longName = std::string(300, 'h');
    struct {
        std::string host;
        unsigned short port;
        std::string message;
    } const cases[] = {
        {"no-such-host.invalid", 2401,
         "Failed to connect to CVS server \xD2no-such-host.invalid\xD3 on port 2401. [error = -3170]"},
        {"127.0.0.1", freePort,
         "Failed to connect to CVS server \xD2" "127.0.0.1\xD3 on port " + std::to_string(freePort) +
             ". [error = -3260]"},
        {"-oProxyCommand=touch /tmp/x", 2401, "Refused CVS server name \xD2-oProxyCommand=touch /tmp/x\xD3"},
        {"host\nname", 2401, "Refused CVS server name \xD2host?name\xD3"},
        {"", 2401, "Refused CVS server name"},
        {longName, 2401, "Failed to connect to CVS server"},
    };
    for (auto const& c : cases) {
        LogCatcher log;
        CTCPHosePipe pipe(CString(c.host.c_str()), c.port, 5, false);
        EXPECT_FALSE(pipe.OK()) << c.host;
        EXPECT_EQ(pipe.ConnectionState(), kHoseNothingOpen);
        EXPECT_NE(pipe.StartTime(), 0u);  // recorded also after a failure
        EXPECT_TRUE(log.Has(c.message)) << c.host << " logged:\n" << log.All();
        EXPECT_EQ(log.Count(), 1u) << log.All();
        // Using it anyway raises instead of crashing or hanging.
        EXPECT_EQ(Raised([&] { pipe.SendCStr("x\n"); }), kHoseRemoteDisconnect);
        unsigned long n = 10;
        char buf[11];
        EXPECT_EQ(Raised([&] { pipe.ReceiveLine(buf, n, '\n'); }), kHoseRemoteDisconnect);
    }
}

TEST(TCPHosePipe, ReceiveLineContractAndReadAhead)
{
    std::string file(1000, '\0');
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>(i * 7);
    std::string longLine(600000, 'L');  // longer than the read-ahead
    ScriptServer server([&](int& fd) {
        SendAll(fd, "ok\n0123456789XYZ\nabc def\n" + file + "tail\n" + longLine + "\nlast\n");
        RecvAll(fd);
    });
    ASSERT_TRUE(server.Ok());
    CTCPHosePipe pipe(CString("127.0.0.1"), server.Port(), 10, false);
    ASSERT_TRUE(pipe.OK());

    char stop = 'x';
    EXPECT_EQ(Line(pipe, ' ', 100, &stop), "ok");
    EXPECT_EQ(stop, '\n');
    // Ten bytes without a stop: 0 returned, len kept, the rest stays readable.
    EXPECT_EQ(Line(pipe, '\n', 10, &stop), "0123456789");
    EXPECT_EQ(stop, 0);
    EXPECT_EQ(Line(pipe), "XYZ");
    EXPECT_EQ(Line(pipe, ' ', 100, &stop), "abc");
    EXPECT_EQ(stop, ' ');
    EXPECT_EQ(Line(pipe), "def");

    std::string got;
    while (got.size() < file.size()) {
        char buf[300];
        unsigned long n = std::min<unsigned long>(sizeof buf, file.size() - got.size());
        pipe.ReceiveData(buf, n);
        ASSERT_GT(n, 0u);
        got.append(buf, n);
    }
    EXPECT_TRUE(got == file);
    EXPECT_EQ(Line(pipe), "tail");
    EXPECT_TRUE(Line(pipe, '\n', longLine.size() + 1) == longLine);
    EXPECT_EQ(Line(pipe), "last");
    // Lines do not count as received bytes, file contents do.
    EXPECT_EQ(pipe.ReceivedBytes(), file.size());
}

TEST(TCPHosePipe, ReceiveLineAtEveryLengthAndLimit)
{
    // Lines of every length around the sizes the search works in, each read
    // once with room for its stop and once with room for exactly its bytes.
    std::string lines;
    for (unsigned length = 0; length <= 70; ++length) {
        std::string line;
        for (unsigned i = 0; i < length; ++i)
            line += static_cast<char>('!' + (length + i) % 90);  // no line feed or space
        lines += line + "\n" + line + "\n";
    }
    // The term byte and the line feed close together, past the first 16 bytes.
    lines += "0123456789abcdefXY Z\n0123456789abcdefXY\n Z\n";
    ScriptServer server([&](int& fd) {
        SendAll(fd, lines);
        RecvAll(fd);
    });
    ASSERT_TRUE(server.Ok());
    CTCPHosePipe pipe(CString("127.0.0.1"), server.Port(), 10, false);
    ASSERT_TRUE(pipe.OK());

    char const kGuard = '\x7F';
    std::vector<char> buf(100);
    auto receive = [&](unsigned long len, char term, char* stop) {
        std::fill(buf.begin(), buf.end(), kGuard);
        *stop = pipe.ReceiveLine(buf.data(), len, term);
        // Nothing written past the line and its NUL, nor past the room given.
        for (size_t i = len + 1; i < buf.size(); ++i)
            if (buf[i] != kGuard)
                ADD_FAILURE() << "byte " << i << " overwritten after a line of " << len;
        return std::string(buf.data(), len);
    };
    std::size_t at = 0;
    for (unsigned length = 0; length <= 70; ++length) {
        std::string line = lines.substr(at, length);
        at += 2 * (length + 1);
        char stop = 'x';
        EXPECT_EQ(receive(length + 1, '\n', &stop), line);
        EXPECT_EQ(stop, '\n') << length;
        EXPECT_EQ(buf[length], '\0') << length;
        // Room for the bytes only: they come without their stop, which is
        // left for the next call.
        EXPECT_EQ(receive(length, '\n', &stop), line);
        EXPECT_EQ(stop, 0) << length;
        EXPECT_EQ(receive(10, '\n', &stop), "");
        EXPECT_EQ(stop, '\n') << length;
    }
    char stop = 'x';
    EXPECT_EQ(receive(99, ' ', &stop), "0123456789abcdefXY");
    EXPECT_EQ(stop, ' ');
    EXPECT_EQ(receive(99, ' ', &stop), "Z");
    EXPECT_EQ(stop, '\n');
    EXPECT_EQ(receive(99, ' ', &stop), "0123456789abcdefXY");
    EXPECT_EQ(stop, '\n');
    EXPECT_EQ(receive(99, ' ', &stop), "");
    EXPECT_EQ(stop, ' ');
    EXPECT_EQ(pipe.ReceivedBytes(), 0u);
}

TEST(TCPHosePipe, ServerClosingEndsTheConversation)
{
    struct {
        char const* sends;
        int linesFirst;
        std::int32_t condition;
    } const cases[] = {
        {"partial line without end", 0, kHoseRemoteDisconnect},  // cut off in mid-line
        {"ok\n", 1, kHoseRemoteOrderlyDisconnect},               // closed between lines
    };
    for (auto const& c : cases) {
        ScriptServer server([&](int& fd) { SendAll(fd, c.sends); });
        ASSERT_TRUE(server.Ok());
        CTCPHosePipe pipe(CString("127.0.0.1"), server.Port(), 5, false);
        ASSERT_TRUE(pipe.OK());
        for (int i = 0; i < c.linesFirst; ++i)
            EXPECT_EQ(Line(pipe), "ok");
        auto start = Clock::now();
        EXPECT_EQ(Raised([&] { Line(pipe); }), c.condition) << c.sends;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
        // And it stays ended: no endless trickle of empty reads.
        char buf[16];
        unsigned long n = sizeof buf;
        EXPECT_EQ(Raised([&] { pipe.ReceiveData(buf, n); }), kHoseRemoteOrderlyDisconnect);
        EXPECT_EQ(n, 0u);
    }
}

TEST(TCPHosePipe, StallingServerTimesOut)
{
    ScriptServer server([](int& fd) { RecvAll(fd); });  // says nothing until we go
    ASSERT_TRUE(server.Ok());
    CTCPHosePipe pipe(CString("127.0.0.1"), server.Port(), 1, false);
    ASSERT_TRUE(pipe.OK());
    auto start = Clock::now();
    EXPECT_EQ(Raised([&] { Line(pipe); }), kHoseTimedOut);
    auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(3));
    char buf[8];
    unsigned long n = sizeof buf;
    EXPECT_EQ(Raised([&] { pipe.ReceiveData(buf, n); }), kHoseTimedOut);
}

TEST(TCPHosePipe, AbortFromAnotherThreadReleasesABlockedReceive)
{
    ScriptServer server([](int& fd) { RecvAll(fd); });
    ASSERT_TRUE(server.Ok());
    CTCPHosePipe pipe(CString("127.0.0.1"), server.Port(), 0, false);  // no time limit
    ASSERT_TRUE(pipe.OK());
    Clock::time_point aborted;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        aborted = Clock::now();
        pipe.AbortThreadOperation();
    });
    std::int32_t code = Raised([&] { Line(pipe); });
    auto released = Clock::now();
    stopper.join();
    EXPECT_EQ(code, kHoseOperationAborted);
    EXPECT_LT(released - aborted, std::chrono::milliseconds(100));
    // The abort sticks: nothing more goes through this pipe.
    EXPECT_EQ(Raised([&] { pipe.SendCStr("more\n"); }), kHoseOperationAborted);
}

TEST(TCPHosePipe, OrderlyAndAbortiveDisconnect)
{
    for (bool abortive : {false, true}) {
        std::string seen;
        bool reset = false;
        ScriptServer server([&](int& fd) { seen = RecvAll(fd, &reset); });
        ASSERT_TRUE(server.Ok());
        {
            CTCPHosePipe pipe(CString("127.0.0.1"), server.Port(), 5, false);
            ASSERT_TRUE(pipe.OK());
            pipe.SendCStr("bye\n");
            if (abortive) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let "bye" arrive
                pipe.AbortiveDisconnect();
            } else {
                pipe.OrderlyDisconnect();
            }
            EXPECT_EQ(pipe.ConnectionState(), kHoseNothingOpen);
            EXPECT_FALSE(pipe.OK());
        }
        server.Join();
        EXPECT_EQ(seen, "bye\n") << abortive;
        EXPECT_EQ(reset, abortive);
    }
}

TEST(TCPHosePipe, SendingToAClosedPeerRaisesInsteadOfKillingTheProcess)
{
    ScriptServer server([](int& fd) {
        // Wait for the client's first byte, so that the reset cannot reach it
        // while it is still finishing its connect.
        char first;
        recv(fd, &first, 1, 0);
        linger l{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close(fd);  // reset
        fd = -1;
    });
    ASSERT_TRUE(server.Ok());
    CTCPHosePipe pipe(CString("127.0.0.1"), server.Port(), 5, false);
    ASSERT_TRUE(pipe.OK());
    pipe.SendCStr("x");
    server.Join();
    std::string block(64 * 1024, 'z');
    std::int32_t code = Raised([&] {
        for (int i = 0; i < 100; ++i)
            pipe.SendData(block.data(), block.size());
    });
    EXPECT_EQ(code, kHoseRemoteDisconnect);
}

TEST(TCPHosePipe, RestrictedLocalPortBindsBelow1024)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "binding a port below 1024 needs root";
    unsigned short peerPort = 0;
    ScriptServer server([&](int& fd) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len);
        peerPort = ntohs(peer.sin_port);
        RecvAll(fd);
    });
    ASSERT_TRUE(server.Ok());
    {
        CTCPHosePipe pipe(CString("127.0.0.1"), server.Port(), 5, true);
        ASSERT_TRUE(pipe.OK());
    }
    server.Join();
    EXPECT_GE(peerPort, 1u);
    EXPECT_LE(peerPort, 1023u);
}
