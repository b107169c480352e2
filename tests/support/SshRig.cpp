#include "SshRig.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr char kSshd[] = "/usr/sbin/sshd";
constexpr char kSsh[] = "/usr/bin/ssh";
constexpr char kSshKeygen[] = "/usr/bin/ssh-keygen";

bool Executable(char const* path)
{
    return ::access(path, X_OK) == 0;
}

bool WriteText(std::string const& path, std::string const& text, mode_t mode)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return out.good() && ::chmod(path.c_str(), mode) == 0;
}

std::string ReadText(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a program, its output appended to `log`, and waits for it. Feeds
// `input` to its standard input when given. Returns the exit status, or -1.
int Run(std::vector<std::string> const& args, std::string const& log, char const* input = nullptr)
{
    std::vector<char*> argv;
    for (auto const& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int in[2] = {-1, -1};
    if (input != nullptr && ::pipe2(in, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input != nullptr)
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    int err = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (input != nullptr) {
        ::close(in[0]);
        if (err == 0) {
            std::size_t len = std::strlen(input);
            while (len > 0) {
                ssize_t n = ::write(in[1], input, len);
                if (n <= 0)
                    break;
                input += n;
                len -= static_cast<std::size_t>(n);
            }
        }
        ::close(in[1]);
    }
    if (err != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A port nobody listens on right now (the kernel's pick for port 0).
unsigned short FreeLoopbackPort()
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    unsigned short port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(s);
    return port;
}

bool Accepts(unsigned short port)
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

std::string RandomLetters(std::size_t n)
{
    std::random_device seed;
    std::mt19937 gen(seed());
    std::uniform_int_distribution<int> pick(0, 25);
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += static_cast<char>('a' + pick(gen));
    return s;
}

std::string Trim(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

}  // namespace

namespace fwtest {

SshRig::SshRig()
{
    mReady = Start();
}

SshRig::~SshRig()
{
    StopSshd();
    if (!mPasswordUser.empty()) {
        // The session of the last login may still be ending: retry briefly.
        for (int i = 0; i < 20; ++i) {
            if (Run({"/usr/sbin/userdel", "-f", mPasswordUser}, "/dev/null") == 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (!mDir.empty())
        Run({"/bin/rm", "-rf", mDir}, "/dev/null");
}

bool SshRig::Start()
{
    if (::geteuid() != 0) {
        mWhy = "sshd logs users in only when it runs as root, and these tests do not";
        return false;
    }
    for (char const* program : {kSshd, kSsh, kSshKeygen}) {
        if (!Executable(program)) {
            mWhy = std::string(program) + " is missing (install openssh-server and openssh-client)";
            return false;
        }
    }
    passwd const* me = ::getpwuid(::geteuid());
    if (me == nullptr) {
        mWhy = "the running user has no passwd entry";
        return false;
    }
    mKeyUser = me->pw_name;

    char tmpl[] = "/tmp/fw-sshrig.XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) {
        mWhy = std::string("mkdtemp failed: ") + std::strerror(errno);
        return false;
    }
    mDir = tmpl;
    // Others (the password user's cvs server) must be able to reach folders
    // created below this one.
    ::chmod(mDir.c_str(), 0711);
    // sshd's privilege separation needs this folder; a system without a running
    // sshd service may not have it yet.
    ::mkdir("/run/sshd", 0755);

    std::string const log = mDir + "/setup.log";
    for (char const* key : {"host_key", "user_key"}) {
        if (Run({kSshKeygen, "-q", "-t", "ed25519", "-N", "", "-C", "fw-sshrig", "-f", mDir + "/" + key},
                log) != 0) {
            mWhy = "ssh-keygen failed: " + ReadText(log);
            return false;
        }
    }
    std::string userKey = Trim(ReadText(mDir + "/user_key.pub"));
    if (!WriteText(mDir + "/authorized_keys_" + mKeyUser, userKey + "\n", 0600)) {
        mWhy = "cannot write authorized_keys";
        return false;
    }

    std::string why;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (StartSshdOnce(why))
            break;
        if (attempt == 4) {
            mWhy = "sshd did not start: " + why;
            return false;
        }
    }

    std::string hostKey = Trim(ReadText(mDir + "/host_key.pub"));
    std::string knownHost = "[" + mHost + "]:" + std::to_string(mPort) + " " + hostKey + "\n";
    WriteText(mDir + "/known_hosts", knownHost, 0600);
    WriteText(mDir + "/known_hosts_empty", "", 0600);

    auto clientConfig = [&](std::string const& knownHosts) {
        // The port is also given here for command lines without one (rsh's).
        return "Host *\n"
               "  Port " + std::to_string(mPort) + "\n"
               "  UserKnownHostsFile " + knownHosts + "\n"
               "  GlobalKnownHostsFile /dev/null\n"
               "  StrictHostKeyChecking ask\n"
               "  UpdateHostKeys no\n"
               "  CheckHostIP no\n"
               "  IdentityFile " + mDir + "/user_key\n"
               "  IdentitiesOnly yes\n"
               "  PreferredAuthentications publickey,password\n"
               "  KbdInteractiveAuthentication no\n"
               "  ConnectTimeout 10\n"
               "  LogLevel ERROR\n";
    };
    auto program = [&](std::string const& name, std::string const& config) {
        std::string path = mDir + "/" + name;
        WriteText(path + ".config", config, 0644);
        WriteText(path, "#!/bin/sh\nexec " + std::string(kSsh) + " -F '" + path + ".config' \"$@\"\n", 0755);
        return path;
    };
    mSshProgram = program("ssh", clientConfig(mDir + "/known_hosts"));
    mSshProgramUnknownHost = program("ssh-unknown-host", clientConfig(mDir + "/known_hosts_empty"));
    return true;
}

bool SshRig::StartSshdOnce(std::string& why)
{
    mPort = FreeLoopbackPort();
    if (mPort == 0) {
        why = "no free loopback port";
        return false;
    }
    std::string config = "Port " + std::to_string(mPort) + "\n"
                         "ListenAddress " + mHost + "\n"
                         "HostKey " + mDir + "/host_key\n"
                         "PidFile " + mDir + "/sshd.pid\n"
                         "AuthorizedKeysFile " + mDir + "/authorized_keys_%u\n"
                         // The scratch folder lives in /tmp, which is world-writable.
                         "StrictModes no\n"
                         "PermitRootLogin yes\n"
                         "PubkeyAuthentication yes\n"
                         "PasswordAuthentication yes\n"
                         "KbdInteractiveAuthentication no\n"
                         "UsePAM no\n"
                         "UseDNS no\n"
                         "PrintMotd no\n"
                         "PrintLastLog no\n"
                         "MaxStartups 50\n"
                         "LogLevel INFO\n";
    std::string configPath = mDir + "/sshd_config";
    WriteText(configPath, config, 0600);
    std::string log = mDir + "/sshd.log";

    std::vector<std::string> args = {kSshd, "-D", "-e", "-f", configPath};
    std::vector<char*> argv;
    for (auto const& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) {
        why = std::string("cannot fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        // A process group of its own, and it goes when the test program goes,
        // even when that crashes before the destructor could stop it.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        int in = ::open("/dev/null", O_RDONLY);
        int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)
            ::_exit(1);
        ::execve(kSshd, argv.data(), environ);
        ::_exit(127);
    }
    mSshd = pid;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(mSshd, &status, WNOHANG) == mSshd) {
            mSshd = 0;
            why = ReadText(log);
            return false;
        }
        if (Accepts(mPort))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    StopSshd();
    why = "sshd did not accept connections within 10 s: " + ReadText(log);
    return false;
}

void SshRig::StopSshd()
{
    if (mSshd <= 0)
        return;
    ::kill(mSshd, SIGTERM);
    int status = 0;
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(mSshd, &status, WNOHANG) == mSshd) {
            mSshd = 0;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(mSshd, SIGKILL);
    ::waitpid(mSshd, &status, 0);
    mSshd = 0;
}

bool SshRig::AddPasswordUser()
{
    if (!mReady)
        return false;
    if (!mPasswordUser.empty())
        return true;
    // Users left behind by a rig that never reached its destructor (a crash):
    // their scratch folder is gone.
    std::vector<std::string> stale;
    ::setpwent();
    while (passwd const* pw = ::getpwent()) {
        std::string home = pw->pw_dir != nullptr ? pw->pw_dir : "";
        if (std::strncmp(pw->pw_name, "fwssh", 5) == 0 && home.rfind("/tmp/fw-sshrig.", 0) == 0 &&
            ::access(home.substr(0, home.rfind('/')).c_str(), F_OK) != 0)
            stale.push_back(pw->pw_name);
    }
    ::endpwent();
    for (auto const& user : stale)
        Run({"/usr/sbin/userdel", "-f", user}, "/dev/null");

    std::string name = "fwssh" + RandomLetters(8);
    std::string home = mDir + "/home-" + name;
    std::string log = mDir + "/setup.log";
    // Other test processes may be editing /etc/passwd at the same moment; the
    // tools then refuse to take the lock, so try again a few times.
    bool added = false;
    for (int i = 0; i < 30 && !added; ++i) {
        added = Run({"/usr/sbin/useradd", "-M", "-N", "-s", "/bin/sh", "-d", home, name}, log) == 0;
        if (!added)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!added) {
        mWhy = "useradd failed: " + ReadText(log);
        return false;
    }
    mPasswordUser = name;
    passwd const* pw = ::getpwnam(name.c_str());
    if (pw == nullptr) {
        mWhy = "the new user " + name + " has no passwd entry";
        return false;
    }
    mPasswordUid = pw->pw_uid;
    ::mkdir(home.c_str(), 0755);
    if (::chown(home.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        mWhy = "cannot hand the home folder to " + name;
        return false;
    }
    // Characters a shell's echo or a careless script would mangle.
    mPassword = "Pw " + RandomLetters(6) + " \\n$HOME'\"`*";
    std::string line = name + ":" + mPassword + "\n";
    bool set = false;
    for (int i = 0; i < 30 && !set; ++i) {
        set = Run({"/usr/sbin/chpasswd"}, log, line.c_str()) == 0;
        if (!set)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!set) {
        mWhy = "chpasswd failed: " + ReadText(log);
        return false;
    }
    return true;
}

std::string SshRig::SshdLog() const
{
    return mDir.empty() ? std::string() : ReadText(mDir + "/sshd.log");
}

}  // namespace fwtest
