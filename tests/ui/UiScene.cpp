#include "UiScene.h"

#include <stdlib.h>

#include <QEventLoop>
#include <QMessageBox>

#include <filesystem>

namespace uitest {

namespace {
std::string MakeHome()
{
    char tmpl[] = "/tmp/fw-ui-XXXXXX";
    if (!mkdtemp(tmpl))
        abort();
    std::string const home = tmpl;
    std::filesystem::create_directories(home + "/run");
    std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return home;
}

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Home();
        static int argc = 1;
        static char name[] = "test_ui";
        static char* argv[] = {name, nullptr};
        mApp = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override
    {
        mApp.reset();
        std::filesystem::remove_all(Home());
    }
    std::unique_ptr<QApplication> mApp;
};

[[maybe_unused]] auto* const gEnv = ::testing::AddGlobalTestEnvironment(new QtEnvironment);
}  // namespace

std::string const& Home()
{
    static std::string const home = MakeHome();
    return home;
}

AppScene::AppScene()
{
    static int n = 0;
    mDir = Home() + "/scene" + std::to_string(++n);
    std::filesystem::create_directories(mDir);
    mPrefs = mDir + "/Fennelwright";
    Restart();
}

AppScene::~AppScene()
{
    mFace.reset();
}

void AppScene::Restart()
{
    mFace.reset();
    SRunOptions options;
    options.prefsPath = mPrefs;
    options.singleInstance = false;
    mFace = std::make_unique<CQtFace>(options);
    // No splash box in the tests.
    mFace->Start({});
    SetAlertSink(&mAlerts);
    mFace->App()->Prefs().mValues.splashTime = 0;
    // The comment window and the start-up report follow the first paint.
    WaitUntil([this] { return mFace->CommentWindow() != nullptr; }, 5000);
}

std::vector<std::string> AppScene::Log() const
{
    std::vector<std::string> out;
    for (unsigned long i = 0; gConsoleP && i < gConsoleP->Count(); ++i)
        out.push_back(gConsoleP->EntryText(i));
    return out;
}

bool AppScene::Logged(std::string const& text) const
{
    for (auto const& e : Log())
        if (e == text)
            return true;
    return false;
}

bool WaitUntil(std::function<bool()> const& done, int ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    poll.start(5);
    loop.exec();
    return done();
}

void PressInNextModal(Qt::Key key, SeenBox* seen, int attempt)
{
    QTimer::singleShot(20, [key, seen, attempt] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            if (attempt < 200)
                PressInNextModal(key, seen, attempt + 1);
            return;
        }
        if (seen) {
            seen->shown = true;
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                seen->text = box->text();
                seen->format = box->textFormat();
            }
        }
        QTest::keyClick(modal, key);
    });
}

}  // namespace uitest
