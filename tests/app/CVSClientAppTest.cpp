#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BuildInfo.h"
#include "app/CVSClientApp.h"
#include "app/Commands.h"
#include "foundation/Log.h"
#include "platform/framework/Window.h"

namespace {

// Records what the application asked of the windows.
class FakeFace : public CAppFace {
public:
    void ShowConsole() override { calls.push_back("console"); }
    void ShowCommentWindow() override { calls.push_back("comment"); }
    void ChooseDocument() override { calls.push_back("open"); }
    void DoPreferences() override { calls.push_back("prefs"); }
    bool LoginDialog(unsigned short index, bool passwordOnly) override
    {
        calls.push_back("login " + std::to_string(index) + (passwordOnly ? " password" : " full"));
        if (!loginAnswer)
            return false;
        // The dialog's edit: a new description for the shown profile.
        CLoginProfile* p = gAppP->Profiles()[index];
        p->SetDescription("Edited in the dialog");
        return true;
    }
    bool ModuleListDialog(unsigned short& index) override
    {
        calls.push_back("modules " + std::to_string(index));
        return false;
    }
    void ShowAboutBox(unsigned short ticks) override { calls.push_back("about " + std::to_string(ticks)); }
    bool InspectorVisible() const override { return inspector; }
    void ShowInspector(bool show) override { inspector = show; }
    std::vector<std::string> calls;
    bool loginAnswer = true;
    bool inspector = false;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/fw-app-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        mDir = tmpl;
        mOldConsole = gConsoleP;
        gConsoleP = &mConsole;
        mApp = std::make_unique<CCVSClientApp>(mDir + "/Fennelwright");
        mApp->SetFace(&mFace);
    }
    void TearDown() override
    {
        mApp.reset();
        SetCheckAlerts(false);
        gConsoleP = mOldConsole;
        std::filesystem::remove_all(mDir);
    }
    SCommandStatus Status(long cmd) { return CCommander::ProcessCommandStatus(cmd); }
    std::vector<std::string> Log() const
    {
        std::vector<std::string> out;
        for (unsigned long i = 0; i < mConsole.Count(); ++i)
            out.push_back(mConsole.EntryText(i));
        return out;
    }

    std::string mDir;
    CConsole mConsole;
    CConsole* mOldConsole = nullptr;
    CScriptedAlertSink mAlerts{1};
    StAlertSink mAlertScope{&mAlerts};
    FakeFace mFace;
    std::unique_ptr<CCVSClientApp> mApp;
};

}  // namespace

TEST_F(AppTest, CommandEnablingMarksAndTexts)
{
    struct {
        long command;
        bool enabled;
    } const cases[] = {
        {kCmdOpen, true},     {kCmdPageSetup, false},  {kCmdPreferences, true}, {kCmdConsole, true},
        {kCmdLogin, true},    {kCmdCommentWindow, true}, {kCmdSearchDirection, true}, {kCmdStop, false},
        {kCmdInspector, true}, {kCmdExport, true},     {kCmdCheckout, true},     {kCmdImport, true},
        {kCmdListModules, true}, {kCmdAboutText, true}, {kCmdUpdate, false},     {kCmdUpdate + 100, false},
        {kCmdFirstWindow, false},
    };
    for (auto const& c : cases)
        EXPECT_EQ(Status(c.command).enabled, c.enabled) << c.command;

    // Stop is enabled exactly while an operation without a sandbox runs.
    mApp->WaitForThread();
    EXPECT_TRUE(Status(kCmdStop).enabled);
    EXPECT_TRUE(CCommander::ProcessCommand(kCmdStop));
    EXPECT_EQ(mApp->CVSOperationStatus(), CCVSThreadBreaker::kAbort);
    mApp->ThreadFinished();
    EXPECT_FALSE(Status(kCmdStop).enabled);

    // Bullets follow the active window; window commands follow the list.
    CWindow console(kWindowConsole, mApp.get());
    CWindow sandbox(kWindowSandbox, mApp.get());
    EXPECT_EQ(Status(kCmdConsole).mark, kMarkNone);
    console.Activated();
    EXPECT_EQ(Status(kCmdConsole).mark, kMarkBullet);
    EXPECT_EQ(Status(kCmdCommentWindow).mark, kMarkNone);
    EXPECT_TRUE(Status(kCmdFirstWindow).enabled);
    EXPECT_EQ(Status(kCmdFirstWindow).mark, kMarkNone);
    sandbox.Activated();
    EXPECT_EQ(Status(kCmdFirstWindow).mark, kMarkBullet);
    EXPECT_FALSE(Status(kCmdFirstWindow + 1).enabled);
    console.Deactivated();
}

TEST_F(AppTest, ToggledTextsAndCommandsReachTheWindows)
{
    EXPECT_EQ(Status(kCmdSearchDirection).name, "Search Backwards");
    CCommander::ProcessCommand(kCmdSearchDirection);
    EXPECT_EQ(Status(kCmdSearchDirection).name, "Search Forwards");
    EXPECT_FALSE(mApp->SearchDirection());
    CCommander::ProcessCommand(kCmdSearchDirection);
    EXPECT_EQ(Status(kCmdSearchDirection).name, "Search Backwards");

    EXPECT_EQ(Status(kCmdInspector).name, "Show Inspector");
    CCommander::ProcessCommand(kCmdInspector);
    EXPECT_EQ(Status(kCmdInspector).name, "Hide Inspector");

    for (long cmd : {kCmdOpen, kCmdPreferences, kCmdConsole, kCmdCommentWindow, kCmdListModules})
        CCommander::ProcessCommand(cmd);
    EXPECT_EQ(mFace.calls, (std::vector<std::string>{"open", "prefs", "console", "comment", "modules 0"}));

    // Commands without their operation yet say so plainly instead of doing nothing.
    mAlerts.Forget();
    CCommander::ProcessCommand(kCmdCheckout);
    mApp->OpenDocument("/home/someone/work");
    ASSERT_EQ(mAlerts.Shown().size(), 2u);
    EXPECT_NE(mAlerts.Shown()[0].second.find("not available yet"), std::string::npos);
    EXPECT_NE(mAlerts.Shown()[1].second.find("\xD2/home/someone/work\xD3"), std::string::npos);
}

TEST_F(AppTest, LoginDialogKeepsWhatWasEnteredAcrossARestart)
{
    ASSERT_GT(mApp->Profiles().Count(), 0);
    CCommander::ProcessCommand(kCmdLogin);
    ASSERT_EQ(mFace.calls, std::vector<std::string>{"login 0 full"});
    mApp.reset();
    CCVSClientApp again(mDir + "/Fennelwright");
    EXPECT_NE(FindProfileByDescription(again.Profiles(), "Edited in the dialog"), kNoProfile);
}

TEST_F(AppTest, PasswordPromptOnlyWhenIncomplete)
{
    CLoginProfile* p = mApp->Profiles()[0];
    p->SetHost("cvs.example.org");
    p->SetUser("anon");
    p->SetRoot("/cvsroot");
    p->SetPasswordMode(kPasswordAsk);
    p->SetPassword("");
    mFace.loginAnswer = false;
    EXPECT_FALSE(mApp->PromptConnectionOrPassword(0, false, true));
    EXPECT_EQ(mFace.calls, std::vector<std::string>{"login 0 password"});
    p->SetPassword("pw");
    mFace.calls.clear();
    EXPECT_TRUE(mApp->PromptConnectionOrPassword(0, false, true));
    EXPECT_TRUE(mFace.calls.empty());
}

TEST_F(AppTest, StartupReportAndExceptions)
{
    SPlatformFacts facts;
    facts.appearance = "Qt 6.4.2 (offscreen, Fusion)";
    facts.keychain = false;
    facts.system = "Testix 1";
    mApp->ShowCopyright(facts);
    auto log = Log();
    auto has = [&](std::string const& s) { return std::find(log.begin(), log.end(), s) != log.end(); };
    EXPECT_TRUE(has("Fennelwright " + mApp->Version(true)));
    EXPECT_EQ(mApp->Version(false), std::string("Version ") + FW_VERSION_STRING + " Linux");
    EXPECT_TRUE(has("Using Appearance Manager Qt 6.4.2 (offscreen, Fusion)"));
    EXPECT_TRUE(has("Keychain Manager not found."));
    facts.keychain = true;
    mApp->ShowCopyright(facts);
    log = Log();
    EXPECT_TRUE(has("Using Keychain Manager " + CCVSClientApp::KeychainVersion()));
    EXPECT_TRUE(has("System supports long file names."));
    EXPECT_TRUE(has("Text Encoding Conversion Manager found."));
    EXPECT_TRUE(has("System Testix 1"));
    EXPECT_TRUE(log.front().empty() && log.back().empty());
    EXPECT_EQ(CCVSClientApp::NetTechnology().rfind("POSIX sockets, Linux ", 0), 0u);
    EXPECT_FALSE(CCVSClientApp::SystemVersion().empty());

    mAlerts.Forget();
    size_t const before = Log().size();
    mApp->CatchExceptionCode(-3205);
    EXPECT_EQ(Log().size(), before);
    mApp->CatchExceptionCode(-43);
    EXPECT_EQ(Log().back(), "Exception -43 caught in application.");
    ASSERT_EQ(mAlerts.Shown().size(), 1u);  // level 4 is also a stop alert
    EXPECT_EQ(mAlerts.Shown()[0].first, kAlertStop);
}

TEST_F(AppTest, TyperLookupsFallBackToTextFiles)
{
    mApp->Typers().Clear();
    EXPECT_EQ(mApp->ExportFileType("readme"), 0x54455854u);  // 'TEXT'
    EXPECT_EQ(mApp->ExportFileCreator("readme"), 0x43574945u);  // 'CWIE'
    EXPECT_EQ(mApp->ExportLineStyle("readme"), 0);
}

TEST(MenuTable, EveryCommandOnceAndOptionVariantsBesideTheirBase)
{
    std::vector<long> seen;
    for (auto const& menu : MenuTable())
        for (size_t i = 0; i < menu.items.size(); ++i) {
            long const cmd = menu.items[i].command;
            if (cmd == kCmdNothing)
                continue;
            EXPECT_EQ(std::count(seen.begin(), seen.end(), cmd), 0) << cmd;
            seen.push_back(cmd);
            if (cmd >= 1101 && cmd <= 1199) {
                ASSERT_GT(i, 0u);
                EXPECT_EQ(menu.items[i - 1].command, cmd - 100);
                std::string const sc = menu.items[i].shortcut ? menu.items[i].shortcut : "";
                std::string const base = menu.items[i - 1].shortcut ? menu.items[i - 1].shortcut : "";
                if (!base.empty()) {
                    EXPECT_EQ(sc, "Ctrl+Shift+" + base.substr(5)) << cmd;
                }
            }
        }
}
