#include "CvsRig.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

extern char** environ;

namespace fwtest {

namespace {

std::string RigScript()
{
    return std::string(FW_TOOLS_DIR) + "/cvsrig.sh";
}

// CVSUMASK=000 when we are root: the password server runs as another user and
// must be able to write what our own cvs runs add to the repository.
std::vector<std::string> CvsEnv()
{
    if (geteuid() == 0)
        return {"CVSUMASK=000"};
    return {};
}

}  // namespace

int RunProgram(std::vector<std::string> const& argv, std::string const& cwd, std::string* output,
               std::vector<std::string> const& extraEnv)
{
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (auto const& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        bool replaced = false;
        for (auto const& x : extraEnv) {
            auto eq = x.find('=');
            if (entry.compare(0, eq + 1, x, 0, eq + 1) == 0)
                replaced = true;
        }
        if (!replaced)
            envStore.push_back(std::move(entry));
    }
    for (auto const& x : extraEnv)
        envStore.push_back(x);
    std::vector<char*> envp;
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        if (output != nullptr)
            *output = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
        return -1;
    }
    std::string text;
    char buf[8192];
    for (;;) {
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n > 0)
            text.append(buf, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output != nullptr)
        *output = std::move(text);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::string MakeTempDir()
{
    std::string out;
    if (RunProgram({"mktemp", "-d"}, {}, &out) != 0)
        return {};
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

bool RemoveTree(std::string const& path)
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return !ec;
}

bool WriteFile(std::string const& path, std::string_view bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

std::string ReadFile(std::string const& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

CvsRig::CvsRig()
{
    std::string dir = MakeTempDir();
    if (dir.empty()) {
        mError = "mktemp -d failed";
        return;
    }
    mDir = dir;
    std::string out;
    int rc = RunProgram({"bash", RigScript(), "start", mDir, "--owner-pid", std::to_string(getpid())},
                        {}, &out);
    if (rc != 0) {
        mError = "cvsrig.sh start failed: " + out;
        return;
    }
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "RIG_REPO")
            mRepo = value;
        else if (key == "RIG_PORT")
            mPort = static_cast<unsigned short>(std::atoi(value.c_str()));
        else if (key == "RIG_SYSUSER")
            mSysUser = value;
    }
    std::istringstream accounts(ReadFile(mDir + "/rig.accounts"));
    while (std::getline(accounts, line)) {
        auto colon = line.find(':');
        if (colon != std::string::npos)
            mAccounts.push_back({line.substr(0, colon), line.substr(colon + 1)});
    }
    if (mRepo.empty() || mPort == 0 || mAccounts.empty()) {
        mError = "cvsrig.sh start said: " + out;
        return;
    }
    mOk = true;
}

CvsRig::~CvsRig()
{
    if (!mDir.empty())
        RunProgram({"bash", RigScript(), "clean", mDir});
    if (!mDir.empty())
        RemoveTree(mDir);  // our own mktemp folder, also when the start failed half-way
}

RigAccount const& CvsRig::Account(std::string_view name) const
{
    for (auto const& a : mAccounts)
        if (a.name == name)
            return a;
    static RigAccount const none;
    return none;
}

bool CvsRig::AddAccount(std::string const& name, std::string const& password)
{
    std::string hash;
    if (!password.empty()) {
        // The password travels in the environment, so any byte but NUL works.
        int rc = RunProgram({"perl", "-e",
                             "print crypt($ENV{RIG_PW}, q($6$) . join(q(), map { (q(a)..q(z))[rand 26] } 1..12) . q($))"},
                            {}, &hash, {"RIG_PW=" + password});
        if (rc != 0 || hash.rfind("$6$", 0) != 0) {
            mError = "cannot hash a password: " + hash;
            return false;
        }
    }
    std::ofstream f(mRepo + "/CVSROOT/passwd", std::ios::binary | std::ios::app);
    f << name << ':' << hash << ':' << mSysUser << '\n';
    if (!f)
        return false;
    mAccounts.push_back({name, password});
    return true;
}

std::string CvsRig::PserverRoot(std::string_view user) const
{
    return ":pserver:" + std::string(user) + "@" + Host() + ":" + std::to_string(mPort) + mRepo;
}

bool CvsRig::ImportTree(std::string const& module, std::string const& src)
{
    std::string out;
    int rc = RunProgram({"bash", RigScript(), "import", mDir, module, src}, {}, &out);
    if (rc != 0)
        mError = "import of " + module + " failed: " + out;
    return rc == 0;
}

bool CvsRig::AddModule(std::string const& module,
                       std::vector<std::pair<std::string, std::string>> const& files)
{
    std::string src = NewFolder("import-" + module);
    for (auto const& [path, bytes] : files)
        if (!WriteFile(src + "/" + path, bytes))
            return false;
    bool ok = ImportTree(module, src);
    RemoveTree(src);
    return ok;
}

int CvsRig::Cvs(std::vector<std::string> const& args, std::string const& cwd, std::string* output) const
{
    std::vector<std::string> argv{"cvs", "-f", "-d", mRepo};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, cwd.empty() ? mDir : cwd, output, CvsEnv());
}

std::string CvsRig::HeadContents(std::string const& path) const
{
    std::string out;
    std::vector<std::string> argv{"cvs", "-f", "-Q", "-d", mRepo, "checkout", "-p", path};
    // Standard error is merged into the output, so use a quiet run and check
    // the status: -Q keeps cvs from writing anything but the file.
    if (RunProgram(argv, mDir, &out, CvsEnv()) != 0)
        return {};
    return out;
}

std::string CvsRig::NewFolder(std::string_view hint)
{
    std::string path = mDir + "/work/" + std::string(hint) + "-" + std::to_string(++mFolders);
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return path;
}

std::vector<std::string> CvsRig::ServerEnvironment()
{
    return CvsEnv();
}

CvsRig& CvsRig::Shared()
{
    static std::unique_ptr<CvsRig> rig(new CvsRig);
    return *rig;
}

}  // namespace fwtest
