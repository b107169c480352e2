#pragma once
// Windows as the program's logic sees them: a commander with a window kind
// and a title, kept in the window list that the Window menu mirrors. The
// windows on screen derive from this and tell it when they become active
// and when they go away; nothing here knows how they are drawn.

#include <string>
#include <vector>

#include "platform/framework/Broadcaster.h"
#include "platform/framework/Commander.h"

enum : short {
    kWindowOther = 0,
    kWindowDiff = 1,
    kWindowConflicts = 2,
    kWindowSandbox = 3,
    kWindowLog = 4,
    kWindowConsole = 5,
    kWindowComment = 6,
    kWindowAnnotation = 7,
    kWindowInspector = 8
};

// Broadcast by CWindow::Changes() whenever the list, a title or the active
// window changes.
constexpr long kMsgWindowListChanged = 3000;

constexpr long kCmdFirstWindow = 3001;
constexpr long kCmdLastWindow = 3300;

struct SWindowMenuItem {
    long command;
    std::string text;  // Mac Roman
    bool active;
};

class CWindow : public CCommander {
public:
    // owner: the sandbox window a result window belongs to (it is listed
    // right below its sandbox), or null.
    CWindow(short kind, CCommander* super, CWindow* owner = nullptr);
    ~CWindow() override;

    short Kind() const { return mKind; }
    std::string const& Title() const { return mTitle; }
    void SetTitle(std::string const& title);
    CWindow* Owner() const { return mOwner; }

    // Brings the window to the front (the screen side does the work and
    // then calls Activated).
    virtual void SelectWindow() {}
    // The screen side reports activation; the window becomes the target.
    void Activated();
    void Deactivated();
    bool IsActive() const { return sActive == this; }
    static CWindow* Active() { return sActive; }

    // Kinds that appear in the window list (results and sandboxes).
    static bool IsListedKind(short kind);
    static std::vector<CWindow*> const& WindowList() { return sWindowList; }
    static int CountOfKind(short kind);
    // Every window, listed or not, oldest first.
    static std::vector<CWindow*> const& AllWindows() { return sAll; }
    // The Window menu: one item per listed window, in list order; sandbox
    // windows by title, others indented by three spaces. At most 300.
    static std::vector<SWindowMenuItem> WindowMenuItems();
    // The window of a window menu command, or null.
    static CWindow* WindowForCommand(long command);
    static CBroadcaster& Changes();

private:
    static void Changed();
    short mKind;
    std::string mTitle;
    CWindow* mOwner;
    static std::vector<CWindow*> sWindowList;
    static std::vector<CWindow*> sAll;
    static CWindow* sActive;
};
