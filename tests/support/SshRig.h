#pragma once
// An sshd of our own on a loopback port, for proving the ssh transport
// against a real peer.
//
// The rig generates a host key and a user key in a scratch folder, writes an
// sshd_config that authorises the user key for the user running the tests,
// picks a free port and starts /usr/sbin/sshd in the foreground. ssh reads its
// configuration from the home folder of the passwd entry (not from $HOME), so
// the rig also writes a small ssh program for the transport to run instead of
// /usr/bin/ssh: it calls /usr/bin/ssh with a configuration file of the rig
// ("-F") in front of the unchanged arguments, so the argument vector under test
// reaches ssh whole while known_hosts and the key stay inside the scratch folder.
//
// sshd logs users in only when it runs as root; without root the rig is not
// Ready() and Why() says so, and tests skip. A user with a password (for the
// SSH_ASKPASS path) is created on request, again only as root, and removed
// with the rig.

#include <string>
#include <sys/types.h>

namespace fwtest {

class SshRig {
public:
    // Create it on a thread that outlives it: sshd is told to end when the
    // thread that started it ends (so a crashed test leaves no daemon behind).
    SshRig();
    ~SshRig();
    SshRig(SshRig const&) = delete;
    SshRig& operator=(SshRig const&) = delete;

    bool Ready() const { return mReady; }
    // Why the rig is not ready (for GTEST_SKIP and failure messages).
    std::string const& Why() const { return mWhy; }

    std::string const& Host() const { return mHost; }
    unsigned short Port() const { return mPort; }
    // The scratch folder (mode 0711); removed by the destructor.
    std::string const& Dir() const { return mDir; }

    // An ssh program that trusts the rig's host key and offers the rig's user
    // key. Use it in place of /usr/bin/ssh.
    std::string const& SshProgram() const { return mSshProgram; }
    // The same, but with an empty known_hosts, so ssh has to ask whether to
    // trust the host key.
    std::string const& SshProgramUnknownHost() const { return mSshProgramUnknownHost; }
    // The user whose login the rig's user key opens (the user running the tests).
    std::string const& KeyUser() const { return mKeyUser; }

    // Creates a user that logs in with a password only (no key). Returns false
    // with Why() set when that is not possible (not root, useradd failed).
    bool AddPasswordUser();
    std::string const& PasswordUser() const { return mPasswordUser; }
    std::string const& Password() const { return mPassword; }
    uid_t PasswordUserId() const { return mPasswordUid; }

    // What sshd wrote so far (for diagnostics in failure messages).
    std::string SshdLog() const;

private:
    bool Start();
    bool StartSshdOnce(std::string& why);
    void StopSshd();

    bool mReady = false;
    std::string mWhy;
    std::string mHost = "127.0.0.1";
    unsigned short mPort = 0;
    std::string mDir;
    std::string mSshProgram;
    std::string mSshProgramUnknownHost;
    std::string mKeyUser;
    std::string mPasswordUser;
    std::string mPassword;
    uid_t mPasswordUid = 0;
    pid_t mSshd = 0;
};

}  // namespace fwtest
