#pragma once
// What a test of a client thread needs around it: the main loop, the log, an
// alert recorder and the breaker; profiles for the real-server rig; scripted
// servers for the misbehaving peers a real cvs cannot play.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "CvsRig.h"
#include "app/settings/LoginProfile.h"
#include "engine/CVSThreadBreaker.h"
#include "foundation/Log.h"
#include "platform/MainLoop.h"

namespace fwtest {

class ThreadScene {
public:
    ThreadScene() : mAlerts(1), mAlertScope(&mAlerts)
    {
        mOldConsole = gConsoleP;
        gConsoleP = &mConsole;
    }
    ~ThreadScene() { gConsoleP = mOldConsole; }

    // Runs the main loop until every thread of the breaker has ended (and
    // been destroyed). False when that took longer than `limit`.
    bool RunToEnd(std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        return mLoop.RunUntil([this] { return mBreaker.HasNoThreads(); }, limit);
    }

    // Every log entry at `minLevel` or above.
    std::vector<std::string> Entries(short minLevel = 0) const
    {
        std::vector<std::string> out;
        for (unsigned long i = 0; i < mConsole.Count(); ++i) {
            short level = 0;
            mConsole.AskEntry(i, &level);
            if (level >= minLevel)
                out.push_back(mConsole.EntryText(i));
        }
        return out;
    }
    // How many entries are exactly `text` (at `level`, or at any level for -1).
    int Count(std::string const& text, short level = -1) const
    {
        int n = 0;
        for (unsigned long i = 0; i < mConsole.Count(); ++i) {
            short l = 0;
            mConsole.AskEntry(i, &l);
            if (mConsole.EntryText(i) == text && (level < 0 || l == level))
                ++n;
        }
        return n;
    }
    bool Logged(std::string const& text, short level = -1) const { return Count(text, level) > 0; }
    // Whether any entry begins with `prefix`.
    bool LoggedPrefix(std::string const& prefix) const
    {
        for (auto const& e : Entries())
            if (e.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }
    // Whether `needle` occurs anywhere in the log or its status line.
    bool Contains(std::string const& needle) const
    {
        for (auto const& e : Entries())
            if (e.find(needle) != std::string::npos)
                return true;
        unsigned char const* s = mConsole.Status();
        return std::string(reinterpret_cast<char const*>(s + 1), s[0]).find(needle) != std::string::npos;
    }
    // The log for failure messages.
    std::string Dump() const
    {
        std::string out;
        for (unsigned long i = 0; i < mConsole.Count(); ++i) {
            short l = 0;
            mConsole.AskEntry(i, &l);
            out += std::to_string(l) + " " + mConsole.EntryText(i) + "\n";
        }
        return out;
    }

    CHeadlessMainLoop mLoop;  // first: the test's thread becomes the main thread
    CConsole mConsole;
    CScriptedAlertSink mAlerts;
    StAlertSink mAlertScope;
    CCVSThreadBreaker mBreaker;

private:
    CConsole* mOldConsole = nullptr;
};

// "“text”" in the log's Mac Roman.
inline std::string Quoted(std::string const& text)
{
    return "\xD2" + text + "\xD3";
}

inline CLoginProfile PserverProfile(CvsRig const& rig, std::string const& user, std::string const& password)
{
    CLoginProfile p;
    p.SetDescription("rig");
    p.SetLoginMethod(kLoginPserver);
    p.SetHost(rig.Host().c_str());
    p.SetUseDefaultPort(false);
    p.SetPort(rig.Port());
    p.SetRoot(rig.Repo().c_str());
    p.SetUser(user.c_str());
    p.SetPasswordMode(kPasswordPrefs);
    p.SetPassword(password.c_str());
    p.SetTimeOut(20);
    return p;
}

// The local method; `command` replaces the cvs program when given.
inline CLoginProfile LocalProfile(std::string const& root, std::string const& command = {})
{
    CLoginProfile p;
    p.SetDescription("local");
    p.SetLoginMethod(kLoginLocal);
    p.SetRoot(root.c_str());
    p.SetPasswordMode(kPasswordNone);
    p.SetTimeOut(20);
    if (!command.empty()) {
        p.SetUseDefaultCVSCommand(false);
        p.SetCVSCommand(command.c_str());
    }
    return p;
}

// Writes an executable shell script and returns its path.
inline std::string WriteScript(std::string const& dir, std::string const& name, std::string const& body)
{
    std::string path = dir + "/" + name;
    WriteFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
}

// Replaces CVSROOT/modules of the rig's repository.
inline bool SetModules(CvsRig& rig, std::string const& text)
{
    std::string work = rig.NewFolder("modules");
    std::string out;
    if (rig.Cvs({"checkout", "CVSROOT/modules"}, work, &out) != 0) {
        ADD_FAILURE() << out;
        return false;
    }
    WriteFile(work + "/CVSROOT/modules", text);
    if (rig.Cvs({"commit", "-m", "modules", "CVSROOT/modules"}, work, &out) != 0) {
        ADD_FAILURE() << out;
        return false;
    }
    return true;
}

// The shared rig with a module that is an alias and one that names a
// subfolder, set up once per test program.
inline CvsRig& RigWithModules()
{
    static bool done = false;
    CvsRig& rig = CvsRig::Shared();
    if (!done && rig.Ok()) {
        SetModules(rig, "mymod -a mod\nsubonly mod/sub\n");
        done = true;
    }
    return rig;
}

// A server that plays the handshake, reads the requests up to the command (the
// first line without a space) and then runs `after` (shell commands printing
// responses), for the peers a real cvs cannot play.
inline std::string ScriptedServer(std::string const& dir, std::string const& name, std::string const& after)
{
    return WriteScript(dir, name,
                       "read a; read b\n"
                       "echo 'Valid-requests Root Valid-responses valid-requests Argument co noop'\n"
                       "echo ok\n"
                       "while read l; do case \"$l\" in *' '*) ;; *) break;; esac; done\n" +
                           after);
}

}  // namespace fwtest
