#pragma once
// Commanders: objects that answer numbered menu commands.
//
// Commanders form chains: each one may have a supercommander to which it
// passes what it does not handle itself. One commander is the target (the
// one of the active window); commands and their status questions start there
// and travel up to the application at the root.
//
// Command numbers 1101 to 1199 are the option variants of 1001 to 1099: a
// handler sees the base number and the option flag (BaseCommand).

#include <string>
#include <vector>

// Marks of a menu item.
constexpr unsigned char kMarkNone = 0;
constexpr unsigned char kMarkCheck = 0x12;
constexpr unsigned char kMarkBullet = 0xA5;  // Mac Roman bullet

// What the menu shows for one command.
struct SCommandStatus {
    bool enabled = false;
    bool usesMark = false;
    unsigned char mark = kMarkNone;
    std::string name;  // Mac Roman; empty: keep the item's own text
};

class CCommander {
public:
    explicit CCommander(CCommander* super = nullptr);
    virtual ~CCommander();
    CCommander(CCommander const&) = delete;
    CCommander& operator=(CCommander const&) = delete;

    CCommander* GetSuperCommander() const { return mSuper; }
    void SetSuperCommander(CCommander* super);

    // Handles the command or passes it to the supercommander. Returns whether
    // anyone in the chain handled it.
    virtual bool ObeyCommand(long command, void* param);
    // Fills in the status or asks the supercommander; at the root of the chain
    // a command nobody knows is disabled.
    virtual void FindCommandStatus(long command, SCommandStatus& status);

    // The target: where commands start. Null means the root of the chain
    // that was set with SetRoot.
    static CCommander* GetTarget();
    static void SetTarget(CCommander* target);
    static CCommander* GetRoot() { return sRoot; }
    static void SetRoot(CCommander* root) { sRoot = root; }

    // Sends a command along the target chain.
    static bool ProcessCommand(long command, void* param = nullptr);
    // Asks the target chain for a command's status.
    static SCommandStatus ProcessCommandStatus(long command);

    // 1101..1199 -> 1001..1099 with option set; every other number unchanged.
    static long BaseCommand(long command, bool* option = nullptr);

private:
    CCommander* mSuper = nullptr;
    std::vector<CCommander*> mSubs;
    static CCommander* sTarget;
    static CCommander* sRoot;
};
