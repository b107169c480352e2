#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/Broadcaster.h"
#include "platform/framework/Commander.h"
#include "platform/framework/Window.h"

namespace {

// Handles one command with a fixed status and records what it obeyed.
class Handler : public CCommander {
public:
    Handler(CCommander* super, long cmd, bool enabled) : CCommander(super), mCmd(cmd), mEnabled(enabled) {}
    bool ObeyCommand(long command, void* param) override
    {
        if (BaseCommand(command) == mCmd) {
            mObeyed.push_back(command);
            return true;
        }
        return CCommander::ObeyCommand(command, param);
    }
    void FindCommandStatus(long command, SCommandStatus& status) override
    {
        if (BaseCommand(command) == mCmd)
            status.enabled = mEnabled;
        else
            CCommander::FindCommandStatus(command, status);
    }
    long mCmd;
    bool mEnabled;
    std::vector<long> mObeyed;
};

struct RootScope {
    explicit RootScope(CCommander* root) { CCommander::SetRoot(root); }
    ~RootScope()
    {
        CCommander::SetRoot(nullptr);
        CCommander::SetTarget(nullptr);
    }
};

}  // namespace

TEST(Commander, TargetChainStatusAndDispatch)
{
    Handler app(nullptr, 27, true);
    Handler window(&app, 1003, false);
    RootScope scope(&app);

    struct {
        CCommander* target;
        long command;
        bool enabled;
    } const cases[] = {
        {nullptr, 27, true},     // no target: the root answers
        {&window, 27, true},     // passed up from the window
        {&window, 1003, false},  // the window's own answer wins
        {&window, 1103, false},  // option variant asks the same handler
        {&app, 1003, false},     // unknown at the root: disabled
        {&window, 4242, false},
    };
    for (auto const& c : cases) {
        CCommander::SetTarget(c.target);
        EXPECT_EQ(CCommander::ProcessCommandStatus(c.command).enabled, c.enabled) << c.command;
    }

    // Disabled commands are not carried out even when they arrive by shortcut.
    CCommander::SetTarget(&window);
    EXPECT_FALSE(CCommander::ProcessCommand(1003));
    EXPECT_TRUE(window.mObeyed.empty());
    window.mEnabled = true;
    EXPECT_TRUE(CCommander::ProcessCommand(1103));
    EXPECT_EQ(window.mObeyed, std::vector<long>{1103});
    EXPECT_TRUE(CCommander::ProcessCommand(27));
    EXPECT_EQ(app.mObeyed, std::vector<long>{27});
}

TEST(Commander, OptionVariantsAndLifetime)
{
    bool option = false;
    EXPECT_EQ(CCommander::BaseCommand(1101, &option), 1001);
    EXPECT_TRUE(option);
    EXPECT_EQ(CCommander::BaseCommand(1199, &option), 1099);
    EXPECT_EQ(CCommander::BaseCommand(1100, &option), 1100);
    EXPECT_FALSE(option);
    EXPECT_EQ(CCommander::BaseCommand(1200, &option), 1200);

    Handler app(nullptr, 27, true);
    RootScope scope(&app);
    {
        auto* doomed = new Handler(&app, 5, true);
        CCommander::SetTarget(doomed);
        Handler child(doomed, 6, true);
        delete doomed;  // the target and the child's link go with it
        EXPECT_EQ(CCommander::GetTarget(), &app);
        EXPECT_EQ(child.GetSuperCommander(), nullptr);
    }
    // No cycles.
    Handler a(nullptr, 1, true), b(&a, 2, true);
    a.SetSuperCommander(&b);
    EXPECT_EQ(a.GetSuperCommander(), nullptr);
}

namespace {
struct Recorder : CListener {
    void ListenToMessage(long message, void*) override
    {
        heard.push_back(message);
        if (onHear)
            onHear();
    }
    std::vector<long> heard;
    std::function<void()> onHear;
};
}  // namespace

TEST(Broadcaster, EitherSideMayGoFirstEvenDuringABroadcast)
{
    CBroadcaster b;
    Recorder r1, r2;
    auto* r3 = new Recorder;
    b.AddListener(&r1);
    b.AddListener(&r1);  // once only
    b.AddListener(&r2);
    b.AddListener(r3);
    // r1 deletes r3 and removes r2 while the message goes round.
    r1.onHear = [&] {
        delete r3;
        r3 = nullptr;
        b.RemoveListener(&r2);
    };
    b.BroadcastMessage(7);
    EXPECT_EQ(r1.heard, std::vector<long>{7});
    EXPECT_TRUE(r2.heard.empty());
    r1.onHear = nullptr;
    b.BroadcastMessage(8);
    EXPECT_EQ(r1.heard, (std::vector<long>{7, 8}));
    EXPECT_FALSE(b.HasListener(&r2));

    Recorder survivor;
    {
        CBroadcaster shortLived;
        shortLived.AddListener(&survivor);
    }
    // The listener's destructor must not touch the dead broadcaster (ASan).
}

TEST(WindowList, OrderMenuTextsAndActivation)
{
    Handler app(nullptr, 27, true);
    RootScope scope(&app);
    int changes = 0;
    struct Counter : CListener {
        int* n;
        void ListenToMessage(long m, void*) override { *n += m == kMsgWindowListChanged; }
    } counter;
    counter.n = &changes;
    CWindow::Changes().AddListener(&counter);

    CWindow console(kWindowConsole, &app);
    CWindow sandboxA(kWindowSandbox, &app), sandboxB(kWindowSandbox, &app);
    sandboxA.SetTitle("Sandbox /a");
    sandboxB.SetTitle("Sandbox /b");
    CWindow older(kWindowLog, &app, &sandboxA);
    older.SetTitle("Log of x");
    auto* newer = new CWindow(kWindowDiff, &app, &sandboxA);
    newer->SetTitle("Diff y");

    auto items = CWindow::WindowMenuItems();
    ASSERT_EQ(items.size(), 4u);  // the log window is not listed
    std::vector<std::string> texts;
    for (auto const& i : items)
        texts.push_back(i.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Sandbox /a", "   Diff y", "   Log of x", "Sandbox /b"}));
    EXPECT_EQ(items[0].command, 3001);
    EXPECT_EQ(CWindow::WindowForCommand(3002), newer);
    EXPECT_EQ(CWindow::WindowForCommand(3005), nullptr);
    EXPECT_EQ(CWindow::CountOfKind(kWindowSandbox), 2);

    newer->Activated();
    EXPECT_EQ(CCommander::GetTarget(), newer);
    EXPECT_TRUE(CWindow::WindowMenuItems()[1].active);
    delete newer;
    EXPECT_EQ(CWindow::Active(), nullptr);
    EXPECT_EQ(CCommander::GetTarget(), &app);
    EXPECT_EQ(CWindow::WindowForCommand(3002), &older);
    EXPECT_GT(changes, 6);
    CWindow::Changes().RemoveListener(&counter);
}

TEST(WindowList, MenuStopsAtThreeHundredWindows)
{
    std::vector<std::unique_ptr<CWindow>> many;
    for (int i = 0; i < 305; ++i)
        many.push_back(std::make_unique<CWindow>(kWindowSandbox, nullptr));
    auto items = CWindow::WindowMenuItems();
    ASSERT_EQ(items.size(), 300u);
    EXPECT_EQ(items.back().command, kCmdLastWindow);
}
