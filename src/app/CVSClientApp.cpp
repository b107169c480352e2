#include "app/CVSClientApp.h"

#include <libsecret/secret.h>
#include <sys/utsname.h>

#include <fstream>
#include <new>

#include "BuildInfo.h"
#include "app/Commands.h"
#include "app/settings/Keychain.h"
#include "foundation/Log.h"
#include "operations/CVSTester.h"
#include "platform/MacRoman.h"
#include "platform/framework/Window.h"

CCVSClientApp* gAppP = nullptr;
CCommentator* gCommentatorP = nullptr;

namespace {
// Stands in for the build counter of a release build.
constexpr long kBuildNumber = 1;

std::string Uname(bool withMachine)
{
    struct utsname u {};
    if (uname(&u) != 0)
        return {};
    std::string s = std::string(u.sysname) + " " + u.release;
    if (withMachine)
        s += std::string(" ") + u.machine;
    return s;
}

std::string PrettyName(char const* file)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) != 0)
            continue;
        std::string v = line.substr(12);
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return v;
    }
    return {};
}
}  // namespace

CCVSClientApp::CCVSClientApp(std::string const& prefsPath)
    : mPrefs(prefsPath.empty() ? CPreferences::DefaultPath() : prefsPath)
{
    gAppP = this;
    SetRoot(this);
    // Whatever goes wrong while reading, start-up goes on with what was read.
    try {
        mPrefs.Startup();
    } catch (std::bad_alloc const&) {
        GAlert(3, "Error %ld reading Fennelwright preferences.", -108L);  // memFullErr
    } catch (std::exception const&) {
        GAlert(3, "Error %ld reading Fennelwright preferences.", -1L);
    }
    // Failed consistency checks are shown from now on.
    SetCheckAlerts(true);
    gCommentatorP = new CCommentator(mPrefs.LoadComment(), [this](std::optional<std::string> const& c) {
        mPrefs.SaveComment(c);
    });
    CCVSThreadBreaker::SetCommandStatusHook([] { CWindow::Changes().BroadcastMessage(kMsgWindowListChanged); });
}

CCVSClientApp::~CCVSClientApp()
{
    CCVSThreadBreaker::SetCommandStatusHook({});
    if (gCommentatorP) {
        gCommentatorP->AttachWindow(nullptr);
        delete gCommentatorP;
        gCommentatorP = nullptr;
    }
    if (gAppP == this)
        gAppP = nullptr;
}

void CCVSClientApp::NotAvailableYet(char const* what) const
{
    GAlert(kAlertNote, "%s is not available yet in this version of Fennelwright.", what);
}

void CCVSClientApp::FindCommandStatus(long command, SCommandStatus& status)
{
    CWindow const* active = CWindow::Active();
    long const base = BaseCommand(command);
    switch (base) {
    case kCmdAbout:
    case kCmdQuit:
    case kCmdOpen:
    case kCmdPreferences:
    case kCmdLogin:
    case kCmdExport:
    case kCmdCheckout:
    case kCmdImport:
    case kCmdListModules:
    case kCmdAboutText:
        status.enabled = true;
        return;
    case kCmdPageSetup:
        status.enabled = false;
        return;
    case kCmdConsole:
    case kCmdCommentWindow:
        status.enabled = true;
        status.usesMark = true;
        status.mark = active && active->Kind() == (base == kCmdConsole ? kWindowConsole : kWindowComment)
                          ? kMarkBullet
                          : kMarkNone;
        return;
    case kCmdSearchDirection:
        status.enabled = true;
        status.name = SearchDirection() ? "Search Backwards" : "Search Forwards";
        return;
    case kCmdStop:
        status.enabled = !HasNoThreads();
        return;
    case kCmdInspector:
        status.enabled = true;
        status.name = mFace && mFace->InspectorVisible() ? "Hide Inspector" : "Show Inspector";
        return;
    default:
        break;
    }
    if (command >= kCmdFirstWindow && command <= kCmdLastWindow) {
        CWindow* w = CWindow::WindowForCommand(command);
        status.enabled = w != nullptr;
        status.usesMark = true;
        status.mark = w && w == active ? kMarkBullet : kMarkNone;
        return;
    }
    CCommander::FindCommandStatus(command, status);
}

bool CCVSClientApp::ObeyCommand(long command, void* param)
{
    long const base = BaseCommand(command);
    switch (base) {
    case kCmdOpen:
        if (mFace)
            mFace->ChooseDocument();
        return true;
    case kCmdPreferences:
        if (mFace)
            mFace->DoPreferences();
        return true;
    case kCmdConsole:
        if (mFace)
            mFace->ShowConsole();
        return true;
    case kCmdLogin:
        PromptConnectionOrPassword(0, true, false);
        return true;
    case kCmdCommentWindow:
        if (mFace)
            mFace->ShowCommentWindow();
        return true;
    case kCmdSearchDirection:
        mPrefs.SearchDirection(!mPrefs.SearchDirection());
        return true;
    case kCmdStop:
        if (FW_CHECK(!HasNoThreads()))
            TellCVSOperationStatus(kAbort);
        return true;
    case kCmdInspector:
        if (mFace) {
            if (!mFace->InspectorVisible())
                NotAvailableYet("The inspector");
            mFace->ShowInspector(!mFace->InspectorVisible());
        }
        return true;
    case kCmdExport:
        NotAvailableYet("Export");
        return true;
    case kCmdCheckout:
        NotAvailableYet("Checkout");
        return true;
    case kCmdImport:
        NotAvailableYet("Import");
        return true;
    case kCmdListModules:
        ListModules();
        return true;
    case kCmdAbout:
        if (mFace)
            mFace->ShowAboutBox(0);
        return true;
    case kCmdAboutText:
        ShowCopyright(SPlatformFacts{});
        return true;
    default:
        break;
    }
    if (command >= kCmdFirstWindow && command <= kCmdLastWindow) {
        if (CWindow* w = CWindow::WindowForCommand(command))
            w->SelectWindow();
        else
            FW_FAIL("Window list and menu out of sync.");
        return true;
    }
    return CCommander::ObeyCommand(command, param);
}

void CCVSClientApp::CatchExceptionCode(long code)
{
    if (code == -3205)
        return;
    GLogPrintf(4, "Exception %ld caught in application.", code);
}

void CCVSClientApp::OpenDocument(std::string const& path)
{
    // Sandboxes are not opened by this version yet; say so plainly.
    std::string shown = path.size() > 180 ? "\xC9" + path.substr(path.size() - 180) : path;
    GAlert(kAlertNote, "Opening the sandbox \xD2%s\xD3 is not available yet in this version of Fennelwright.",
           shown.c_str());
}

bool CCVSClientApp::PromptConnectionOrPassword(unsigned short index, bool alwaysAsk, bool passwordOnly)
{
    CLoginProfileList& list = Profiles();
    if (ConnectionComplete(list, index) && !alwaysAsk)
        return true;
    if (mFace && mFace->LoginDialog(index, passwordOnly)) {
        // What was entered in the dialog is kept at once, not only when the
        // preferences dialog is confirmed later.
        SavePreferences();
    }
    return ConnectionComplete(list, index);
}

void CCVSClientApp::StartTester(CLoginProfile const& profile, unsigned short mode)
{
    auto* tester = new CCVSTester(nullptr, profile, this, mode);
    tester->Resume();
}

void CCVSClientApp::ListModules()
{
    unsigned short index = mPrefs.LastProfileIndex();
    if (!mFace || !mFace->ModuleListDialog(index))
        return;
    if (index >= Profiles().Count())
        index = 0;
    mPrefs.PutSetting(kSettingLastProfile, index);
    if (PromptConnectionOrPassword(index, false, true))
        StartTester(GetConnectionData(Profiles(), index), CCVSTester::kListModules);
}

std::string CCVSClientApp::Version(bool withBuild) const
{
    std::string v = std::string("Version ") + FW_VERSION_STRING + " " + Platform();
    if (withBuild)
        v += " (Build " + std::to_string(kBuildNumber) + ")";
    return v;
}

std::string CCVSClientApp::NetTechnology()
{
    std::string const kernel = Uname(false);
    return kernel.empty() ? std::string() : "POSIX sockets, " + kernel;
}

std::string CCVSClientApp::SystemVersion()
{
    std::string name = PrettyName("/etc/os-release");
    if (name.empty())
        name = PrettyName("/usr/lib/os-release");
    std::string const kernel = Uname(true);
    if (name.empty())
        return kernel;
    return kernel.empty() ? name : name + ", " + kernel;
}

std::string CCVSClientApp::KeychainVersion()
{
    return "libsecret " + std::to_string(SECRET_MAJOR_VERSION) + "." + std::to_string(SECRET_MINOR_VERSION) + "." +
           std::to_string(SECRET_MICRO_VERSION) + " (Secret Service)";
}

void CCVSClientApp::ShowCopyright(SPlatformFacts const& facts) const
{
    GLogCString(0, CString(""));
    GLogPrintf(0, "Fennelwright, a CVS client that keeps Mac files whole:");
    GLogPrintf(0, "data fork, resource fork, Finder type and creator.");
    GLogPrintf(0, "Free software; see the documentation for licence and credits.");
    GLogCString(0, CString(""));
    GLogPrintf(1, "Fennelwright %s", Version(true).c_str());
    std::string const net = facts.network.empty() ? NetTechnology() : facts.network;
    if (net.empty())
        GAlert(kAlertStop, "Can't read OpenTransport Version.");
    GLogPrintf(1, "Using %s", net.c_str());
    if (!facts.appearance.empty())
        GLogPrintf(1, "Using Appearance Manager %s", Utf8ToMacRoman(facts.appearance).c_str());
    else
        GLogPrintf(1, "Appearance Manager not found.");
    if (facts.keychain.has_value() ? *facts.keychain : HaveKeychain())
        GLogPrintf(1, "Using Keychain Manager %s", KeychainVersion().c_str());
    else
        GLogPrintf(1, "Keychain Manager not found.");
    GLogPrintf(1, "System supports long file names.");
    GLogPrintf(1, "Text Encoding Conversion Manager%s found.", "");
    std::string const sys = Utf8ToMacRoman(facts.system.empty() ? SystemVersion() : facts.system);
    if (!sys.empty())
        GLogPrintf(1, "System %s", sys.c_str());
    GLogCString(0, CString(""));
}
