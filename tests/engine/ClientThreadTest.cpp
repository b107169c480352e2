#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "ThreadScene.h"
#include "engine/CVSClientThread.h"
#include "engine/CVSJob.h"
#include "engine/TransferStatistics.h"

using namespace fwtest;
using namespace std::chrono_literals;

namespace {

// A minimal operation: sends the job's lines and a command, and may take
// "error" as an expected outcome of one of several commands.
class CProbeThread : public CCVSClientNonSessThread {
public:
    CProbeThread(CCVSJob* job, CLoginProfile const& profile, CCVSThreadBreaker* breaker, std::string command,
                 int finals = 1, bool errorsExpected = false)
        : CCVSClientNonSessThread(job, profile, "/tmp", breaker),
          mCommand(std::move(command)),
          mFinals(finals),
          mErrorsExpected(errorsExpected)
    {
    }

    bool SendRequests(CCVSJob*, char*) override
    {
        for (int i = 0; !Job()->AskLine(i).IsNull(); ++i)
            Send(Job()->AskLine(i));
        SendCommand();
        return true;
    }
    void SendCommand() override { Send(mCommand.c_str()); }
    void ExecuteCVSCommand() override
    {
        mExpectedFinalResponses = mFinals;
        CCVSClientNonSessThread::ExecuteCVSCommand();
    }
    bool HandleError(CString const& text) override
    {
        CCVSClientNonSessThread::HandleError(text);
        return mErrorsExpected;
    }

private:
    std::string mCommand;
    int mFinals;
    bool mErrorsExpected;
};

CCVSJob* Job(std::vector<std::string> const& lines)
{
    auto* job = new CCVSJob;
    for (auto const& l : lines)
        job->AddLine(l.c_str());
    return job;
}

// The statistics line the thread logs at its end, or "".
std::string StatisticsLine(ThreadScene const& scene)
{
    for (auto const& e : scene.Entries())
        if (e.size() > 2 && e.front() == '[' && e.back() == ']' && e.find(" bytes sent, ") != std::string::npos)
            return e;
    return {};
}

}  // namespace

// ---------------------------------------------------------------------------
// The job, the breaker and the statistics line

TEST(CVSJob, LinesAreWholeRequests)
{
    CCVSJob job;
    unsigned long checks = CheckFailureCount();
    EXPECT_TRUE(job.AddLine("Argument -l\n"));
    EXPECT_TRUE(job.AddLine("Argument -r"));  // the line feed is supplied
    // A line feed inside a line would put a request of its own on the wire.
    EXPECT_FALSE(job.AddLine("Argument x\nci\n"));
    EXPECT_EQ(CheckFailureCount(), checks + 1);
    ASSERT_EQ(job.UsedLines(), 2);
    EXPECT_TRUE(job.AskLine(0) == "Argument -l\n");
    EXPECT_TRUE(job.AskLine(1) == "Argument -r\n");
    EXPECT_TRUE(job.AskLine(2).IsNull());
    EXPECT_TRUE(job.AskLine(-1).IsNull());
    for (int i = 0; i < 25; ++i)
        job.AddLine("Argument a\n");
    EXPECT_EQ(job.UsedLines(), 27);
}

TEST(CVSJob, OptionBits)
{
    CCVSJob job;
    job.SetOption(0, true);
    job.SetOption(31, true);
    EXPECT_TRUE(job.Option(0));
    EXPECT_TRUE(job.Option(31));
    EXPECT_FALSE(job.Option(1));
    EXPECT_FALSE(job.Option(32));
    job.SetOption(0, false);
    EXPECT_FALSE(job.Option(0));
    EXPECT_EQ(job.Options(), 0x80000000u);
}

TEST(CVSThreadBreaker, CountsThreadsAndResetsTheAbort)
{
    CCVSThreadBreaker breaker;
    int hookCalls = 0;
    CCVSThreadBreaker::SetCommandStatusHook([&] { ++hookCalls; });
    breaker.WaitForThread();
    breaker.WaitForThread();
    breaker.TellCVSOperationStatus(CCVSThreadBreaker::kAbort);
    breaker.ThreadFinished();
    EXPECT_FALSE(breaker.HasNoThreads());
    EXPECT_EQ(breaker.CVSOperationStatus(), CCVSThreadBreaker::kAbort);
    breaker.ThreadFinished();
    EXPECT_TRUE(breaker.HasNoThreads());
    EXPECT_EQ(breaker.CVSOperationStatus(), CCVSThreadBreaker::kRun);
    EXPECT_EQ(hookCalls, 4);

    unsigned long checks = CheckFailureCount();
    breaker.ThreadFinished();  // one too many: refused, count stays 0
    breaker.TellCVSOperationStatus(7);
    EXPECT_EQ(CheckFailureCount(), checks + 2);
    EXPECT_TRUE(breaker.HasNoThreads());
    EXPECT_EQ(breaker.CVSOperationStatus(), CCVSThreadBreaker::kRun);
    CCVSThreadBreaker::SetCommandStatusHook(nullptr);
}

TEST(TransferStatistics, ElapsedAndByteCounts)
{
    struct {
        unsigned long seconds;
        char const* text;
    } const elapsed[] = {
        {0, "0 seconds"},       {1, "1 second"},        {59, "59 seconds"},         {60, "1:00 minute"},
        {61, "1:01 minutes"},   {3599, "59:59 minutes"}, {3600, "1:00:00 hour"},    {3661, "1:01:01 hours"},
    };
    for (auto const& c : elapsed)
        EXPECT_EQ(FormatElapsed(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(FormatByteCount(8192), "8192");
    EXPECT_EQ(FormatByteCount(8193), "8K");
    EXPECT_EQ(FormatByteCount(1048576), "1024K");

    STransferCounts c;
    c.sent = 120;
    c.received = 9000;
    c.elapsed = 61;
    EXPECT_EQ(FormatTransferStatistics(c), "120 bytes sent, 8K bytes received, 1:01 minutes elapsed");
    c.compressed = true;
    c.wireSent = 80;
    c.wireReceived = 2100;
    c.level = 6;
    EXPECT_EQ(FormatTransferStatistics(c),
              "120 (80) bytes sent, 8K (2100) bytes received, 1:01 minutes elapsed, compression level 6");
}

// ---------------------------------------------------------------------------
// The thread against real and misbehaving servers

TEST(CVSClientThread, BufferSizeIsKeptWithinLimits)
{
    ThreadScene scene;
    struct {
        unsigned short buffer;
        bool limited;
        unsigned short limit;
        unsigned short wantBuffer;
        unsigned short wantLimit;
    } const cases[] = {
        {512, false, 0, 1024, 0},
        {4096, true, 2000, 2000, 2000},
        {4096, true, 500, 1024, 1024},
        {4000, false, 0, 4000, 0},
    };
    for (auto const& c : cases) {
        CLoginProfile p = LocalProfile("/nowhere");
        p.SetBufferSize(c.buffer);
        p.SetHaveThroughputLimit(c.limited);
        p.SetThroughputLimit(c.limit);
        auto* t = new CProbeThread(new CCVSJob, p, &scene.mBreaker, "noop\n");
        EXPECT_EQ(t->LoginProfile().BufferSize(), c.wantBuffer);
        if (c.limited) {
            EXPECT_EQ(t->LoginProfile().ThroughputLimit(), c.wantLimit);
        }
        delete t;  // never started
    }
    EXPECT_TRUE(scene.mBreaker.HasNoThreads());
}

TEST(CVSClientThread, LocalConversationLogsOutputOutcomeAndStatistics)
{
    CvsRig& rig = RigWithModules();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    ThreadScene scene;
    auto* t = new CProbeThread(Job({"Argument -c\n"}), LocalProfile(rig.Repo()), &scene.mBreaker, "co\n");
    t->Resume();
    ASSERT_TRUE(scene.RunToEnd()) << scene.Dump();

    EXPECT_TRUE(scene.Logged("mymod        -a mod", 0)) << scene.Dump();
    EXPECT_TRUE(scene.Logged("subonly      mod/sub", 0));
    EXPECT_TRUE(scene.Logged("OK.", 1));
    EXPECT_TRUE(scene.Logged("CVS base folder . is " + Quoted("/tmp"), 0));
    // Only the password server announces a granted login.
    EXPECT_FALSE(scene.LoggedPrefix("CVS access granted"));
    std::string stats = StatisticsLine(scene);
    EXPECT_NE(stats, "") << scene.Dump();
    EXPECT_EQ(stats.find("compression"), std::string::npos);
    EXPECT_TRUE(scene.Entries(3).empty()) << scene.Dump();
    EXPECT_EQ(std::string(reinterpret_cast<char const*>(scene.mConsole.Status() + 1), scene.mConsole.Status()[0]),
              "off line.");
}

TEST(CVSClientThread, ErrorEndsTheConversationUnlessTheOperationExpectsIt)
{
    CvsRig& rig = RigWithModules();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    // Two commands in one conversation: the first fails ("error"), the second
    // lists the modules.
    for (bool expected : {false, true}) {
        ThreadScene scene;
        auto* t = new CProbeThread(Job({"Argument nosuchmodule\n", "co\n", "Argument -c\n"}),
                                   LocalProfile(rig.Repo()), &scene.mBreaker, "co\n", 2, expected);
        t->Resume();
        ASSERT_TRUE(scene.RunToEnd()) << scene.Dump();
        EXPECT_TRUE(scene.LoggedPrefix("cvs checkout: cannot find module")) << scene.Dump();
        EXPECT_TRUE(scene.Logged("Failure.")) << scene.Dump();
        EXPECT_EQ(scene.Logged("mymod        -a mod"), expected) << scene.Dump();
        EXPECT_EQ(scene.Logged("OK."), expected) << scene.Dump();
        EXPECT_NE(StatisticsLine(scene), "");
    }
}

TEST(CVSClientThread, LongResponseNamesAndLinesAreReadWhole)
{
    std::string dir = MakeTempDir();
    ThreadScene scene;
    std::string server = ScriptedServer(dir, "long",
                                        "printf '%0500d x\\n' 0\n"
                                        "printf 'M '; head -c 300000 /dev/zero | tr '\\0' y; echo\n"
                                        "echo ok\n");
    auto* t = new CProbeThread(new CCVSJob, LocalProfile("/r", server), &scene.mBreaker, "noop\n");
    t->Resume();
    ASSERT_TRUE(scene.RunToEnd()) << scene.Dump();
    EXPECT_TRUE(scene.Logged("Unexpected response and arguments:", 2)) << scene.Dump();
    EXPECT_TRUE(scene.LoggedPrefix(std::string(250, '0'))) << scene.Dump();
    // The 300000-byte line reaches the log whole, in entries of 200 bytes.
    EXPECT_EQ(scene.Count(std::string(200, 'y'), 0), 1500);
    // The unknown response raised the conversation's level: the final "ok"
    // is reported as a failure.
    EXPECT_TRUE(scene.Logged("Failure.", 2));
    RemoveTree(dir);
}

TEST(CVSClientThread, MisbehavingServers)
{
    std::string dir = MakeTempDir();
    struct {
        char const* name;
        char const* script;  // after the handshake
        std::vector<std::string> logged;
        bool ok;
    } const cases[] = {
        // An unknown response is shown and passed over.
        {"unknown", "echo 'Bogus-response x y'; echo 'M hi'; echo ok\n",
         {"Unexpected response and arguments:", "Bogus-response: x y", "hi", "Failure."}, false},
        // Output that ends in the middle of a response: the server is gone.
        {"cut", "printf 'M partial line'\n",
         {"CVS server initiated disconnect on connection " + Quoted("local:/r") + "."}, false},
        // A response name beyond any sense is a protocol error, not a reason
        // to take all memory.
        {"endless name", "head -c 5000 /dev/zero | tr '\\0' N; echo ' x'; echo ok\n",
         {"A response from the CVS server is longer than 1024 bytes.",
          "Unexpected response received from CVS server on connection " + Quoted("local:/r") + "."},
         false},
        // A server that stops talking runs into the time-out.
        {"silent", "sleep 5\n", {"Connection " + Quoted("local:/r") + " timed out."}, false},
    };
    for (auto const& c : cases) {
        ThreadScene scene;
        CLoginProfile p = LocalProfile("/r", ScriptedServer(dir, c.name, c.script));
        p.SetTimeOut(1);
        auto* t = new CProbeThread(new CCVSJob, p, &scene.mBreaker, "noop\n");
        auto start = std::chrono::steady_clock::now();
        t->Resume();
        ASSERT_TRUE(scene.RunToEnd(20s)) << c.name << "\n" << scene.Dump();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << c.name;
        for (auto const& text : c.logged)
            EXPECT_TRUE(scene.Logged(text)) << c.name << ": " << text << "\n" << scene.Dump();
        EXPECT_EQ(scene.Logged("OK."), c.ok) << c.name;
        EXPECT_NE(StatisticsLine(scene), "") << c.name;
    }
    RemoveTree(dir);
}

TEST(CVSClientThread, FailedConnectionStillEndsWithStatistics)
{
    // A loopback port nobody listens on.
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
    close(s);

    ThreadScene scene;
    CLoginProfile p;
    p.SetLoginMethod(kLoginPserver);
    p.SetHost("127.0.0.1");
    p.SetUseDefaultPort(false);
    p.SetPort(ntohs(a.sin_port));
    p.SetRoot("/r");
    p.SetUser("u");
    p.SetPassword("pw");
    auto* t = new CProbeThread(new CCVSJob, p, &scene.mBreaker, "noop\n");
    t->Resume();
    ASSERT_TRUE(scene.RunToEnd(20s)) << scene.Dump();
    EXPECT_FALSE(scene.Entries(4).empty()) << scene.Dump();
    EXPECT_EQ(StatisticsLine(scene), "[0 bytes sent, 0 bytes received, 0 seconds elapsed]") << scene.Dump();
}

TEST(CVSClientThread, RefusesProfileFieldsThatWouldInjectRequests)
{
    ThreadScene scene;
    std::string dir = MakeTempDir();
    std::string marker = dir + "/started";
    CLoginProfile p = LocalProfile("/r\nnoop", WriteScript(dir, "server", "touch '" + marker + "'\n"));
    auto* t = new CProbeThread(new CCVSJob, p, &scene.mBreaker, "noop\n");
    t->Resume();
    ASSERT_TRUE(scene.RunToEnd(20s)) << scene.Dump();
    EXPECT_FALSE(scene.Entries(4).empty()) << scene.Dump();
    EXPECT_EQ(ReadFile(marker), "");
    EXPECT_EQ(access(marker.c_str(), F_OK), -1);
    RemoveTree(dir);
}

TEST(CVSClientThread, StopDuringASlowServer)
{
    CvsRig& rig = RigWithModules();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    std::string dir = MakeTempDir();
    // The real server behind a slow link: one response line every 50 ms.
    std::string modules;
    for (int i = 0; i < 400; ++i)
        modules += "m" + std::to_string(i) + " mod\n";
    ASSERT_TRUE(SetModules(rig, modules));
    std::string slow = WriteScript(dir, "slow",
                                   "/usr/bin/cvs -f server | while IFS= read -r l; do printf '%s\\n' \"$l\"; "
                                   "sleep 0.05; done\n");
    ThreadScene scene;
    auto* t = new CProbeThread(Job({"Argument -c\n"}), LocalProfile(rig.Repo(), slow), &scene.mBreaker, "co\n");
    t->Resume();
    ASSERT_TRUE(scene.mLoop.RunUntil([&] { return scene.Logged("m10          mod"); }, 20s)) << scene.Dump();
    scene.mBreaker.TellCVSOperationStatus(CCVSThreadBreaker::kAbort);
    auto stop = std::chrono::steady_clock::now();
    ASSERT_TRUE(scene.RunToEnd(20s)) << scene.Dump();
    // The next line arrives within 50 ms and the check after it within 0.1 s.
    EXPECT_LT(std::chrono::steady_clock::now() - stop, 2s);
    EXPECT_EQ(scene.Count("User ABORTED operation.", 3), 1) << scene.Dump();
    EXPECT_FALSE(scene.Logged("m99          mod"));
    EXPECT_FALSE(scene.Logged("OK."));
    EXPECT_NE(StatisticsLine(scene), "") << scene.Dump();
    EXPECT_EQ(scene.mBreaker.CVSOperationStatus(), CCVSThreadBreaker::kRun);

    SetModules(rig, "mymod -a mod\nsubonly mod/sub\n");
    RemoveTree(dir);
}

TEST(CVSClientThread, ThroughputLimitSlowsTheRequests)
{
    CvsRig& rig = RigWithModules();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    // About 2.5 KB of requests: at 1024 bytes a second that takes over two
    // seconds; without a limit a fraction of one.
    std::vector<std::string> lines(120, "Global_option -q\n");
    lines.push_back("Argument -c\n");
    std::chrono::steady_clock::duration took[2];
    for (bool limited : {false, true}) {
        SCOPED_TRACE(limited ? "limited" : "unlimited");
        ThreadScene scene;
        CLoginProfile p = PserverProfile(rig, "alice", rig.Account("alice").password);
        p.SetHaveThroughputLimit(limited);
        p.SetThroughputLimit(1024);
        auto* t = new CProbeThread(Job(lines), p, &scene.mBreaker, "co\n");
        auto start = std::chrono::steady_clock::now();
        t->Resume();
        ASSERT_TRUE(scene.RunToEnd(30s)) << scene.Dump();
        took[limited] = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(scene.Logged("mymod        -a mod")) << scene.Dump();
        EXPECT_TRUE(scene.Logged("OK."));
    }
    EXPECT_GT(took[1], 1800ms);
    EXPECT_GT(took[1] - took[0], 1000ms);
}

TEST(CVSClientThread, Handshake)
{
    std::string dir = MakeTempDir();
    struct {
        char const* name;
        std::string command;
        std::vector<std::string> logged;
        bool ok;
    } const cases[] = {
        // A program that cannot be started answers through the exec failure text.
        {"missing program", dir + "/no-such-cvs",
         {"CVS server says " + Quoted("Problems executing " + dir + "/no-such-cvs."),
          "CVS access denied for " + Quoted("local:/r") + ". Please check login profile details."},
         false},
        // Whatever answers valid-requests is passed over; the line after it decides.
        {"error for the list",
         WriteScript(dir, "errlist", "read a; read b; echo 'error  no list'; echo ok\n"
                                     "while read l; do case \"$l\" in *' '*) ;; *) break;; esac; done\n"
                                     "echo 'M listed'; echo ok\n"),
         {"listed", "OK."}, true},
        {"no ok", WriteScript(dir, "nook", "read a; read b; echo 'Valid-requests Root'; echo 'E go away'\n"),
         {"CVS server says " + Quoted("E go away")}, false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadScene scene;
        auto* t = new CProbeThread(new CCVSJob, LocalProfile("/r", c.command), &scene.mBreaker, "noop\n");
        t->Resume();
        ASSERT_TRUE(scene.RunToEnd(20s)) << scene.Dump();
        for (auto const& text : c.logged)
            EXPECT_TRUE(scene.Logged(text)) << text << "\n" << scene.Dump();
        EXPECT_EQ(scene.Logged("OK."), c.ok) << scene.Dump();
        EXPECT_EQ(scene.LoggedPrefix("CVS base folder"), c.ok);
    }
    RemoveTree(dir);
}

TEST(CVSClientThread, StopWhileTheServerIsSilent)
{
    // Stop reaches a thread that waits for a server with nothing to say: it
    // ends at once, not when the time-out passes.
    std::string dir = MakeTempDir();
    ThreadScene scene;
    CLoginProfile p = LocalProfile("/r", ScriptedServer(dir, "silent", "sleep 8\n"));
    p.SetTimeOut(20);
    auto* t = new CProbeThread(new CCVSJob, p, &scene.mBreaker, "noop\n");
    t->Resume();
    ASSERT_TRUE(scene.mLoop.RunUntil([&] { return scene.LoggedPrefix("CVS base folder"); }, 20s)) << scene.Dump();
    scene.mLoop.RunFor(200ms);
    scene.mBreaker.TellCVSOperationStatus(CCVSThreadBreaker::kAbort);
    auto stop = std::chrono::steady_clock::now();
    ASSERT_TRUE(scene.RunToEnd(20s)) << scene.Dump();
    EXPECT_LT(std::chrono::steady_clock::now() - stop, 3s);
    EXPECT_EQ(scene.Count("User ABORTED operation.", 3), 1) << scene.Dump();
    EXPECT_TRUE(scene.Entries(4).empty()) << scene.Dump();
    EXPECT_NE(StatisticsLine(scene), "") << scene.Dump();
    RemoveTree(dir);
}
