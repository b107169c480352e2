#pragma once
// The base of every top-level window: a QMainWindow that is a CWindow in the
// window list and carries the menu bar built from the one command table.
// Menu items ask the target chain for their status when their menu opens and
// again when triggered (shortcuts fire without the menu opening).

#include <QMainWindow>

#include "platform/framework/Broadcaster.h"
#include "platform/framework/Window.h"

class QMenu;

class CMenuWindow : public QMainWindow, public CWindow, public CListener {
    Q_OBJECT
public:
    CMenuWindow(short kind, CCommander* super, QWidget* parent = nullptr);
    ~CMenuWindow() override;

    void SelectWindow() override;
    // Sets the window title and the title in the window list (Mac Roman).
    void SetWindowTitleMac(std::string const& title);

    // Refreshes the status of every item of a menu (public for tests).
    static void UpdateMenu(QMenu* menu);
    // Refreshes every menu of every window (after a command, or when the
    // window list or the running operations changed).
    static void UpdateAllMenus();

    void ListenToMessage(long message, void* param) override;
    bool ObeyCommand(long command, void* param) override;
    void FindCommandStatus(long command, SCommandStatus& status) override;

protected:
    void changeEvent(QEvent* event) override;
    void BuildMenuBar();

private:
    void RebuildWindowItems(QMenu* menu);
    QMenu* mWindowMenu = nullptr;
    int mFixedWindowItems = 0;
};
