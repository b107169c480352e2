#include "ui/QtApp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include "app/settings/Preferences.h"
#include "foundation/Log.h"
#include "platform/MacTypes.h"
#include "platform/Threads.h"
#include "ui/AlertBox.h"
#include "ui/CommentWindow.h"
#include "ui/ConsoleWindow.h"
#include "ui/Dialogs.h"
#include "ui/Icon.h"
#include "ui/Instance.h"
#include "ui/LoginProfilePanel.h"
#include "ui/PreferencesDialog.h"
#include "ui/QtMainLoop.h"
#include "ui/QtText.h"

namespace {
constexpr OSType kWindowVisibility = FourCC("WVis");
constexpr OSType kWindowGeometry = FourCC("WGeo");

// 'WGeo': the frame as top, left, bottom, right, signed 16-bit big-endian.
std::vector<uint8_t> GeometryBytes(QRect const& r)
{
    std::vector<uint8_t> out;
    for (int v : {r.top(), r.left(), r.top() + r.height(), r.left() + r.width()}) {
        int16_t const c = static_cast<int16_t>(std::clamp(v, -32768, 32767));
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(c) >> 8));
        out.push_back(static_cast<uint8_t>(c & 0xFF));
    }
    return out;
}

void RestoreGeometry(CPreferences& prefs, short kind, QWidget* w)
{
    auto b = prefs.GetResource(kWindowGeometry, kind);
    if (!b || b->size() != 8)
        return;
    auto at = [&](int i) { return static_cast<int16_t>(((*b)[i * 2] << 8) | (*b)[i * 2 + 1]); };
    QRect r(QPoint(at(1), at(0)), QPoint(at(3) - 1, at(2) - 1));
    if (r.width() < 100 || r.height() < 60)
        return;
    // Keep it on a screen that exists now.
    if (QScreen* screen = QGuiApplication::screenAt(r.center()); !screen) {
        QRect const avail = QGuiApplication::primaryScreen()->availableGeometry();
        r.setSize(r.size().boundedTo(avail.size()));
        r.moveTopLeft(avail.topLeft());
    }
    w->resize(r.size());
    w->move(r.topLeft());
}

}  // namespace

CQtFace::CQtFace(SRunOptions const& options) : mOptions(options) {}

CQtFace::~CQtFace()
{
    // Operations without a sandbox use the application as their breaker:
    // stop them and let them end before it goes.
    if (mApp && !mApp->HasNoThreads()) {
        mApp->TellCVSOperationStatus(CCVSThreadBreaker::kAbort);
        QElapsedTimer t;
        t.start();
        while (!mApp->HasNoThreads() && t.elapsed() < 15000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    RememberVisibility();
    if (mApp) {
        for (auto [kind, w] : {std::pair<short, QWidget*>{kWindowConsole, mConsole}, {kWindowComment, mComment}})
            if (w) {
                auto const bytes = GeometryBytes(QRect(w->pos(), w->size()));
                if (mApp->Prefs().GetResource(kWindowGeometry, kind) != bytes)
                    mApp->Prefs().PutResource(kWindowGeometry, kind, "Window Geometry", bytes);
            }
    }
    qApp->removeEventFilter(this);
    delete mConsole;
    mConsole = nullptr;
    delete mComment;
    mComment = nullptr;
    mApp.reset();
    SetAlertSink(mOldSink);
    if (gConsoleP == mLog.get())
        gConsoleP = nullptr;
    mLog.reset();
    mLoop.reset();
}

void CQtFace::ListenForOthers()
{
    QString const path = CInstanceChannel::SocketPath();
    mChannel = new CInstanceChannel(this);
    if (path.isEmpty() || !mChannel->Listen(path, [this](QStringList const& folders) {
            ShowConsole();
            for (QString const& f : folders)
                mApp->OpenDocument(ToMac(f));
        }))
        GLogPrintf(2, "Other starts of Fennelwright cannot hand their folders to this one.");
}

bool CQtFace::Start(QStringList const& folders)
{
    if (mOptions.singleInstance && CInstanceChannel::HandOver(CInstanceChannel::SocketPath(), folders))
        return false;

    mLoop = std::make_unique<CQtMainLoop>();
    mLog = std::make_unique<CConsole>();
    gConsoleP = mLog.get();
    mAlertSink = std::make_unique<CQtAlertSink>();
    mOldSink = SetAlertSink(mAlertSink.get());
    mApp = std::make_unique<CCVSClientApp>(mOptions.prefsPath);
    mApp->SetFace(this);

    qApp->installEventFilter(this);
    mConsole = new CConsoleWindow(mApp.get());
    RestoreGeometry(mApp->Prefs(), kWindowConsole, mConsole);
    auto visible = [this](short kind) {
        auto v = mApp->Prefs().GetResource(kWindowVisibility, kind);
        return !v || v->size() != 2 || (*v)[1] != 0;
    };
    bool const showComment = visible(kWindowComment);
    bool const showConsole = visible(kWindowConsole) || !showComment;
    if (showConsole)
        mConsole->show();
    // The rest waits until the first window is on the screen.
    mAfterFirstPaint = [this, folders, showComment, showConsole] {
        mComment = new CCommentWindowQt(mApp.get());
        mComment->move(mConsole->pos() + QPoint(mConsole->width() + 20, 0));
        RestoreGeometry(mApp->Prefs(), kWindowComment, mComment);
        if (showComment)
            mComment->show();
        if (mOptions.singleInstance)
            ListenForOthers();
        SPlatformFacts facts;
        facts.appearance = "Qt " + std::string(qVersion()) + " (" + QGuiApplication::platformName().toStdString() +
                           ", " + QApplication::style()->name().toStdString() + ")";
        mApp->ShowCopyright(facts);
        for (QString const& f : folders)
            mApp->OpenDocument(ToMac(QFileInfo(f).absoluteFilePath()));
        short const splash = mApp->Prefs().mValues.splashTime;
        if (splash > 0)
            ShowAboutBox(static_cast<unsigned short>(splash));
    };
    if (!showConsole)
        QTimer::singleShot(0, this, [this] { FirstPainted(); });
    return true;
}

bool CQtFace::eventFilter(QObject* watched, QEvent* event)
{
    if (!mPainted && event->type() == QEvent::Paint && watched->isWidgetType()) {
        mPainted = true;
        QTimer::singleShot(0, this, [this] { FirstPainted(); });
    }
    return QObject::eventFilter(watched, event);
}

void CQtFace::FirstPainted()
{
    if (mOptions.firstPainted)
        mOptions.firstPainted();
    if (auto after = std::move(mAfterFirstPaint)) {
        mAfterFirstPaint = nullptr;
        after();
    }
}

void CQtFace::RememberVisibility()
{
    if (!mApp)
        return;
    for (auto [kind, w] : {std::pair<short, QWidget*>{kWindowConsole, mConsole}, {kWindowComment, mComment}})
        if (w) {
            std::vector<uint8_t> const v = {0, static_cast<uint8_t>(w->isVisible() ? 1 : 0)};
            if (mApp->Prefs().GetResource(kWindowVisibility, kind) != v)
                mApp->Prefs().PutResource(kWindowVisibility, kind, "Window Visibility", v);
        }
}

void CQtFace::ShowConsole()
{
    mConsole->ShowWindow();
}

void CQtFace::ShowCommentWindow()
{
    if (mComment)
        mComment->SelectWindow();
}

void CQtFace::ChooseDocument()
{
    QString const dir = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                          QStringLiteral("Open Sandbox"), QDir::homePath());
    if (!dir.isEmpty())
        mApp->OpenDocument(ToMac(dir));
}

void CQtFace::DoPreferences()
{
    CPreferencesDialog dlg(*mApp, -1, QApplication::activeWindow());
    dlg.exec();
}

bool CQtFace::LoginDialog(unsigned short index, bool passwordOnly)
{
    CLoginDialog dlg(mApp->Profiles(), index, passwordOnly, QApplication::activeWindow());
    if (dlg.exec() != QDialog::Accepted)
        return false;
    dlg.Panel()->Editor().CopyFromTable(mApp->Profiles());
    return true;
}

bool CQtFace::ModuleListDialog(unsigned short& index)
{
    CModuleListDialog dlg(mApp->Profiles(), index, QApplication::activeWindow());
    if (dlg.exec() != QDialog::Accepted)
        return false;
    index = dlg.Chosen();
    return true;
}

void CQtFace::ShowAboutBox(unsigned short ticks)
{
    auto* box = new CAboutBox(FromMac(mApp->Version(false)), ticks, QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (ticks == 0)
        box->exec();
    else
        box->show();  // the splash closes itself; the windows stay live meanwhile
}

int RunFennelwright(int argc, char** argv, SRunOptions const& options)
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fennelwright"));
    QApplication::setApplicationDisplayName(QStringLiteral("Fennelwright"));
    QApplication::setDesktopFileName(QStringLiteral("fennelwright"));
    QApplication::setWindowIcon(QIcon(FennelwrightIcon(128)));
    QStringList folders = QApplication::arguments();
    folders.removeFirst();
    CQtFace face(options);
    if (!face.Start(folders))
        return 0;
    int const rc = QApplication::exec();
    return rc;
}
