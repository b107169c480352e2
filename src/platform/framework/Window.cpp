#include "platform/framework/Window.h"

#include <algorithm>

std::vector<CWindow*> CWindow::sWindowList;
std::vector<CWindow*> CWindow::sAll;
CWindow* CWindow::sActive = nullptr;

CWindow::CWindow(short kind, CCommander* super, CWindow* owner)
    : CCommander(super), mKind(kind), mOwner(owner)
{
    sAll.push_back(this);
    if (IsListedKind(kind)) {
        auto at = sWindowList.end();
        if (owner) {
            auto o = std::find(sWindowList.begin(), sWindowList.end(), owner);
            if (o != sWindowList.end())
                at = o + 1;  // newest result right below its sandbox
        }
        sWindowList.insert(at, this);
    }
    Changed();
}

CWindow::~CWindow()
{
    sWindowList.erase(std::remove(sWindowList.begin(), sWindowList.end(), this), sWindowList.end());
    sAll.erase(std::remove(sAll.begin(), sAll.end(), this), sAll.end());
    for (CWindow* w : sAll)
        if (w->mOwner == this)
            w->mOwner = nullptr;
    if (sActive == this) {
        sActive = nullptr;
        if (GetTarget() == this)
            SetTarget(nullptr);
    }
    Changed();
}

void CWindow::SetTitle(std::string const& title)
{
    if (title == mTitle)
        return;
    mTitle = title;
    Changed();
}

void CWindow::Activated()
{
    sActive = this;
    SetTarget(this);
    Changed();
}

void CWindow::Deactivated()
{
    if (sActive != this)
        return;
    sActive = nullptr;
    if (GetTarget() == this)
        SetTarget(nullptr);
    Changed();
}

bool CWindow::IsListedKind(short kind)
{
    return kind == kWindowDiff || kind == kWindowConflicts || kind == kWindowSandbox || kind == kWindowLog ||
           kind == kWindowAnnotation;
}

int CWindow::CountOfKind(short kind)
{
    return static_cast<int>(std::count_if(sAll.begin(), sAll.end(), [kind](CWindow* w) { return w->mKind == kind; }));
}

std::vector<SWindowMenuItem> CWindow::WindowMenuItems()
{
    std::vector<SWindowMenuItem> items;
    for (CWindow* w : sWindowList) {
        long const cmd = kCmdFirstWindow + static_cast<long>(items.size());
        if (cmd > kCmdLastWindow)
            break;
        std::string text = w->mKind == kWindowSandbox ? w->mTitle : "   " + w->mTitle;
        items.push_back({cmd, text, w == sActive});
    }
    return items;
}

CWindow* CWindow::WindowForCommand(long command)
{
    if (command < kCmdFirstWindow || command > kCmdLastWindow)
        return nullptr;
    size_t const i = static_cast<size_t>(command - kCmdFirstWindow);
    return i < sWindowList.size() ? sWindowList[i] : nullptr;
}

CBroadcaster& CWindow::Changes()
{
    static CBroadcaster b;
    return b;
}

void CWindow::Changed()
{
    Changes().BroadcastMessage(kMsgWindowListChanged);
}
