#pragma once
// What every test of the windows needs: a QApplication on the offscreen
// platform (unless a display was chosen), a private home, configuration and
// runtime folder, and a started application with its own preferences file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "foundation/Log.h"
#include "ui/QtApp.h"

namespace uitest {

// The scratch home of this test program (made once, before Qt starts).
std::string const& Home();

// A started application; everything goes when the scene ends.
class AppScene {
public:
    AppScene();
    ~AppScene();
    CQtFace& Face() { return *mFace; }
    CCVSClientApp& App() { return *mFace->App(); }
    std::string const& PrefsPath() const { return mPrefs; }
    // Restarts on the same preferences file.
    void Restart();
    // Every log entry, oldest first.
    std::vector<std::string> Log() const;
    bool Logged(std::string const& text) const;
    // Alerts go here unless a test installs the message boxes itself, so
    // that no test can hang on a box nobody answers.
    CScriptedAlertSink& Alerts() { return mAlerts; }

private:
    std::string mDir;
    std::string mPrefs;
    std::unique_ptr<CQtFace> mFace;
    CScriptedAlertSink mAlerts{1};
};

// Runs the event loop as the program does (waiting for events, so client
// threads get the baton) until `done` holds or `ms` have passed.
bool WaitUntil(std::function<bool()> const& done, int ms);

// Presses a key in the next modal dialog or message box that shows up, and
// reports what it said through `seen` (if given).
struct SeenBox {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    bool shown = false;
};
void PressInNextModal(Qt::Key key, SeenBox* seen = nullptr, int attempt = 0);

}  // namespace uitest
