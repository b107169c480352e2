// Listing the modules of a repository with 2,000 modules through the password
// server: the module listing operation (a client thread, its log output and
// statistics line included) versus the cvs command-line client's
// "cvs -d :pserver:... checkout -c" against the same server, side by side in
// one run. Prints the ratio of the medians (ours / cvs); the target is 1.0 or
// below.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CvsRig.h"
#include "app/settings/LoginProfile.h"
#include "engine/CVSThreadBreaker.h"
#include "foundation/Log.h"
#include "operations/CVSTester.h"
#include "platform/MainLoop.h"
#include "transport/Scramble.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kModules = 2000;
constexpr int kRounds = 9;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool WriteModules(fwtest::CvsRig& rig)
{
    std::string work = rig.NewFolder("modules");
    std::string out;
    if (rig.Cvs({"checkout", "CVSROOT/modules"}, work, &out) != 0) {
        std::fprintf(stderr, "checkout of CVSROOT/modules failed: %s\n", out.c_str());
        return false;
    }
    std::string text;
    for (int i = 0; i < kModules; ++i) {
        text += "module" + std::to_string(i) + " mod/sub" + std::to_string(i % 50);
        text += (i % 3 == 0) ? " -a alias" + std::to_string(i) + "\n" : "\n";
    }
    fwtest::WriteFile(work + "/CVSROOT/modules", text);
    if (rig.Cvs({"commit", "-m", "modules", "CVSROOT/modules"}, work, &out) != 0) {
        std::fprintf(stderr, "commit of CVSROOT/modules failed: %s\n", out.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main()
{
    fwtest::CvsRig rig;
    if (!rig.Ok()) {
        std::fprintf(stderr, "module_listing: no rig: %s\n", rig.Error().c_str());
        return 1;
    }
    if (!WriteModules(rig))
        return 1;
    fwtest::RigAccount const& alice = rig.Account("alice");

    // The cvs client reads its password from a password file.
    std::string passFile = rig.NewFolder("cvspass") + "/cvspass";
    std::string root = rig.PserverRoot("alice");
    char* scrambled = scramble(alice.password.c_str());
    fwtest::WriteFile(passFile, "/1 " + root + " " + scrambled + "\n");
    delete[] scrambled;
    std::string home = rig.NewFolder("home");
    std::vector<std::string> env = {"CVS_PASSFILE=" + passFile, "HOME=" + home};

    CLoginProfile profile;
    profile.SetDescription("bench");
    profile.SetLoginMethod(kLoginPserver);
    profile.SetHost(rig.Host().c_str());
    profile.SetUseDefaultPort(false);
    profile.SetPort(rig.Port());
    profile.SetRoot(rig.Repo().c_str());
    profile.SetUser("alice");
    profile.SetPassword(alice.password.c_str());

    CHeadlessMainLoop loop;
    CScriptedAlertSink alerts;
    StAlertSink alertScope(&alerts);
    CCVSThreadBreaker breaker;

    std::vector<double> ours, theirs;
    unsigned long ourLines = 0;
    size_t theirLines = 0;
    for (int round = 0; round < kRounds; ++round) {
        {
            CConsole console;
            gConsoleP = &console;
            auto start = Clock::now();
            auto* t = new CCVSTester(nullptr, profile, &breaker, CCVSTester::kListModules);
            t->Resume();
            if (!loop.RunUntil([&] { return breaker.HasNoThreads(); }, std::chrono::seconds(120))) {
                std::fprintf(stderr, "module_listing: the listing did not end\n");
                return 1;
            }
            ours.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            ourLines = 0;
            for (unsigned long i = 0; i < console.Count(); ++i)
                if (console.EntryText(i).compare(0, 6, "module") == 0)
                    ++ourLines;
            gConsoleP = nullptr;
        }
        {
            std::string out;
            auto start = Clock::now();
            int rc = fwtest::RunProgram({"cvs", "-f", "-d", root, "checkout", "-c"}, home, &out, env);
            theirs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            if (rc != 0) {
                std::fprintf(stderr, "module_listing: cvs failed (%d): %s\n", rc, out.substr(0, 500).c_str());
                return 1;
            }
            theirLines = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
        }
    }
    // The log keeps its last 2000 entries, so it may hold a few lines fewer
    // than the listing; both sides must have seen the whole listing.
    if (ourLines + 10 < kModules || theirLines < kModules) {
        std::fprintf(stderr, "module_listing: incomplete listing (ours %lu lines, cvs %zu lines)\n", ourLines,
                     theirLines);
        return 1;
    }
    double a = Median(ours), b = Median(theirs);
    std::printf("module_listing: %d modules, median of %d rounds: ours %.1f ms, cvs checkout -c %.1f ms\n", kModules,
                kRounds, a * 1000, b * 1000);
    std::printf("module_listing: ratio ours/cvs = %.2f (target <= 1.0)\n", a / b);
    return 0;
}
