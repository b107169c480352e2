#include "UiScene.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTreeWidget>
#include <QTabWidget>

#include <sys/stat.h>

#include <QFileInfo>
#include <filesystem>
#include <fstream>

#include "../engine/ThreadScene.h"
#include "CvsRig.h"
#include "app/Commands.h"
#include "platform/Threads.h"
#include "ui/AlertBox.h"
#include "ui/CommentWindow.h"
#include "ui/ConsoleWindow.h"
#include "ui/Dialogs.h"
#include "ui/Instance.h"
#include "ui/LoginProfilePanel.h"
#include "ui/PreferencesDialog.h"
#include "ui/QtText.h"
#include "ui/TyperCheckDialog.h"
#include "ui/TyperList.h"

using namespace uitest;

namespace {

QAction* FindAction(QWidget* window, long command)
{
    for (QMenu* m : window->findChildren<QMenu*>())
        for (QAction* a : m->actions())
            if (a->property("fwCommand").toLongLong() == command)
                return a;
    return nullptr;
}

void OpenMenus(QWidget* window)
{
    for (QMenu* m : window->findChildren<QMenu*>())
        emit m->aboutToShow();
}

}  // namespace

// Every alert type, answered by key: Return and Enter press button 1, Escape
// button 2; the message is never read as markup.
TEST(Alerts, AnsweredByKey)
{
    AppScene scene;
    CQtAlertSink boxes;
    StAlertSink scope(&boxes);
    struct {
        short type;
        Qt::Key key;
        short answer;
    } const cases[] = {
        {kAlertStop, Qt::Key_Return, 1},          {kAlertNote, Qt::Key_Enter, 1},
        {kAlertOKCancel, Qt::Key_Return, 1},      {kAlertOKCancel, Qt::Key_Escape, 2},
        {kAlertQuietQuestion, Qt::Key_Enter, 1},  {kAlertQuietQuestion, Qt::Key_Escape, 2},
        {kAlertThreeWay, Qt::Key_Return, 1},      {kAlertThreeWay, Qt::Key_Escape, 2},
    };
    for (auto const& c : cases) {
        SeenBox seen;
        PressInNextModal(c.key, &seen);
        short const answer = GAlert(c.type, "Folder \xD2<b>x</b>\xD3 & more");
        EXPECT_EQ(answer, c.answer) << c.type << " " << c.key;
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.format, Qt::PlainText);
        EXPECT_EQ(seen.text, QStringLiteral("Folder \u201C<b>x</b>\u201D & more"));
    }
}

// A level-4 entry from a client thread shows its alert on the GUI thread while
// the thread waits without the baton.
TEST(Alerts, FromAClientThread)
{
    AppScene scene;
    CQtAlertSink boxes;
    StAlertSink scope(&boxes);
    struct Teller : CThread {
        void Run() override { GLogPrintf(4, "Serious trouble in a thread."); }
    };
    SeenBox seen;
    PressInNextModal(Qt::Key_Return, &seen);
    auto* t = new Teller;
    t->Resume();
    EXPECT_TRUE(WaitUntil([] { return CThread::Count() == 0; }, 10000));
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.text, QStringLiteral("Serious trouble in a thread."));
    EXPECT_TRUE(scene.Logged("Serious trouble in a thread."));
}

TEST(Menus, EnablingFollowsTheCommandStatus)
{
    AppScene scene;
    CConsoleWindow* console = scene.Face().Console();
    console->SelectWindow();
    QTest::qWait(20);
    OpenMenus(console);
    struct {
        long command;
        bool enabled;
    } const initial[] = {
        {kCmdOpen, true}, {kCmdPageSetup, false}, {kCmdStop, false}, {kCmdCopy, false},
        {kCmdSaveLog, true}, {kCmdUpdate, false}, {kCmdUpdate + 100, false}, {kCmdListModules, true},
    };
    for (auto const& c : initial) {
        QAction* a = FindAction(console, c.command);
        ASSERT_NE(a, nullptr) << c.command;
        EXPECT_EQ(a->isEnabled(), c.enabled) << c.command;
    }
    // Option variants are items of their own with a Shift shortcut.
    EXPECT_EQ(FindAction(console, kCmdUpdate + 100)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+U")));

    // Stop follows the running operations without the menu being opened.
    scene.App().WaitForThread();
    EXPECT_TRUE(WaitUntil([&] { return FindAction(console, kCmdStop)->isEnabled(); }, 2000));
    scene.App().ThreadFinished();
    EXPECT_TRUE(WaitUntil([&] { return !FindAction(console, kCmdStop)->isEnabled(); }, 2000));

    // Copy needs selected lines.
    console->View()->selectAll();
    OpenMenus(console);
    EXPECT_TRUE(FindAction(console, kCmdCopy)->isEnabled());

    // The search direction item changes its text after each use.
    QAction* search = FindAction(console, kCmdSearchDirection);
    EXPECT_EQ(search->text(), QStringLiteral("Search Backwards"));
    search->trigger();
    OpenMenus(console);
    EXPECT_EQ(search->text(), QStringLiteral("Search Forwards"));
}

TEST(ConsoleWindow, LinesStylesCopySaveAndStatus)
{
    AppScene scene;
    CConsoleWindow* console = scene.Face().Console();
    console->ShowWindow();
    GLogPrintf(0, "plain \xD2quoted\xD3");
    GLogPrintf(3, "an error");
    GLogStatusPrintf("Connecting to \xD2host\xD3\xC9");
    QTest::qWait(50);
    QAbstractItemModel* model = console->View()->model();
    int const rows = model->rowCount();
    ASSERT_EQ(rows, static_cast<int>(gConsoleP->Count()));
    EXPECT_EQ(model->index(rows - 2, 0).data().toString(), QStringLiteral("plain \u201Cquoted\u201D"));
    EXPECT_FALSE(model->index(rows - 2, 0).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(model->index(rows - 1, 0).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(model->index(rows - 1, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(console->StatusLabel()->text(), QStringLiteral("Connecting to \u201Chost\u201D\u2026"));
    EXPECT_EQ(console->StatusLabel()->textFormat(), Qt::PlainText);

    console->View()->selectionModel()->select(model->index(rows - 2, 0), QItemSelectionModel::Select);
    console->View()->selectionModel()->select(model->index(rows - 1, 0), QItemSelectionModel::Select);
    EXPECT_TRUE(CCommander::ProcessCommand(kCmdCopy));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("plain \u201Cquoted\u201D\nan error\n"));

    EXPECT_TRUE(CCommander::ProcessCommand(kCmdSaveLog));
    std::string const saved = gConsoleP->LastSavedPath();
    ASSERT_FALSE(saved.empty());
    std::ifstream in(saved);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(all.find("plain \u201Cquoted\u201D\nan error\n"), std::string::npos);
}

// A login test started from the profile editor runs on its own thread against
// the rig's password server while the windows stay live.
TEST(LoginProfiles, LoginTestFromTheEditor)
{
    fwtest::CvsRig& rig = fwtest::CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    AppScene scene;
    CScriptedAlertSink alerts(1);
    StAlertSink scope(&alerts);

    CPreferencesDialog dlg(scene.App());
    dlg.show();
    CLoginProfilePanel* p = dlg.Profiles();
    p->mLoginMethod->setCurrentIndex(kLoginPserver);
    p->mName->setText(QStringLiteral("Rig <alice>"));
    p->mServer->setText(QString::fromStdString(rig.Host()));
    p->mRoot->setText(QString::fromStdString(rig.Repo()));
    p->mUser->setText(QStringLiteral("alice"));
    p->mPasswordMode->setCurrentIndex(kPasswordPrefs);
    p->mPassword->setText(QString::fromStdString(rig.Account("alice").password));
    p->mPortCustom->setChecked(true);
    p->mPort->setText(QString::number(rig.Port()));
    QTest::mouseClick(p->mTest, Qt::LeftButton);

    // The interface answers while the thread works.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(5);
    ASSERT_TRUE(WaitUntil([&] { return scene.App().HasNoThreads() && CThread::Count() == 0; }, 30000));
    EXPECT_GT(ticks, 0);
    std::string const info = "alice@" + rig.Host() + ":" + std::to_string(rig.Port()) + ":" + rig.Repo();
    EXPECT_TRUE(scene.Logged("Testing login for \xD2" + info + "\xD3 \xC9")) << ::testing::PrintToString(scene.Log());
    bool succeeded = false;
    for (auto const& [type, text] : alerts.Shown())
        succeeded |= type == kAlertNote && text == "Login for \xD2" + info + "\xD3 succeeded.";
    EXPECT_TRUE(succeeded) << ::testing::PrintToString(scene.Log());
    EXPECT_EQ(p->mLoginListPopup->currentText(), QStringLiteral("Rig <alice>"));

    // A wrong password fails, and says so.
    alerts.Forget();
    p->mPassword->setText(QStringLiteral("wrong"));
    QTest::mouseClick(p->mTest, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return scene.App().HasNoThreads() && CThread::Count() == 0; }, 30000));
    for (auto const& [type, text] : alerts.Shown())
        EXPECT_EQ(text.find("succeeded"), std::string::npos);
}

TEST(LoginProfiles, LoginDialogRefusesBadFieldsAndKeepsLineBreaksOut)
{
    AppScene scene;
    CScriptedAlertSink alerts(1);
    StAlertSink scope(&alerts);
    CLoginDialog dlg(scene.App().Profiles(), 0, false);
    dlg.show();
    CLoginProfilePanel* p = dlg.Panel();
    EXPECT_EQ(dlg.focusWidget(), p->mPassword);

    p->mLoginMethod->setCurrentIndex(kLoginPserver);
    p->mServer->setText(QStringLiteral("cvs.example.org"));
    p->mRoot->setText(QStringLiteral("/cvsroot"));
    p->mUser->setText(QStringLiteral("anon"));
    p->mName->setText(QString());
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(alerts.Shown().size(), 1u);
    EXPECT_NE(alerts.Shown()[0].second.find("description must not be empty"), std::string::npos)
        << alerts.Shown()[0].second;

    // A pasted line break never reaches the profile.
    p->mName->setText(QStringLiteral("Two\nlines"));
    p->mUser->setText(QStringLiteral("us\rer"));
    dlg.accept();
    EXPECT_FALSE(dlg.isVisible()) << ::testing::PrintToString(alerts.Shown());
    CLoginProfileList copy(kPArrOwning | kPArrSorted);
    p->Editor().CopyFromTable(copy);
    unsigned short const i = FindProfileByDescription(copy, "Twolines");
    ASSERT_NE(i, kNoProfile);
    EXPECT_STREQ(copy[i]->User().c_str(), "user");

    // The password form shows only the password.
    CLoginDialog prompt(scene.App().Profiles(), 0, true);
    EXPECT_FALSE(prompt.Panel()->mLoginListPopup->isEnabled());
    EXPECT_FALSE(prompt.Panel()->mNew->isEnabled());
    EXPECT_FALSE(prompt.Panel()->mServer->isEnabled());
}

TEST(Preferences, OkKeepsEverySettingAcrossARestartCancelNothing)
{
    AppScene scene;
    {
        CPreferencesDialog dlg(scene.App());
        dlg.mTabWidth->setValue(7);
        dlg.mSearchBackwards->setChecked(true);
        dlg.mEncoding->setCurrentIndex(1);
        dlg.mPruneFolders->setChecked(true);
        dlg.mIconSize->setCurrentIndex(1);
        dlg.mCommentCopyMode->setCurrentIndex(2);
        dlg.Translators()->PasteText(QStringLiteral("# Fennelwright Translators\n"), ETyperSource::kClipboard);
        dlg.reject();
    }
    EXPECT_EQ(scene.App().Prefs().mValues.tabWidth, 4);
    {
        CPreferencesDialog dlg(scene.App());
        dlg.show();
        dlg.mTabWidth->setValue(7);
        dlg.mSearchBackwards->setChecked(true);
        dlg.mEncoding->setCurrentIndex(1);
        dlg.mPruneFolders->setChecked(true);
        dlg.mIconSize->setCurrentIndex(1);
        dlg.mCommentCopyMode->setCurrentIndex(2);
        dlg.mSplash->setValue(0);
        // OK waits for a profile the editor can store.
        dlg.accept();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(scene.Alerts().Shown().size(), 1u);
        CLoginProfilePanel* p = dlg.Profiles();
        p->mName->setText(QStringLiteral("Example"));
        p->mServer->setText(QStringLiteral("cvs.example.org"));
        p->mRoot->setText(QStringLiteral("/cvsroot"));
        p->mUser->setText(QStringLiteral("anon"));
        dlg.IgnoreFilters()->DeleteSelected();
        dlg.accept();
    }
    scene.Restart();
    SPreferenceValues const& v = scene.App().Prefs().mValues;
    EXPECT_EQ(v.tabWidth, 7);
    EXPECT_FALSE(scene.App().SearchDirection());
    EXPECT_EQ(v.commentTextEncoding, 0x0201);
    EXPECT_TRUE(scene.App().Prefs().CVSOption(0));
    EXPECT_FALSE(scene.App().Prefs().CVSOption(1));
    EXPECT_EQ(v.iconSize, 12);
    EXPECT_EQ(v.commentCopyMode, 2);
    EXPECT_EQ(v.splashTime, 0);
    EXPECT_NE(FindProfileByDescription(scene.App().Profiles(), "Example"), kNoProfile);
}

TEST(TyperLists, CopyPasteMoveAndRefusedPaste)
{
    AppScene scene;
    CScriptedAlertSink alerts(1);
    StAlertSink scope(&alerts);
    CTyperList list(scene.App().Typers().mTranslators, false);
    int const n = list.Count();
    ASSERT_GE(n, 2);
    std::string const first = list.At(0).ExportToString().c_str();
    std::string const second = list.At(1).ExportToString().c_str();

    // Copy the first, paste it after the last.
    list.setCurrentRow(0);
    QString const text = list.CopyText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("# Fennelwright Translators\n")));
    list.setCurrentRow(n - 1);
    ASSERT_TRUE(list.PasteText(text, ETyperSource::kClipboard));
    ASSERT_EQ(list.Count(), n + 1);
    EXPECT_EQ(std::string(list.At(n).ExportToString().c_str()), first);

    // Drag the first row below the second.
    list.MoveTyper(0, 2);
    EXPECT_EQ(std::string(list.At(0).ExportToString().c_str()), second);
    EXPECT_EQ(std::string(list.At(1).ExportToString().c_str()), first);

    // Malformed text is refused whole and said so.
    alerts.Forget();
    EXPECT_FALSE(list.PasteText(QStringLiteral("# Fennelwright Translators\nnot a typer line\n"),
                                ETyperSource::kClipboard));
    EXPECT_EQ(list.Count(), n + 1);
    EXPECT_FALSE(alerts.Shown().empty());

    // What the list shows goes back out in order.
    TPtrArray<CFileTyper> out(kPArrOwning);
    list.CopyOut(out);
    ASSERT_EQ(out.Count(), n + 1);
    EXPECT_EQ(std::string(out[0]->ExportToString().c_str()), second);
}

TEST(CommentWindow, TypedTextSurvivesARestart)
{
    AppScene scene;
    CCommentWindowQt* w = scene.Face().CommentWindow();
    w->SelectWindow();
    w->Editor()->setPlainText(QStringLiteral("Fixed the caf\u00E9 bug\nsecond line"));
    w->close();
    scene.Restart();
    EXPECT_EQ(scene.Face().CommentWindow()->Editor()->toPlainText(),
              QStringLiteral("Fixed the caf\u00E9 bug\nsecond line"));
    ASSERT_TRUE(gCommentatorP->Comment().has_value());
    EXPECT_EQ(*gCommentatorP->Comment(), "Fixed the caf\x8E bug\rsecond line");
}

TEST(AboutBox, NameVersionAndPlainLabels)
{
    AppScene scene;
    CAboutBox box(FromMac(scene.App().Version(false)), 1);
    box.show();
    EXPECT_EQ(box.VersionLabel()->text().toStdString(), scene.App().Version(false));
    for (QLabel* l : box.findChildren<QLabel*>()) {
        if (!l->text().isEmpty()) {
            EXPECT_EQ(l->textFormat(), Qt::PlainText);
        }
    }
    // A timed box closes by itself.
    EXPECT_TRUE(WaitUntil([&] { return !box.isVisible(); }, 2000));
}

TEST(SingleInstance, ASecondStartHandsItsFoldersOver)
{
    std::string const dir = Home() + "/instance";
    std::filesystem::create_directories(dir);
    QString const path = QString::fromStdString(dir + "/socket");
    EXPECT_FALSE(CInstanceChannel::HandOver(path, {QStringLiteral("/a")}));  // nobody listens yet
    CInstanceChannel channel;
    QStringList got;
    int calls = 0;
    ASSERT_TRUE(channel.Listen(path, [&](QStringList const& f) {
        got = f;
        ++calls;
    }));
    EXPECT_TRUE(CInstanceChannel::HandOver(path, {QStringLiteral("/tmp/one"), QStringLiteral("/tmp/tw\u00F6")}));
    ASSERT_TRUE(WaitUntil([&] { return calls == 1; }, 3000));
    EXPECT_EQ(got, (QStringList{QStringLiteral("/tmp/one"), QStringLiteral("/tmp/tw\u00F6")}));

    // The socket's folder is private to the user.
    QString const own = CInstanceChannel::SocketPath();
    ASSERT_FALSE(own.isEmpty());
    struct stat st {};
    ASSERT_EQ(stat(QFileInfo(own).path().toUtf8().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
}

// The windows right after start-up. Under a display server (xvfb-run) the
// whole screen is taken; FW_SCREENSHOT names a PNG file to keep the picture.
TEST(Screenshot, WindowsAfterStartup)
{
    AppScene scene;
    CConsoleWindow* console = scene.Face().Console();
    console->move(10, 10);
    console->ShowWindow();
    scene.Face().CommentWindow()->move(740, 10);
    scene.Face().CommentWindow()->show();
    CLoginDialog login(scene.App().Profiles(), 0, false);
    login.move(200, 200);
    login.show();
    ASSERT_TRUE(WaitUntil([&] { return scene.Logged("System supports long file names."); }, 3000));
    WaitUntil([] { return false; }, 300);
    QPixmap shot;
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        shot = QGuiApplication::primaryScreen()->grabWindow(0);
    } else {
        shot = console->grab();
    }
    ASSERT_FALSE(shot.isNull());
    if (char const* path = getenv("FW_SCREENSHOT")) {
        EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
    }
}

TEST(TyperCheck, ViewsCountsCommentsAndResults)
{
    AppScene scene;
    TPtrArray<CFileTyperTestEntry> entries(kPArrOwning);
    FSSpec none;
    constexpr unsigned long kText = 0x54455854, kTtxt = 0x74747874;  // 'TEXT', 'ttxt'
    entries.append(new CFileTyperTestEntry(none, "Read Me", 300, 1200, kText, kTtxt, kSFResByLine, kKWDefault, false,
                                           kFTSkipNone));
    entries.append(new CFileTyperTestEntry(none, "docs", 0, 0, 0, 0, 0, 0, true, kFTSkipNone));
    entries.append(new CFileTyperTestEntry(none, "notes.txt", 0, 50, kText, kTtxt, kSFDataFork, kKWDefault, false,
                                           kFTSkipNone));
    entries.append(new CFileTyperTestEntry(none, "CVS", 0, 0, 0, 0, 0, 0, true, kFTSkipReservedName));

    CTyperCheckDialog dlg(entries, "Import", &scene.App());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Import Check Results"));
    EXPECT_EQ(dlg.Views()->tabText(kFTViewAll - 1), QStringLiteral("All Items (4)"));
    EXPECT_EQ(dlg.Views()->tabText(kFTViewDanger - 1), QStringLiteral("Dangerous (1)"));
    EXPECT_NE(dlg.Views()->tabTextColor(kFTViewDanger - 1), dlg.Views()->tabTextColor(kFTViewAll - 1));

    dlg.ShowView(kFTViewDanger);
    ASSERT_EQ(dlg.List()->topLevelItemCount(), 1);
    EXPECT_EQ(dlg.List()->topLevelItem(0)->text(0), QStringLiteral("Read Me"));
    EXPECT_NE(dlg.Comment2()->text().indexOf(QStringLiteral("loose its data fork")), -1);
    EXPECT_EQ(dlg.Comment2()->textFormat(), Qt::PlainText);
    dlg.ShowView(kFTViewSkipped);
    ASSERT_EQ(dlg.List()->topLevelItemCount(), 1);
    EXPECT_NE(dlg.Comment2()->text().indexOf(QStringLiteral("reserved name")), -1);

    // Escape cancels (2); the default button goes on (1).
    QTimer::singleShot(50, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
    EXPECT_EQ(dlg.Run(), 2);
    CTyperCheckDialog again(entries, "Import", &scene.App());
    QTimer::singleShot(50, [&] { QTest::keyClick(&again, Qt::Key_Return); });
    EXPECT_EQ(again.Run(), 1);
}

// List Modules from the menu: the dialog with the remembered profile, the
// password asked for in the login dialog's password form, and the listing on
// its own thread into the log.
TEST(ModuleListing, FromTheMenuWithAPasswordPrompt)
{
    fwtest::CvsRig& rig = fwtest::CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    ASSERT_TRUE(fwtest::SetModules(rig, "uimod -a mod\n"));
    AppScene scene;
    CLoginProfile* p = new CLoginProfile(fwtest::PserverProfile(rig, "alice", ""));
    p->SetDescription("Rig");
    p->SetPasswordMode(kPasswordAsk);
    scene.App().Profiles().insert(p);
    unsigned short const index = FindProfileByDescription(scene.App().Profiles(), "Rig");
    scene.App().Prefs().PutSetting(kSettingLastProfile, index);

    std::string const password = rig.Account("alice").password;
    bool chose = false, typed = false;
    QTimer::singleShot(30, [&] {
        WaitUntil([] { return qobject_cast<CModuleListDialog*>(QApplication::activeModalWidget()) != nullptr; }, 3000);
        auto* dlg = qobject_cast<CModuleListDialog*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        chose = dlg->Popup()->currentIndex() == index;
        QTest::keyClick(dlg, Qt::Key_Return);
        QTimer::singleShot(30, [&] {
            WaitUntil([] { return qobject_cast<CLoginDialog*>(QApplication::activeModalWidget()) != nullptr; }, 3000);
            auto* login = qobject_cast<CLoginDialog*>(QApplication::activeModalWidget());
            if (!login)
                return;
            login->Panel()->mPassword->setText(QString::fromStdString(password));
            typed = true;
            QTest::keyClick(login->Panel()->mPassword, Qt::Key_Return);
        });
    });
    EXPECT_TRUE(CCommander::ProcessCommand(kCmdListModules));
    EXPECT_TRUE(chose);
    EXPECT_TRUE(typed);
    ASSERT_TRUE(WaitUntil([&] { return scene.App().HasNoThreads() && CThread::Count() == 0; }, 30000));
    auto log = scene.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "uimod        -a mod"), log.end()) << ::testing::PrintToString(log);
    // The password typed in is kept for the run.
    EXPECT_EQ(std::string(scene.App().Profiles()[index]->Password().c_str()), password);
}

TEST(WindowPlaces, GeometryAndVisibilityAcrossARestart)
{
    AppScene scene;
    scene.Face().Console()->move(40, 50);
    scene.Face().Console()->resize(610, 330);
    scene.Face().CommentWindow()->hide();
    scene.Restart();
    EXPECT_EQ(scene.Face().Console()->pos(), QPoint(40, 50));
    EXPECT_EQ(scene.Face().Console()->size(), QSize(610, 330));
    EXPECT_TRUE(scene.Face().Console()->isVisible());
    EXPECT_FALSE(scene.Face().CommentWindow()->isVisible());
}
