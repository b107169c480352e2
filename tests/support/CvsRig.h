#pragma once
// The real-server rig for tests: a scratch CVS repository in a fresh mktemp -d
// folder, served by "cvs pserver" on a loopback port the rig binds itself
// (one server per connection, inetd style) and reachable directly for the
// local method ("cvs server" with the repository path as root).
//
// The work is done by tools/cvsrig.sh, which is also the entry point for
// humans and scripts. The listener watches this process and ends by itself
// if the test program dies without tearing the rig down.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fwtest {

struct RigAccount {
    std::string name;
    std::string password;  // empty: the account takes any password
};

class CvsRig {
public:
    // Creates the repository and starts the password server. Check Ok().
    CvsRig();
    // Stops the listener and every server it started, removes the folder.
    ~CvsRig();
    CvsRig(CvsRig const&) = delete;
    CvsRig& operator=(CvsRig const&) = delete;

    bool Ok() const { return mOk; }
    std::string const& Error() const { return mError; }

    std::string const& Dir() const { return mDir; }    // scratch folder
    std::string const& Repo() const { return mRepo; }  // repository root
    std::string Host() const { return "127.0.0.1"; }
    unsigned short Port() const { return mPort; }
    // The system user the password server runs as.
    std::string const& SystemUser() const { return mSysUser; }

    // Accounts of CVSROOT/passwd: "alice" (a plain password), "odd" (a
    // password made of every kind of punctuation and a space) and "anyone"
    // (any password).
    std::vector<RigAccount> const& Accounts() const { return mAccounts; }
    RigAccount const& Account(std::string_view name) const;

    // Adds an account to CVSROOT/passwd (mapped to SystemUser()); an empty
    // password lets it in with any password.
    bool AddAccount(std::string const& name, std::string const& password);

    // ":pserver:user@127.0.0.1:port/repo".
    std::string PserverRoot(std::string_view user) const;

    // Imports the folder src as module (vendor tag "fw", release tag "start").
    bool ImportTree(std::string const& module, std::string const& src);
    // Writes the files (path relative to the module, contents) into a fresh
    // folder and imports them as module.
    bool AddModule(std::string const& module,
                   std::vector<std::pair<std::string, std::string>> const& files);

    // Runs the cvs command line program on the repository (local access) in
    // cwd (default: the scratch folder). Returns the exit status; output gets
    // standard output and standard error.
    int Cvs(std::vector<std::string> const& args, std::string const& cwd = {},
            std::string* output = nullptr) const;
    // The bytes of a file at the head of the trunk ("module/path").
    std::string HeadContents(std::string const& path) const;

    // A new empty folder below the scratch folder.
    std::string NewFolder(std::string_view hint);

    // "NAME=value" entries to add to the environment of a local "cvs server"
    // (or any cvs run) on this repository, so that what it adds stays usable
    // for the password server's system user.
    static std::vector<std::string> ServerEnvironment();

    // A rig shared by all tests of the program, started on first use and torn
    // down at exit.
    static CvsRig& Shared();

private:
    bool mOk = false;
    std::string mError;
    std::string mDir;
    std::string mRepo;
    std::string mSysUser;
    unsigned short mPort = 0;
    std::vector<RigAccount> mAccounts;
    unsigned mFolders = 0;
};

// Runs argv[0] (looked up in PATH when it has no slash) with argv, in cwd when
// given, with extra "NAME=value" entries added to the environment. Standard
// input is /dev/null; standard output and error go to *output when given.
// Returns the exit status, 128 + the signal for a killed program, or -1 when
// it could not be started.
int RunProgram(std::vector<std::string> const& argv, std::string const& cwd = {},
               std::string* output = nullptr, std::vector<std::string> const& extraEnv = {});

// A new folder from mktemp -d ("" on failure).
std::string MakeTempDir();
// Removes a folder and everything in it (symbolic links are not followed).
bool RemoveTree(std::string const& path);
// Writes a file, creating the folders on the way.
bool WriteFile(std::string const& path, std::string_view bytes);
// The bytes of a file ("" when it cannot be read).
std::string ReadFile(std::string const& path);

}  // namespace fwtest
