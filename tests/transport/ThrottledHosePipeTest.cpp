#include "transport/ThrottledHosePipe.h"

#include "CvsRig.h"
#include "Handshake.h"
#include "transport/ExecHosePipe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int Code(std::function<void()> const& f)
{
    try {
        f();
    } catch (CHoseException const& e) {
        return e.Code();
    }
    return 0;
}

// Keeps what is sent, and the size of every single send, so that the pieces
// the throttle passes on can be checked.
class SinkPipe : public CHosePipe {
public:
    unsigned long ReceivedBytes() override { return 0; }
    unsigned long SentBytes() override { return static_cast<unsigned long>(mBytes.size()); }
    void SendData(void const* buf, unsigned long len) override
    {
        mPieces.push_back(len);
        mBytes.append(static_cast<char const*>(buf), len);
    }
    char ReceiveLine(char* buf, unsigned long& len, char) override
    {
        buf[0] = 0;
        len = 0;
        return 0;
    }
    void ReceiveData(void*, unsigned long& len) override { len = 0; }
    void AcceptRemoteDisconnect() override {}
    void AbortThreadOperation() override { ++mAborts; }
    short ConnectionState() override { return kHoseConnected; }
    unsigned long StartTime() override { return 1234; }

    std::string mBytes;
    std::vector<unsigned long> mPieces;
    int mAborts = 0;
};

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 23);
    return s;
}

}  // namespace

// The account starts empty and refills at the limit, up to one second's
// worth, so a send of n bytes takes about (n - what is in the account) / limit.
TEST(ThrottledHosePipe, HoldsItsRate)
{
    struct Case {
        char const* name;
        unsigned long limit;
        double idleFirst;  // seconds between construction and the first send
        unsigned long perCall;
        int calls;
        double expected;   // seconds the sends take
    } const cases[] = {
        // One send twice the limit: sent in pieces, no hang.
        {"one send larger than the limit", 2048, 0, 4096, 1, 2.0},
        {"many small sends", 16384, 0, 1024, 32, 2.0},
        // After a long pause only one second's worth goes out at once.
        {"burst after a pause", 4096, 1.5, 4096, 3, 2.0},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        auto* sink = new SinkPipe;
        CThrottledHosePipe throttle(sink, c.limit);
        EXPECT_EQ(throttle.HoseNext(), sink);
        std::this_thread::sleep_for(std::chrono::duration<double>(c.idleFirst));
        std::string data = Pattern(c.perCall * static_cast<unsigned long>(c.calls));
        auto start = Clock::now();
        for (int i = 0; i < c.calls; ++i)
            throttle.SendData(data.data() + i * c.perCall, c.perCall);
        double took = Seconds(start);
        EXPECT_EQ(sink->mBytes, data);
        for (unsigned long piece : sink->mPieces)
            EXPECT_LE(piece, c.limit);
        // Never faster than the limit (less one tick of rounding); slower only
        // by scheduling.
        EXPECT_GT(took, c.expected - 0.05);
        EXPECT_LT(took, c.expected * 1.25);
        EXPECT_EQ(throttle.SentBytes(), data.size());
    }
}

TEST(ThrottledHosePipe, AbortEndsAWaitForTheAccount)
{
    auto* sink = new SinkPipe;
    CThrottledHosePipe throttle(sink, 1024);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        throttle.AbortThreadOperation();
    });
    std::string data(10 * 1024, 'x');
    auto start = Clock::now();
    EXPECT_EQ(Code([&] { throttle.SendData(data.data(), data.size()); }), kHoseOperationAborted);
    stopper.join();
    EXPECT_LT(Seconds(start), 0.3 + 0.15);
    EXPECT_EQ(sink->mAborts, 1);  // passed on to the wrapped pipe as well
    EXPECT_LT(sink->mBytes.size(), data.size());
}

// A conversation with the real cvs server through the throttle: requests go
// out at the limit, a request line longer than the limit included, and the
// answers come back through the wrapper.
TEST(ThrottledHosePipe, ThrottlesAConversationWithCvsServer)
{
    fwtest::CvsRig& rig = fwtest::CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    CExecHosePipe* inner = MakeLocalHosePipe(20, CString("/usr/bin/cvs"));
    CThrottledHosePipe throttle(inner, 2048);
    ASSERT_TRUE(throttle.OK());
    EXPECT_EQ(throttle.ConnectionState(), kHoseConnected);
    EXPECT_EQ(throttle.StartTime(), inner->StartTime());

    auto start = Clock::now();
    std::string error;
    ASSERT_TRUE(fwtest::StartProtocol(throttle, rig.Repo(), nullptr, &error)) << error;
    std::string argument = "Argument " + std::string(5000, 'x') + "\n";
    throttle.SendCStr(argument.c_str());
    throttle.SendCStr("noop\n");
    std::string line;
    ASSERT_TRUE(fwtest::ReadLine(throttle, line));
    EXPECT_EQ(line, "ok");
    double took = Seconds(start);

    EXPECT_EQ(throttle.SentBytes(), inner->SentBytes());
    EXPECT_EQ(throttle.ReceivedBytes(), inner->ReceivedBytes());
    double expected = static_cast<double>(throttle.SentBytes()) / 2048.0;
    EXPECT_GT(took, expected - 0.05);
    EXPECT_LT(took, expected * 1.25 + 0.5);  // plus the server's own time
}
