#pragma once
// The application on Qt: creates the log, the application object and the
// windows, runs the event loop, and answers the application's requests for
// windows and dialogs. One instance per user: a second start hands its
// folders to the first and ends.

#include <QObject>
#include <functional>
#include <memory>

#include "app/CVSClientApp.h"

class CCommentWindowQt;
class CConsoleWindow;
class CQtAlertSink;
class CQtMainLoop;
class CInstanceChannel;

struct SRunOptions {
    // Called once, when the first window has been painted.
    std::function<void()> firstPainted;
    // Preferences file (tests); empty: the per-user one.
    std::string prefsPath;
    // Whether to claim the per-user instance (tests may run several).
    bool singleInstance = true;
};

class CQtFace : public QObject, public CAppFace {
    Q_OBJECT
public:
    explicit CQtFace(SRunOptions const& options);
    ~CQtFace() override;

    // Creates the log, the application and the windows. False when another
    // instance took over. The comment window, the start-up report and the
    // listening for other starts follow once the first window is painted.
    bool Start(QStringList const& folders);

    void ShowConsole() override;
    void ShowCommentWindow() override;
    void ChooseDocument() override;
    void DoPreferences() override;
    bool LoginDialog(unsigned short index, bool passwordOnly) override;
    bool ModuleListDialog(unsigned short& index) override;
    void ShowAboutBox(unsigned short ticks) override;

    CConsoleWindow* Console() const { return mConsole; }
    CCommentWindowQt* CommentWindow() const { return mComment; }
    CCVSClientApp* App() const { return mApp.get(); }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ListenForOthers();
    void RememberVisibility();
    void FirstPainted();
    std::function<void()> mAfterFirstPaint;
    SRunOptions mOptions;
    std::unique_ptr<CQtMainLoop> mLoop;
    std::unique_ptr<CConsole> mLog;
    std::unique_ptr<CQtAlertSink> mAlertSink;
    CAlertSink* mOldSink = nullptr;
    std::unique_ptr<CCVSClientApp> mApp;
    CConsoleWindow* mConsole = nullptr;
    CCommentWindowQt* mComment = nullptr;
    CInstanceChannel* mChannel = nullptr;
    bool mPainted = false;
};

// main() of the program; also used by the start-up benchmark.
int RunFennelwright(int argc, char** argv, SRunOptions const& options = {});
