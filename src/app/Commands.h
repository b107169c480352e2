#pragma once
// Command numbers and the one menu table every window's menu bar is built
// from. Texts are Mac Roman ("\xC9" is the ellipsis). Shortcuts use the
// portable key sequence form ("Ctrl+O"); an option variant (1101-1199) is an
// item of its own, normally with the Shift form of its base's shortcut.

#include <vector>

enum : long {
    kCmdNothing = 0,
    kCmdAbout = 1,
    kCmdQuit = 2,
    kCmdOpen = 3,
    kCmdClose = 4,
    kCmdPageSetup = 8,
    kCmdPrint = 9,
    kCmdCopy = 13,
    kCmdPaste = 14,
    kCmdPreferences = 27,

    kCmdConsole = 901,
    kCmdLogin = 902,
    kCmdCommentWindow = 903,
    kCmdSearchDirection = 911,
    kCmdStop = 920,
    kCmdInspector = 929,

    kCmdUpdate = 1003,
    kCmdCommit = 1004,
    kCmdDiff = 1005,
    kCmdLog = 1006,
    kCmdStatus = 1007,
    kCmdExport = 1012,
    kCmdImport = 1013,
    kCmdListModules = 1014,
    kCmdCheckout = 1016,

    kCmdRescan = 2001,
    kCmdSaveLog = 2002,
    kCmdAboutText = 4001,
};

struct SMenuItemDesc {
    long command;          // kCmdNothing: a separator
    char const* text;      // Mac Roman
    char const* shortcut;  // may be null
};

struct SMenuDesc {
    char const* title;
    std::vector<SMenuItemDesc> items;
    bool windowMenu = false;  // the window list is appended to it
};

std::vector<SMenuDesc> const& MenuTable();
