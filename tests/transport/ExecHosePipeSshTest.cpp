// The ssh method against a real sshd on loopback that runs the real
// "cvs server": with the user's key, with a password handed over by the
// password script, and with a host key ssh does not know.

#include "transport/ExecHosePipe.h"

#include "CvsRig.h"
#include "Handshake.h"
#include "SshRig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

class SshTransport : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!mSsh.Ready())
            GTEST_SKIP() << "no sshd rig: " << mSsh.Why();
        ASSERT_TRUE(mCvs.Ok()) << mCvs.Error();
        mOldSSH = SSHProgramPath();
        SetPasswordScriptPath(CString(FW_RESOURCES_DIR "/password.sh"));
    }
    void TearDown() override
    {
        if (!mOldSSH.IsNull())
            SetSSHProgramPath(mOldSSH);
        SetPasswordScriptPath(CString());
    }

    std::unique_ptr<CExecHosePipe> Connect(std::string const& program, std::string const& user,
                                           std::string const& password, unsigned short timeout = 30)
    {
        SetSSHProgramPath(CString(program.c_str()));
        return std::unique_ptr<CExecHosePipe>(MakeSSHHosePipe("-2", mSsh.Host().c_str(), mSsh.Port(),
                                                              user.c_str(), password.c_str(), timeout,
                                                              "cvs"));
    }

    void ExpectCheckout(CExecHosePipe& pipe, std::string const& module, std::string const& text)
    {
        std::string error;
        ASSERT_TRUE(fwtest::StartProtocol(pipe, mCvs.Repo(), nullptr, &error))
            << error << "\nsshd says:\n" << mSsh.SshdLog();
        fwtest::CheckoutResult co = fwtest::CheckoutOverPipe(pipe, mCvs.Repo(), module);
        ASSERT_TRUE(co.ok) << co.error << co.messages;
        ASSERT_EQ(co.files.size(), 1u);
        EXPECT_EQ(co.files.begin()->second, text);
    }

    fwtest::SshRig mSsh;
    fwtest::CvsRig mCvs;
    CString mOldSSH;
};

}  // namespace

TEST_F(SshTransport, KeyLoginRunsCvsServer)
{
    std::string text(50000, 'k');
    ASSERT_TRUE(mCvs.AddModule("sshkey", {{"k.txt", text}}));
    auto pipe = Connect(mSsh.SshProgram(), mSsh.KeyUser(), "");
    ASSERT_TRUE(pipe->OK());
    ExpectCheckout(*pipe, "sshkey", text);
}

TEST_F(SshTransport, PasswordIsHandedOverByTheScript)
{
    if (!mSsh.AddPasswordUser())
        GTEST_SKIP() << "no password user: " << mSsh.Why();
    std::string text = "over ssh with a password\n";
    ASSERT_TRUE(mCvs.AddModule("sshpw", {{"p.txt", text}}));

    // The password holds a space, a backslash sequence, quotes and "$HOME":
    // it must reach ssh byte for byte.
    auto pipe = Connect(mSsh.SshProgram(), mSsh.PasswordUser(), mSsh.Password());
    ASSERT_TRUE(pipe->OK());
    ExpectCheckout(*pipe, "sshpw", text);

    // A wrong password: ssh gives up and the conversation hears nothing.
    auto start = std::chrono::steady_clock::now();
    auto wrong = Connect(mSsh.SshProgram(), mSsh.PasswordUser(), mSsh.Password() + "x");
    std::string error;
    EXPECT_FALSE(fwtest::StartProtocol(*wrong, mCvs.Repo(), nullptr, &error));
    EXPECT_TRUE(wrong->OutputEnded());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 25.0);
}

// ssh asks whether to trust an unknown host key through the same program
// that answers password prompts. A password that reads "yes" must not say yes.
TEST_F(SshTransport, UnknownHostKeyIsNotAccepted)
{
    auto pipe = Connect(mSsh.SshProgramUnknownHost(), mSsh.KeyUser(), "yes");
    ASSERT_TRUE(pipe->OK());
    std::string error;
    EXPECT_FALSE(fwtest::StartProtocol(*pipe, mCvs.Repo(), nullptr, &error));
    EXPECT_TRUE(pipe->OutputEnded());
    EXPECT_EQ(fwtest::ReadFile(mSsh.Dir() + "/known_hosts_empty"), "");
    EXPECT_EQ(mSsh.SshdLog().find("Accepted"), std::string::npos) << mSsh.SshdLog();
}

// Debian has no rsh; ssh takes the same "-l user host command" arguments, so
// it stands in for rsh here to prove the rsh command line against the server.
TEST_F(SshTransport, RshCommandLineWorksWithAnRshCompatibleProgram)
{
    std::string text = "through the rsh command line\n";
    ASSERT_TRUE(mCvs.AddModule("rshmod", {{"r.txt", text}}));
    CString oldRSH = RSHProgramPath();
    SetRSHProgramPath(CString(mSsh.SshProgram().c_str()));
    // The rig's ssh program reads the port from its configuration here, as
    // the rsh command line has none.
    std::unique_ptr<CExecHosePipe> pipe(MakeRSHHosePipe(mSsh.Host().c_str(), mSsh.KeyUser().c_str(), 30, "cvs"));
    SetRSHProgramPath(oldRSH);
    ASSERT_TRUE(pipe->OK());
    ExpectCheckout(*pipe, "rshmod", text);
}
