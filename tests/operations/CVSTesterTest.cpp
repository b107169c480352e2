#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "../engine/ThreadScene.h"
#include "SshRig.h"
#include "operations/CVSTester.h"
#include "transport/ExecHosePipe.h"

using namespace fwtest;
using namespace std::chrono_literals;

namespace {

std::string Info(CLoginProfile const& p)
{
    return p.InfoString().c_str();
}

// Runs a tester to its end; false when it did not end in time.
bool RunTester(ThreadScene& scene, CLoginProfile const& p, unsigned short mode)
{
    auto* t = new CCVSTester(nullptr, p, &scene.mBreaker, mode);
    t->Resume();
    return scene.RunToEnd(30s);
}

bool SucceededAlert(ThreadScene const& scene, CLoginProfile const& p)
{
    for (auto const& [type, text] : scene.mAlerts.Shown())
        if (type == kAlertNote && text == "Login for " + Quoted(Info(p)) + " succeeded.")
            return true;
    return false;
}

std::string Statistics(ThreadScene const& scene)
{
    for (auto const& e : scene.Entries())
        if (!e.empty() && e.front() == '[' && e.find(" bytes sent, ") != std::string::npos)
            return e;
    return {};
}

}  // namespace

TEST(LoginTest, PasswordServer)
{
    CvsRig& rig = RigWithModules();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    std::string const alicePw = rig.Account("alice").password;
    std::string const oddPw = rig.Account("odd").password;
    struct {
        char const* name;
        std::string user;
        std::string password;
        std::string root;
        bool succeeds;
        std::string reason;  // logged on failure
    } const cases[] = {
        {"right password", "alice", alicePw, rig.Repo(), true, ""},
        {"password of every punctuation", "odd", oddPw, rig.Repo(), true, ""},
        {"wrong password", "alice", "not-" + alicePw, rig.Repo(), false, "denied"},
        // cvs 1.12.13 says "E Fatal error, aborting." and then "error 0 ...".
        {"unknown user", "nosuchuser", alicePw, rig.Repo(), false, "nosuchuser: no such user"},
        // The server closes without a word for a root it does not serve.
        {"root not allowed", "alice", alicePw, rig.Dir() + "/elsewhere", false, "denied"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        ThreadScene scene;
        CLoginProfile p = PserverProfile(rig, c.user, c.password);
        p.SetRoot(c.root.c_str());
        if (c.reason == "denied")
            c.reason = "CVS access denied for " + Quoted(Info(p)) + ". Please check login profile details.";
        ASSERT_TRUE(RunTester(scene, p, CCVSTester::kLoginTest)) << scene.Dump();

        EXPECT_EQ(SucceededAlert(scene, p), c.succeeds) << scene.Dump();
        EXPECT_EQ(scene.Logged("CVS access granted for " + Quoted(Info(p)) + ".", 0), c.succeeds);
        if (c.succeeds) {
            EXPECT_TRUE(scene.Entries(3).empty()) << scene.Dump();
        } else {
            EXPECT_FALSE(scene.Entries(4).empty()) << scene.Dump();
            EXPECT_TRUE(scene.Logged(c.reason)) << scene.Dump();
        }
        EXPECT_NE(Statistics(scene), "");
        // The password reaches neither the log nor the status line.
        EXPECT_FALSE(scene.Contains(c.password)) << scene.Dump();
        for (auto const& [type, text] : scene.mAlerts.Shown())
            EXPECT_EQ(text.find(c.password), std::string::npos);
    }
}

TEST(LoginTest, LocalMethodChecksTheRoot)
{
    CvsRig& rig = RigWithModules();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    {
        ThreadScene scene;
        CLoginProfile p = LocalProfile(rig.Repo());
        ASSERT_TRUE(RunTester(scene, p, CCVSTester::kLoginTest)) << scene.Dump();
        EXPECT_EQ(Info(p), "local:" + rig.Repo());
        EXPECT_TRUE(SucceededAlert(scene, p)) << scene.Dump();
        EXPECT_FALSE(scene.LoggedPrefix("CVS access granted"));
        EXPECT_TRUE(scene.Entries(3).empty()) << scene.Dump();
    }
    {
        // No password server looks at the root here: the login test asks the
        // server to open it before it says the login works.
        ThreadScene scene;
        CLoginProfile p = LocalProfile(rig.Dir() + "/no-such-repository");
        ASSERT_TRUE(RunTester(scene, p, CCVSTester::kLoginTest)) << scene.Dump();
        EXPECT_FALSE(SucceededAlert(scene, p)) << scene.Dump();
        EXPECT_TRUE(scene.LoggedPrefix("Failure:")) << scene.Dump();
    }
}

TEST(ModuleListing, ListsModulesAndAliases)
{
    CvsRig& rig = RigWithModules();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    struct {
        char const* name;
        CLoginProfile profile;
        short compression;
    } cases[] = {
        {"pserver", PserverProfile(rig, "alice", rig.Account("alice").password), 0},
        {"pserver compressed", PserverProfile(rig, "alice", rig.Account("alice").password), 6},
        {"local", LocalProfile(rig.Repo()), 0},
        {"local compressed", LocalProfile(rig.Repo()), 9},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadScene scene;
        c.profile.SetCompressionLevel(c.compression);
        unsigned long checks = CheckFailureCount();
        ASSERT_TRUE(RunTester(scene, c.profile, CCVSTester::kListModules)) << scene.Dump();
        EXPECT_EQ(CheckFailureCount(), checks);
        EXPECT_TRUE(scene.LoggedPrefix("CVS base folder . is \xD2/")) << scene.Dump();
        auto entries = scene.Entries();
        auto at = [&](std::string const& text) {
            return std::find(entries.begin(), entries.end(), text) - entries.begin();
        };
        EXPECT_LT(at("mymod        -a mod"), at("subonly      mod/sub")) << scene.Dump();
        EXPECT_LT(at("subonly      mod/sub"), at("OK.")) << scene.Dump();
        EXPECT_NE(at("OK."), static_cast<long>(entries.size()));
        EXPECT_TRUE(scene.Logged("OK.", 1));
        EXPECT_TRUE(scene.Entries(2).empty()) << scene.Dump();
        std::string stats = Statistics(scene);
        if (c.compression) {
            EXPECT_NE(stats.find(") bytes received, "), std::string::npos) << stats;
            EXPECT_NE(stats.find("compression level " + std::to_string(c.compression)), std::string::npos) << stats;
        } else {
            EXPECT_EQ(stats.find("compression"), std::string::npos) << stats;
        }
    }
}

TEST(ModuleListing, AnyOtherResponseIsRefused)
{
    // A server that answers the listing with a file: nothing is written, the
    // conversation ends with the unexpected-response report.
    std::string dir = MakeTempDir();
    ThreadScene scene;
    std::string server = ScriptedServer(dir, "server",
                                        "echo 'M mymod -a mod'\n"
                                        "printf 'Created ./\\nmod/a.c\\n/a.c/1.1///\\nu=rw,g=r,o=r\\n3\\nabc'\n"
                                        "echo ok\n");
    CLoginProfile p = LocalProfile("/r", server);
    ASSERT_TRUE(RunTester(scene, p, CCVSTester::kListModules)) << scene.Dump();
    EXPECT_TRUE(scene.Logged("mymod -a mod", 0));
    EXPECT_TRUE(scene.Logged("Unexpected response received from CVS server on connection " + Quoted("local:/r") + ".",
                             4))
        << scene.Dump();
    EXPECT_FALSE(scene.Logged("OK."));
    RemoveTree(dir);
}

TEST(LoginTest, SshWithThePasswordScript)
{
    SshRig ssh;
    if (!ssh.Ready())
        GTEST_SKIP() << "no sshd rig: " << ssh.Why();
    if (!ssh.AddPasswordUser())
        GTEST_SKIP() << "no password user: " << ssh.Why();
    CvsRig& rig = RigWithModules();
    ASSERT_TRUE(rig.Ok()) << rig.Error();

    // Stand in for ssh: note the command line, then run the rig's ssh.
    std::string dir = MakeTempDir();
    std::string argvFile = dir + "/argv";
    std::string program = WriteScript(dir, "ssh", "printf '%s\\n' \"$@\" >> '" + argvFile + "'\nexec '" +
                                                      ssh.SshProgram() + "' \"$@\"\n");
    CString oldSSH = SSHProgramPath();
    SetSSHProgramPath(program.c_str());
    SetPasswordScriptPath(FW_RESOURCES_DIR "/password.sh");

    struct {
        char const* name;
        std::string password;
        unsigned short mode;
        bool succeeds;
    } const cases[] = {
        {"login test", ssh.Password(), CCVSTester::kLoginTest, true},
        {"module listing", ssh.Password(), CCVSTester::kListModules, true},
        {"wrong password", ssh.Password() + "x", CCVSTester::kLoginTest, false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadScene scene;
        CLoginProfile p;
        p.SetDescription("ssh");
        p.SetLoginMethod(kLoginSSH2);
        p.SetHost(ssh.Host().c_str());
        p.SetUseDefaultPort(false);
        p.SetPort(ssh.Port());
        p.SetUser(ssh.PasswordUser().c_str());
        p.SetPassword(c.password.c_str());
        p.SetRoot(rig.Repo().c_str());
        p.SetTimeOut(30);
        ASSERT_TRUE(RunTester(scene, p, c.mode)) << scene.Dump() << ssh.SshdLog();
        if (c.mode == CCVSTester::kLoginTest) {
            EXPECT_EQ(SucceededAlert(scene, p), c.succeeds) << scene.Dump() << ssh.SshdLog();
        } else {
            EXPECT_TRUE(scene.Logged("subonly      mod/sub")) << scene.Dump() << ssh.SshdLog();
        }
        if (!c.succeeds) {
            EXPECT_FALSE(scene.Entries(4).empty()) << scene.Dump();
        }
        EXPECT_FALSE(scene.Contains(c.password)) << scene.Dump();
    }
    // ssh got the password through the script, never on its command line.
    std::string argv = ReadFile(argvFile);
    EXPECT_NE(argv.find(ssh.PasswordUser()), std::string::npos) << argv;
    EXPECT_EQ(argv.find(ssh.Password()), std::string::npos) << argv;

    SetSSHProgramPath(oldSSH);
    SetPasswordScriptPath(CString());
    RemoveTree(dir);
}
