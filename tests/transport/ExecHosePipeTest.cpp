// The process transport against real programs: the local "cvs server", small
// shell children, and (in SshTransportTest.cpp) ssh through a real sshd.

#include "transport/ExecHosePipe.h"

#include "transport/GZIPHosePipe.h"
#include "transport/ThrottledHosePipe.h"

#include "CvsRig.h"
#include "Handshake.h"
#include "foundation/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// When the tests run this very program as a stand-in for ssh, rsh or cvs
// (FW_TEST_RECORD_ARGS set), it only reports how it was started: one "arg:"
// line per argument, "env:" lines for the variables the ssh factory sets, and
// ends before any test runs.
bool const gRecorder = [] {
    if (std::getenv("FW_TEST_RECORD_ARGS") == nullptr)
        return false;
    std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
    std::string arg;
    while (std::getline(cmdline, arg, '\0'))
        std::printf("arg:%s\n", arg.c_str());
    for (char const* name : {"SSH_ASKPASS", "SSH_CVS_PASSWORD", "DISPLAY"}) {
        if (char const* value = std::getenv(name))
            std::printf("env:%s=%s\n", name, value);
    }
    std::fflush(stdout);
    _exit(0);
}();

std::string SelfPath()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// Captures the message log (and the alerts of level-4 entries) for one test.
class LogCapture {
public:
    LogCapture() : mAlerts(&mSink) { gConsoleP = &mConsole; }
    ~LogCapture() { gConsoleP = nullptr; }
    std::string Text() const
    {
        std::string all;
        for (unsigned long i = 0; i < mConsole.Count(); ++i)
            all += mConsole.EntryText(i) + "\n";
        return all;
    }

private:
    CConsole mConsole;
    CScriptedAlertSink mSink;
    StAlertSink mAlerts;
};

std::unique_ptr<CExecHosePipe> Spawn(std::vector<std::string> const& args, unsigned long timeout,
                                     std::vector<std::string> const& env = {})
{
    TPtrArray<CString> argv(kPArrOwning);
    for (auto const& a : args)
        argv.append(new CString(a.c_str()));
    TPtrArray<CString> add(kPArrOwning);
    for (auto const& e : env)
        add.append(new CString(e.c_str()));
    return std::make_unique<CExecHosePipe>(CString(args[0].c_str()), argv, timeout, add);
}

std::unique_ptr<CExecHosePipe> Shell(std::string const& script, unsigned long timeout = 10)
{
    return Spawn({"/bin/sh", "-c", script}, timeout);
}

// Every line the child writes until its output ends.
std::vector<std::string> AllLines(CHosePipe& pipe)
{
    std::vector<std::string> lines;
    std::string line;
    while (fwtest::ReadLine(pipe, line))
        lines.push_back(line);
    if (!line.empty())
        lines.push_back(line);
    return lines;
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

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A pid that was reaped is gone for good (kill says ESRCH); a zombie still
// answers kill(pid, 0).
bool Gone(pid_t pid)
{
    return kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

TEST(ExecHosePipe, LocalCvsServerChecksOutAModule)
{
    fwtest::CvsRig& rig = fwtest::CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    std::string text = "first line\nsecond line\n";
    std::string binary(70000, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 7) ^ (i >> 8));
    ASSERT_TRUE(rig.AddModule("execmod", {{"a.txt", text}, {"sub/big.bin", binary}}));
    rig.Cvs({"admin", "-kb", "execmod/sub/big.bin"});

    std::unique_ptr<CExecHosePipe> pipe(MakeLocalHosePipe(20, CString("/usr/bin/cvs")));
    ASSERT_TRUE(pipe->OK());
    EXPECT_EQ(pipe->ConnectionState(), kHoseConnected);
    EXPECT_EQ(pipe->HoseNext(), nullptr);
    std::string error;
    ASSERT_TRUE(fwtest::StartProtocol(*pipe, rig.Repo(), nullptr, &error)) << error;
    fwtest::CheckoutResult co = fwtest::CheckoutOverPipe(*pipe, rig.Repo(), "execmod");
    ASSERT_TRUE(co.ok) << co.error << co.messages;

    std::map<std::string, std::string> bySuffix;
    for (auto const& [path, bytes] : co.files)
        bySuffix[path.substr(path.rfind("execmod/"))] = bytes;
    EXPECT_EQ(bySuffix["execmod/a.txt"], text);
    EXPECT_EQ(bySuffix["execmod/sub/big.bin"], binary);
    // The process transport counts every byte both ways, lines included.
    EXPECT_GT(pipe->ReceivedBytes(), text.size() + binary.size());
    EXPECT_GT(pipe->SentBytes(), std::strlen(fwtest::kValidResponses));
}

// The chain the engine builds: compression over throttling over the process.
// The process pipe reads until its buffer is full or the output ends, which
// works because the finished request stream makes the server answer and quit.
TEST(ExecHosePipe, CompressedCheckoutThroughTheWholeChain)
{
    fwtest::CvsRig& rig = fwtest::CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    std::string lines;
    for (int i = 0; i < 5000; ++i)
        lines += "line " + std::to_string(i % 40) + " of a compressible text\n";
    ASSERT_TRUE(rig.AddModule("execgz", {{"t.txt", lines}}));
    struct Case {
        int level;
        unsigned long limit;  // 0: no throttle
    } const cases[] = {{1, 0}, {9, 1 << 20}};
    for (auto const& c : cases) {
        SCOPED_TRACE(c.level);
        CHosePipe* exec = MakeLocalHosePipe(20, CString("/usr/bin/cvs"));
        std::unique_ptr<CHosePipe> pipe(c.limit != 0 ? new CThrottledHosePipe(exec, c.limit) : exec);
        std::string error;
        ASSERT_TRUE(fwtest::StartProtocol(*pipe, rig.Repo(), nullptr, &error)) << error;
        fwtest::RequestGzip(*pipe, c.level);
        pipe.reset(new CGZIPHosePipe(pipe.release(), static_cast<unsigned short>(c.level), 1024));
        fwtest::CheckoutResult co = fwtest::CheckoutOverPipe(*pipe, rig.Repo(), "execgz");
        ASSERT_TRUE(co.ok) << co.error << co.messages;
        ASSERT_EQ(co.files.size(), 1u);
        EXPECT_TRUE(co.files.begin()->second == lines);
        // Compressed figures are those of the wrapped chain.
        EXPECT_LT(pipe->HoseNext()->ReceivedBytes(), pipe->ReceivedBytes());
    }
}

// The read-ahead must not change what a line read returns or what is counted.
TEST(ExecHosePipe, ReceiveLineFollowsTheLineContract)
{
    auto pipe = Shell("printf 'ok\\nab cd\\n0123456789tail'");
    char buf[64];
    struct Step {
        unsigned long room;
        char term;
        char stop;
        std::string text;
    } const steps[] = {
        {10, ' ', '\n', "ok"},        // a line feed ends the line whatever the terminator
        {10, ' ', ' ', "ab"},         // the terminator
        {10, '\n', '\n', "cd"},
        {10, '\n', 0, "0123456789"},  // room used up: no stop, len unchanged
        {10, '\n', 0, "tail"},        // the output ended: no stop, len shorter
        {10, '\n', 0, ""},            // and stays ended
    };
    unsigned long total = 0;
    for (auto const& s : steps) {
        unsigned long len = s.room;
        char stop = pipe->ReceiveLine(buf, len, s.term);
        EXPECT_EQ(stop, s.stop) << s.text;
        EXPECT_EQ(std::string(buf, len), s.text);
        EXPECT_EQ(buf[len], '\0');
        total += len + (stop != 0 ? 1 : 0);
    }
    EXPECT_EQ(pipe->ReceivedBytes(), total);
    EXPECT_TRUE(pipe->OutputEnded());

    // ReceiveData after lines: what is left, up to the end of the output.
    auto mixed = Shell("printf 'head\\n'; head -c 20000 /dev/zero | tr '\\0' x");
    unsigned long len = sizeof buf - 1;
    ASSERT_EQ(mixed->ReceiveLine(buf, len, '\n'), '\n');
    std::string rest(30000, '?');
    len = rest.size();
    mixed->ReceiveData(rest.data(), len);
    EXPECT_EQ(len, 20000u);
    EXPECT_EQ(rest.substr(0, len), std::string(20000, 'x'));
    EXPECT_EQ(mixed->ReceivedBytes(), 5u + 20000u);
}

// A program that cannot be executed answers the conversation with a message
// instead of a protocol; sending to it must not fail or kill us (SIGPIPE).
TEST(ExecHosePipe, ProblemsExecutingReachTheConversation)
{
    std::string dir = fwtest::MakeTempDir();
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(fwtest::WriteFile(dir + "/not-executable", "#!/bin/sh\necho hi\n"));
    chmod((dir + "/not-executable").c_str(), 0644);
    for (std::string path : {dir + "/missing", dir + "/not-executable", dir}) {
        SCOPED_TRACE(path);
        std::unique_ptr<CExecHosePipe> pipe(MakeLocalHosePipe(10, CString(path.c_str())));
        ASSERT_TRUE(pipe->OK());
        // Let the child fail and go before we write, so the write meets a
        // closed pipe.
        pipe->Child().WaitFor(5000);
        std::string requests(200000, 'r');
        EXPECT_EQ(Code([&] {
                      pipe->SendCStr(fwtest::kValidResponses);
                      pipe->SendData(requests.data(), requests.size());
                  }),
                  0);
        std::string line;
        EXPECT_TRUE(fwtest::ReadLine(*pipe, line));
        EXPECT_EQ(line, "");
        EXPECT_TRUE(fwtest::ReadLine(*pipe, line));
        EXPECT_EQ(line, "Problems executing " + path + ".");
        EXPECT_FALSE(fwtest::ReadLine(*pipe, line));
        EXPECT_TRUE(pipe->Child().TryReap());
        EXPECT_TRUE(WIFEXITED(pipe->Child().ExitStatus()));
        EXPECT_EQ(WEXITSTATUS(pipe->Child().ExitStatus()), 1);
    }
    fwtest::RemoveTree(dir);
}

// What the child gets: a session of its own (no terminal to ask a password
// on), only its three standard descriptors, the default SIGPIPE, and the
// process environment with the additions replacing same-named variables.
TEST(ExecHosePipe, ChildStartsClean)
{
    int leak[2];
    ASSERT_EQ(pipe(leak), 0);  // deliberately not close-on-exec
    setenv("FW_TEST_OVERRIDDEN", "old", 1);
    setenv("FW_TEST_KEPT", "kept", 1);
    auto pipe = Spawn({"/bin/sh", "-c",
                       "echo sid=$(cut -d' ' -f6 /proc/$$/stat) pid=$$;"
                       "echo fds=$(ls /proc/$$/fd | sort -n | tr '\\n' ' ');"
                       "echo sigpipe=$(grep SigIgn /proc/$$/status);"
                       "echo $FW_TEST_OVERRIDDEN $FW_TEST_KEPT $FW_TEST_ADDED"},
                      10, {"FW_TEST_OVERRIDDEN=new", "FW_TEST_ADDED=added"});
    auto lines = AllLines(*pipe);
    close(leak[0]);
    close(leak[1]);
    unsetenv("FW_TEST_OVERRIDDEN");
    unsetenv("FW_TEST_KEPT");
    ASSERT_EQ(lines.size(), 4u);
    // sid equals the pid: the shell leads a session of its own.
    auto sid = lines[0].substr(4, lines[0].find(' ') - 4);
    EXPECT_EQ(lines[0], "sid=" + sid + " pid=" + sid);
    // 0, 1, 2, and the descriptor ls itself has open on the folder.
    EXPECT_EQ(lines[1], "fds=0 1 2 3");
    // Bit 13 (SIGPIPE) is not in the ignored mask.
    unsigned long long ignored = std::strtoull(lines[2].substr(lines[2].find(':') + 1).c_str(), nullptr, 16);
    EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0u) << lines[2];
    EXPECT_EQ(lines[3], "new kept added");
}

// The timeout counts from the last progress: a slow but steady child is
// fine, a silent one times out, and a child that never said a word is
// terminated when the transport goes.
TEST(ExecHosePipe, TimeoutsCountSilenceNotTotalTime)
{
    auto steady = Shell("for i in 1 2 3 4 5; do sleep 0.4; printf $i; done", 1);
    char buf[8];
    unsigned long len = 5;
    EXPECT_EQ(Code([&] { steady->ReceiveData(buf, len); }), 0);
    EXPECT_EQ(std::string(buf, len), "12345");

    auto silent = Spawn({"/bin/sleep", "30"}, 1);
    pid_t pid = silent->Child().Pid();
    ASSERT_NE(silent->RecordedPid(), 0);
    auto start = std::chrono::steady_clock::now();
    len = sizeof buf;
    EXPECT_EQ(Code([&] { silent->ReceiveData(buf, len); }), kHoseTimedOut);
    EXPECT_EQ(len, 0u);
    EXPECT_GE(Seconds(start), 0.95);
    EXPECT_LT(Seconds(start), 3.0);
    len = sizeof buf - 1;
    EXPECT_EQ(Code([&] { silent->ReceiveLine(buf, len, '\n'); }), kHoseTimedOut);
    silent.reset();
    EXPECT_TRUE(Gone(pid));
}

// A child that has talked is not killed: it sees the end of its input and
// finishes on its own.
TEST(ExecHosePipe, ChildThatTalkedEndsByItself)
{
    std::string dir = fwtest::MakeTempDir();
    auto pipe = Shell("echo hello; cat >/dev/null; sleep 0.2; echo finished > '" + dir + "/done'");
    std::string line;
    ASSERT_TRUE(fwtest::ReadLine(*pipe, line));
    EXPECT_EQ(line, "hello");
    EXPECT_EQ(pipe->RecordedPid(), 0);
    pid_t pid = pipe->Child().Pid();
    pipe.reset();
    for (int i = 0; i < 300 && !Gone(pid); ++i) {
        ReapLeftoverChildren();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(fwtest::ReadFile(dir + "/done"), "finished\n");
    EXPECT_TRUE(Gone(pid)) << "the child was not reaped";
    fwtest::RemoveTree(dir);
}

TEST(ExecHosePipe, AbortReleasesABlockedCallFromAnotherThread)
{
    auto pipe = Spawn({"/bin/sleep", "30"}, 60);
    std::atomic<std::chrono::steady_clock::rep> abortedAt{0};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        abortedAt = std::chrono::steady_clock::now().time_since_epoch().count();
        pipe->AbortThreadOperation();
    });
    char buf[16];
    unsigned long len = sizeof buf;
    EXPECT_EQ(Code([&] { pipe->ReceiveData(buf, len); }), kHoseOperationAborted);
    auto returnedAt = std::chrono::steady_clock::now().time_since_epoch().count();
    stopper.join();
    ASSERT_NE(abortedAt.load(), 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::duration(returnedAt - abortedAt)).count(),
              0.1);
    // Sticky: the next wait ends at once as well.
    len = sizeof buf - 1;
    EXPECT_EQ(Code([&] { pipe->ReceiveLine(buf, len, '\n'); }), kHoseOperationAborted);

    // A send blocked on a child that does not read.
    auto deaf = Spawn({"/bin/sleep", "30"}, 60);
    std::thread stopper2([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        deaf->AbortThreadOperation();
    });
    std::string big(1 << 20, 'x');
    EXPECT_EQ(Code([&] { deaf->SendData(big.data(), big.size()); }), kHoseOperationAborted);
    stopper2.join();
    EXPECT_GT(deaf->SentBytes(), 0u);
    EXPECT_LT(deaf->SentBytes(), big.size());
}

// The factories' argument vectors and environments, recorded by running this
// test program in place of ssh, rsh and cvs.
TEST(ExecHosePipe, FactoriesBuildTheCommandLines)
{
    std::string self = SelfPath();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(std::string(SSHProgramPath().c_str()), "/usr/bin/ssh");
    EXPECT_EQ(std::string(RSHProgramPath().c_str()), "/usr/bin/rsh");
    CString const oldSSH = SSHProgramPath(), oldRSH = RSHProgramPath();
    SetSSHProgramPath(CString(self.c_str()));
    SetRSHProgramPath(CString(self.c_str()));
    SetPasswordScriptPath(CString("/opt/fw/password.sh"));
    unsetenv("SSH_ASKPASS");
    unsetenv("SSH_CVS_PASSWORD");
    setenv("DISPLAY", ":7", 1);
    setenv("FW_TEST_RECORD_ARGS", "1", 1);
    // Put everything back also when an assertion ends the test early.
    struct Restore {
        CString ssh, rsh;
        ~Restore()
        {
            unsetenv("FW_TEST_RECORD_ARGS");
            unsetenv("DISPLAY");
            SetSSHProgramPath(ssh);
            SetRSHProgramPath(rsh);
            SetPasswordScriptPath(CString());
        }
    } restore{oldSSH, oldRSH};

    struct Case {
        char const* name;
        std::function<CExecHosePipe*()> make;
        std::vector<std::string> expected;
    } const cases[] = {
        {"ssh 2 with a password",
         [] { return MakeSSHHosePipe("-2", "h", 22, "u", "p w$\\", 20, "cvs"); },
         {"arg:ssh", "arg:-2", "arg:-l", "arg:u", "arg:-p", "arg:22", "arg:h", "arg:cvs", "arg:server",
          "env:SSH_ASKPASS=/opt/fw/password.sh", "env:SSH_CVS_PASSWORD=p w$\\", "env:DISPLAY=localhost"}},
        {"ssh 2 without a password",
         [] { return MakeSSHHosePipe("-2", "cvs.example.org", 2222, "anna", "", 20, "/opt/cvs"); },
         {"arg:ssh", "arg:-2", "arg:-l", "arg:anna", "arg:-p", "arg:2222", "arg:cvs.example.org",
          "arg:/opt/cvs", "arg:server", "env:DISPLAY=:7"}},
        {"rsh", [] { return MakeRSHHosePipe("h", "u", 20, "cvs"); },
         {"arg:rsh", "arg:-l", "arg:u", "arg:h", "arg:cvs", "arg:server", "env:DISPLAY=:7"}},
        {"local", [self] { return MakeLocalHosePipe(20, CString(self.c_str())); },
         {"arg:cvs", "arg:server", "env:DISPLAY=:7"}},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CExecHosePipe> pipe(c.make());
        ASSERT_TRUE(pipe->OK());
        EXPECT_EQ(AllLines(*pipe), c.expected);
    }
}

// A host name that ssh or rsh would take for an option (or that holds a
// control character) is refused before anything runs.
TEST(ExecHosePipe, DangerousHostNamesAreRefused)
{
    std::string dir = fwtest::MakeTempDir();
    std::string marker = dir + "/ran";
    std::string const inject = "-oProxyCommand=touch " + marker;
    struct Case {
        std::string host;
        bool safe;
    } const cases[] = {
        {"cvs.example.org", true}, {"10.0.0.1", true},   {"::1", true},     {"host-1", true},
        {inject, false},           {"-l", false},        {"a\nb", false},   {"a\tb", false},
        {"a\x7f", false},          {"\x1b[2Jx", false},
    };
    LogCapture log;
    for (auto const& c : cases) {
        SCOPED_TRACE(c.host);
        EXPECT_EQ(IsSafeRemoteHostName(CString(c.host.c_str())), c.safe);
        if (c.safe)
            continue;
        std::unique_ptr<CExecHosePipe> ssh(MakeSSHHosePipe("-2", c.host.c_str(), 22, "u", "pw", 5, "cvs"));
        std::unique_ptr<CExecHosePipe> rsh(MakeRSHHosePipe(c.host.c_str(), "u", 5, "cvs"));
        for (CExecHosePipe* p : {ssh.get(), rsh.get()}) {
            EXPECT_FALSE(p->OK());
            EXPECT_EQ(p->ConnectionState(), kHoseNothingOpen);
            EXPECT_FALSE(p->Child().Started());
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(access(marker.c_str(), F_OK), -1) << "an injected option ran a command";
    std::string text = log.Text();
    EXPECT_NE(text.find("-oProxyCommand"), std::string::npos) << text;
    EXPECT_NE(text.find("must not begin with"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << "control characters reached the log";
    fwtest::RemoveTree(dir);
}

// OpenSSH has no protocol 1 any more: the profile gets a message that says
// so, and nothing is started.
TEST(ExecHosePipe, SshProtocolOneFailsClearly)
{
    std::string output;
    int rc = fwtest::RunProgram({"/usr/bin/ssh", "-1", "-l", "u", "-p", "22", "127.0.0.1", "true"}, {},
                                &output);
    EXPECT_NE(rc, 0);
    EXPECT_NE(output.find("no longer supported"), std::string::npos) << output;

    LogCapture log;
    std::unique_ptr<CExecHosePipe> pipe(MakeSSHHosePipe("-1", "127.0.0.1", 22, "u", "", 5, "cvs"));
    EXPECT_FALSE(pipe->OK());
    EXPECT_FALSE(pipe->Child().Started());
    EXPECT_NE(log.Text().find("no longer supports SSH protocol 1"), std::string::npos) << log.Text();
}

// The script ssh runs for answers: the password for password and passphrase
// prompts, byte for byte; nothing for any other question.
TEST(ExecHosePipe, PasswordScriptAnswersOnlyPasswordPrompts)
{
    std::string const script = FW_RESOURCES_DIR "/password.sh";
    std::string const password = "a\\nb $HOME \"q\" 'x' -n";
    std::string const hostKey =
        "The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be established.\n"
        "ED25519 key fingerprint is SHA256:abc.\n"
        "Are you sure you want to continue connecting (yes/no/[fingerprint])? ";
    struct Case {
        std::string prompt;
        std::vector<std::string> env;
        bool answers;
    } const cases[] = {
        {"u@h's password: ", {}, true},
        {"(u@h) Password: ", {}, true},
        {"Enter passphrase for key '/home/u/.ssh/id_ed25519': ", {}, true},
        {hostKey, {}, false},
        {"Please type 'yes', 'no' or the fingerprint: ", {}, false},
        {"Enter PIN for ED25519-SK key /k: ", {}, false},
        {"u@h's password: ", {"SSH_ASKPASS_PROMPT=confirm"}, false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.prompt);
        std::vector<std::string> env = c.env;
        env.push_back("SSH_CVS_PASSWORD=" + password);
        std::string output;
        int rc = fwtest::RunProgram({script, c.prompt}, {}, &output, env);
        EXPECT_EQ(rc, c.answers ? 0 : 1);
        EXPECT_EQ(output, c.answers ? password + "\n" : "");
    }
    // Without a password handed over there is nothing to answer with.
    unsetenv("SSH_CVS_PASSWORD");
    std::string output;
    EXPECT_EQ(fwtest::RunProgram({script, "u@h's password: "}, {}, &output), 1);
    EXPECT_EQ(output, "");
}
