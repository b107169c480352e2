#pragma once
// What the sandbox tree needs from the code above it: the information files,
// the edit base copies, the result windows and the resolver of resource
// conflicts. The tree calls these through one hooks object that the program
// installs; without one, each hook does the harmless default given below.

#include "foundation/CString.h"

class CCVSVInfTree;

// The resolver of one file's resource conflicts, owned by its node.
class CRBLResolverBase {
public:
    virtual ~CRBLResolverBase() = default;
    // Resolves what it can for the node; true when the file's CVS entry changed.
    virtual bool ResolveConflicts(CCVSVInfTree* node) = 0;
    // The two revisions the resolver compares (empty when unknown).
    virtual void DiffRevisions(CString& older, CString& newer) const = 0;
};

class CVInfTreeHooks {
public:
    virtual ~CVInfTreeHooks() = default;
    // Writes the information file of a folder (and with `recursive` of the
    // folders below); `onlyUnsaved` skips folders that are saved. Default: nothing.
    virtual void SaveDir(CCVSVInfTree* folder, bool recursive, bool onlyUnsaved) {}
    // Whether the folder on disk has a sandbox information file of its own
    // (looked up without creating anything). Default: false.
    virtual bool HasOwnInfoFile(CCVSVInfTree* folder) { return false; }
    // Store the expansion state / the view filter of a CVS folder in its
    // information file's resources at once. Default: nothing.
    virtual void StoreExpanded(CCVSVInfTree* folder) {}
    virtual void StoreFilter(CCVSVInfTree* folder) {}
    // A temporary-file slot of the node was cleared: close the window that
    // shows it (slot 0 diff, 2 log, 3 annotation). May be called from a client
    // thread; the implementation posts to the main thread. Default: nothing.
    virtual void CloseSlotWindow(CCVSVInfTree* node, short which) {}
    // The file is being edited, modified, and its base copy's date differs
    // from its own. Default: false.
    virtual bool ModifiedRelativeToBase(CCVSVInfTree const* file) { return false; }
};

// Installs the hooks (not owned; null restores the defaults); returns the old ones.
CVInfTreeHooks* SetVInfTreeHooks(CVInfTreeHooks* hooks);
CVInfTreeHooks& VInfTreeHooks();
