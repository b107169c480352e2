#include "ui/MenuWindow.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "app/Commands.h"
#include "ui/QtText.h"

namespace {
constexpr char kCommandProperty[] = "fwCommand";
constexpr char kBaseTextProperty[] = "fwText";

QString MenuText(std::string const& mac)
{
    // '&' would turn into a keyboard accelerator.
    return FromMac(mac).replace(QLatin1Char('&'), QLatin1String("&&"));
}

void Fire(QAction* action)
{
    long const cmd = action->property(kCommandProperty).toLongLong();
    CCommander::ProcessCommand(cmd);  // checks the status again first
    CMenuWindow::UpdateAllMenus();
}

bool sUpdateQueued = false;
}  // namespace

CMenuWindow::CMenuWindow(short kind, CCommander* super, QWidget* parent)
    : QMainWindow(parent), CWindow(kind, super)
{
    BuildMenuBar();
    CWindow::Changes().AddListener(this);
}

void CMenuWindow::ListenToMessage(long message, void*)
{
    if (message != kMsgWindowListChanged || sUpdateQueued)
        return;
    sUpdateQueued = true;
    QTimer::singleShot(0, [] {
        sUpdateQueued = false;
        UpdateAllMenus();
    });
}

bool CMenuWindow::ObeyCommand(long command, void* param)
{
    switch (command) {
    case kCmdClose:
        close();
        return true;
    case kCmdQuit:
        QTimer::singleShot(0, [] { QApplication::closeAllWindows(); });
        return true;
    default:
        return CWindow::ObeyCommand(command, param);
    }
}

void CMenuWindow::FindCommandStatus(long command, SCommandStatus& status)
{
    if (command == kCmdClose || command == kCmdQuit)
        status.enabled = true;
    else
        CWindow::FindCommandStatus(command, status);
}

void CMenuWindow::UpdateAllMenus()
{
    for (CWindow* w : CWindow::AllWindows())
        if (auto* mw = dynamic_cast<CMenuWindow*>(w))
            for (QMenu* m : mw->menuBar()->findChildren<QMenu*>())
                UpdateMenu(m);
}

CMenuWindow::~CMenuWindow() = default;

void CMenuWindow::BuildMenuBar()
{
    QMenuBar* bar = menuBar();
    for (SMenuDesc const& desc : MenuTable()) {
        QMenu* menu = bar->addMenu(MenuText(desc.title));
        for (SMenuItemDesc const& item : desc.items) {
            if (item.command == kCmdNothing) {
                menu->addSeparator();
                continue;
            }
            QAction* a = menu->addAction(MenuText(item.text));
            a->setProperty(kCommandProperty, static_cast<qlonglong>(item.command));
            a->setProperty(kBaseTextProperty, a->text());
            if (item.shortcut)
                a->setShortcut(QKeySequence(QString::fromLatin1(item.shortcut)));
            a->setShortcutContext(Qt::WindowShortcut);
            connect(a, &QAction::triggered, this, [a] { Fire(a); });
        }
        if (desc.windowMenu) {
            mWindowMenu = menu;
            mFixedWindowItems = static_cast<int>(menu->actions().size());
        }
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            if (menu == mWindowMenu)
                RebuildWindowItems(menu);
            UpdateMenu(menu);
        });
        UpdateMenu(menu);
    }
}

void CMenuWindow::RebuildWindowItems(QMenu* menu)
{
    auto actions = menu->actions();
    for (int i = mFixedWindowItems; i < actions.size(); ++i) {
        menu->removeAction(actions[i]);
        actions[i]->deleteLater();
    }
    auto items = CWindow::WindowMenuItems();
    if (items.empty())
        return;
    menu->addSeparator();
    for (auto const& item : items) {
        QAction* a = menu->addAction(MenuText(item.text));
        a->setProperty(kCommandProperty, static_cast<qlonglong>(item.command));
        a->setProperty(kBaseTextProperty, a->text());
        connect(a, &QAction::triggered, this, [a] { Fire(a); });
    }
}

void CMenuWindow::UpdateMenu(QMenu* menu)
{
    for (QAction* a : menu->actions()) {
        QVariant const cmd = a->property(kCommandProperty);
        if (!cmd.isValid())
            continue;
        SCommandStatus const st = CCommander::ProcessCommandStatus(cmd.toLongLong());
        a->setEnabled(st.enabled);
        a->setCheckable(st.usesMark);
        a->setChecked(st.usesMark && st.mark != kMarkNone);
        a->setText(st.name.empty() ? a->property(kBaseTextProperty).toString() : MenuText(st.name));
    }
}

void CMenuWindow::SelectWindow()
{
    show();
    raise();
    activateWindow();
    Activated();
}

void CMenuWindow::SetWindowTitleMac(std::string const& title)
{
    setWindowTitle(FromMac(title));
    SetTitle(title);
}

void CMenuWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            Activated();
        else
            Deactivated();
    }
    QMainWindow::changeEvent(event);
}
