#pragma once
// The sandbox tree: one node per file and folder of an open sandbox, with the
// file's CVS entry, what the disk says about it and what the window needs.
//
// A folder node owns a CDirData with its children (sorted by name, byte order)
// and the folder's CVS settings; a file node has none. Tree operations are
// methods of a folder node and take slash paths relative to it. Failing edits
// return -1 (or 1 where said) and set errno: ENOENT, ENOTDIR, EISDIR, or the
// tree's own kVInfNoSuchItem and kVInfNotCVSFolder.
//
// The tree has no lock: only the thread holding the baton touches it.

#include "filesystem/CLongFSSpec.h"
#include "foundation/CString.h"
#include "foundation/TPtrArray.h"
#include "platform/MacFiles.h"
#include "sandbox/CCVSVInfFilter.h"
#include "sandbox/VInfTreeHooks.h"
#include "sandbox/WatchersEditors.h"

#include <cstdint>

enum : int {
    kVInfNoSuchItem = 20101,   // the path names no item
    kVInfNotCVSFolder = 20102  // the folder is not a CVS folder
};

// Storage formats of a file in the repository.
enum : unsigned char { kStorageDataFork = 0, kStorageAppleSingle = 1, kStorageRBL = 2 };

// Slots of the temporary files a node may own.
enum : short { kSpecDiff = 0, kSpecFetched = 1, kSpecLog = 2, kSpecAnnotate = 3, eNumSpecs = 4 };

// Conditions of CountNodeProperties and CountFilesInSelection.
enum : unsigned long {
    kSelHasDiff = 0x0001,
    kSelHasLog = 0x0002,
    kSelConflict = 0x0004,
    kSelIsFile = 0x0008,
    kSelNotLost = 0x0010,
    kSelDataForkOnly = 0x0020,
    kSelNoVirtRepository = 0x0040,
    kSelHasAnnotation = 0x0080,
    kSelEditing = 0x0100,
    kSelNotEditing = 0x0200,
    kSelModified = 0x0400,
    kSelModifiedRelativeToBase = 0x0800,
    kSelNeedsUpdate = 0x1000,
    kSelCountNonCVS = 0x8000
};

// FlagWord bits.
enum : unsigned long {
    kFlagModified = 0x1,
    kFlagConflict = 0x2,
    kFlagNotInCVS = 0x4,
    kFlagLost = 0x8,
    kFlagHasLog = 0x10,
    kFlagHasDiff = 0x20,
    kFlagEditing = 0x200000
};

// Something the display can draw an icon for. The icon itself is the window's
// business; DropIconSuiteRef tells it that the item's information changed.
class CIconedThing {
public:
    virtual ~CIconedThing() = default;
    virtual OSErr FileFSSpec(FSSpec& out) = 0;
    void DropIconSuiteRef() { ++mIconGeneration; }
    unsigned long IconGeneration() const { return mIconGeneration; }

private:
    unsigned long mIconGeneration = 0;
};

class CCVSVInfTree;

// The folder data of a folder node.
class CDirData {
public:
    static constexpr long kNoLocation = 0x00AFFE00;
    // Counter indices; each counter has two values: [0] this folder only,
    // [1] this folder and every CVS folder below.
    enum { kCntConflicts, kCntModified, kCntNeedUpdate, kCntBeingEdited, kCntLost, kCntNonCVS, kCntFiles,
           kNumCounters };

    CDirData();
    ~CDirData();
    CDirData(CDirData const&) = delete;
    CDirData& operator=(CDirData const&) = delete;

    TPtrArray<CCVSVInfTree> mChildren;
    long mVRefNum = kNoLocation;
    long mDirID = kNoLocation;
    unsigned long mCounters[kNumCounters][2] = {};
    unsigned long mNumFilterPassed = 0;
    CString mCVSRoot;
    CString mCVSRepository;
    CString mCVSUser;
    CString mCVSPassword;  // this run only, never stored
    CString mCVSHost;
    unsigned short mCVSPort = 2401;
    CCVSVInfFilter mFilter;
    unsigned char mStatic = 0;
    unsigned char mSaved = 1;
    unsigned char mExpanded = 1;
    unsigned char mForeign = 0;
    unsigned char mLongNames = 0;
    unsigned char mAllFilterPassed = 1;
    TPtrArray<CString> mCVSIgnore;
};

class CCVSVInfTree : public CIconedThing {
public:
    // An empty file node without parent (a search key).
    CCVSVInfTree();
    // A folder node. Does not link itself into the parent.
    CCVSVInfTree(CString const& name, CCVSVInfTree* parent);
    // A file node.
    CCVSVInfTree(CString const& name, CString const& revision, CCVSVInfTree* parent);
    ~CCVSVInfTree() override;
    CCVSVInfTree(CCVSVInfTree const&) = delete;
    CCVSVInfTree& operator=(CCVSVInfTree const&) = delete;
    // Turns a search key into a fresh file node named `name`.
    CCVSVInfTree& operator=(CString const& name);

    // ---- Identity and location
    void SetMacFolder(long vRefNum, long dirID);
    OSErr FileFSSpec(FSSpec& out) override;
    OSErr LongFileFSSpec(CLongFSSpec& out) const;
    // "/name/revision/conflict/options/tag".
    CString CVSEntry() const;
    void SetCVSPassword(CString const& password);
    void Reroot(CString const& root, CString const& user, CString const& host, unsigned short port);

    // ---- Queries
    bool IsDir() const { return mContents != nullptr; }
    bool IsCVSDir() const { return mContents && !mContents->mCVSRoot.Empty() && mContents->mForeign == 0; }
    bool InCVS() const { return IsCVSDir() || !mRevision.Empty(); }
    bool HasVirtRepository() const { return IsCVSDir() && mContents->mCVSRepository == "CVSROOT/Emptydir"; }
    bool IsModified() const;
    bool ModifiedRelativeToBase() const;

    CCVSVInfTree* Parent() const;
    CDirData* Contents() const { return mContents; }
    long VRefNum() const;
    long DirID() const;
    CString CVSRoot() const;
    CString CVSRepository() const;
    CString CVSUser() const;
    CString CVSHost() const;
    unsigned short CVSPort() const;
    CString CVSPassword() const;
    CCVSVInfFilter Filter() const;
    bool AllFilterPassed() const;

    unsigned long NumConflicts(bool total) const { return Counter(CDirData::kCntConflicts, total); }
    unsigned long NumModified(bool total) const { return Counter(CDirData::kCntModified, total); }
    unsigned long NumNeedUpdate(bool total) const { return Counter(CDirData::kCntNeedUpdate, total); }
    unsigned long NumBeingEdited(bool total) const { return Counter(CDirData::kCntBeingEdited, total); }
    unsigned long NumLost(bool total) const { return Counter(CDirData::kCntLost, total); }
    unsigned long NumNonCVS(bool total) const { return Counter(CDirData::kCntNonCVS, total); }
    unsigned long NumFiles(bool total) const { return Counter(CDirData::kCntFiles, total); }

    // ---- Lookup and selection
    CCVSVInfTree* FindFile(CString const& path);
    CCVSVInfTree* FindNode(CLongFSSpec const& spec, bool orContainer);
    bool MarkFSSpecSelected(CLongFSSpec const& spec);
    bool CrossRefs(CCVSVInfTree const* folder) const;
    void UnselectAll();
    void PropagateSelection(bool select);
    CCVSVInfTree* FindHighestSelection();
    unsigned long GetCVSSelection(unsigned long mask, bool& ok, unsigned long* counts) const;
    unsigned long CountNodeProperties(unsigned long mask, bool& ok, unsigned long* counts) const;
    unsigned long CountFilesInSelection(unsigned long mask, bool inSelection) const;
    unsigned long GetCVSSelectionList(CString& list) const;
    void Flatten(TPtrArray<CCVSVInfTree>& out, bool selectedOnly, bool intoSelected);
    unsigned long FlagWord() const;
    unsigned long CountModified() const;

    // ---- Edits
    CCVSVInfTree* CreateFile(CString const& path);
    int Mkdir(CString const& path, CString const& repository, CString const& root, CString const& user,
              CString const& host, unsigned short port);
    int AddCVSInfoDir(CString const& path, CString const& repository, CString const& root, CString const& user,
                      CString const& host, unsigned short port);
    int AddCVSInfoFile(CString const& path, CString const& storage, CString const& revision,
                       CString const& conflict, CString const& options, CString const& tag,
                       CString const& baseRevision, unsigned long cvsDate, bool needsUpdate,
                       unsigned long baseDate, bool baseNeedsUpdate, CRBLResolverBase* resolver);
    int Unlink(CString const& path);
    int UnLose(CString const& path);
    int MarkDeleted(CString const& path, bool deleted);
    void RemoveDeletedNodes();
    int MarkCVSFileDirty(CString const& path, bool isFolder);
    int TagFileOrDir(CString const& path, CString const& tag);
    int SetStatic(CString const& path, bool isStatic);
    void TellEncoding(CString const& letter);
    int TellTypeCreator(unsigned long type, unsigned long creator);
    void TellNeedsUpdate(bool needsUpdate);
    void TouchTree(bool all);
    unsigned long AddCVSInfoDirSelected();
    unsigned long PruneEmptyFolders(unsigned short depth, bool selectedOnly);
    void WeedOut();
    // Marks the folder's information file as needing a rewrite.
    void MarkUnsaved();

    // ---- Temporary files, watchers and editors, resolver
    FSSpec* Spec(short which) const;
    bool SetSpec(short which, FSSpec* spec);
    bool SetSpec(short which, CString const& path, FSSpec* spec);
    void ForgetSpec(short which, bool recursive);
    bool ClearSelectedStuff(bool inSelection, bool recursive, unsigned short which);
    bool TellWatchers(CWatchersList* list);
    bool TellEditors(CEditorsList* list);
    CWatchersList const* Watchers() const { return mWatchers; }
    CEditorsList const* Editors() const { return mEditors; }
    bool Watched(bool byMe) const;
    bool EditedByOthers() const;
    CRBLResolverBase* Resolver() const { return mResolver; }
    void GetRBLConflictList(TPtrArray<CCVSVInfTree>& out);
    int ResolveRBLConflicts();
    bool ResolverDiffRevisions(CString& older, CString& newer) const;

    // ---- View state
    void TellExpanded(bool expanded);
    void TellFilter(CCVSVInfFilter const& filter);
    bool FilterFiles(CCVSVInfFilter const& filter, bool& allPassed, CCVSVInfTree const* keep);

    // ---- Fields (the other sandbox code and the engine read and set them)
    CString mName;
    CString mRevision;
    CString mConflict;
    CString mTag;
    CString mOptions;
    CString mBackupName;
    CString mBaseRevision;
    unsigned long mModDate = 0;
    unsigned long mCVSDate = 0;
    unsigned long mDataSize = 0;
    unsigned long mRsrcSize = 0;
    unsigned long mBaseDate = 0;
    unsigned long mCreator = 0;
    unsigned long mType = 0;
    CCVSVInfTree* mParent = nullptr;
    CDirData* mContents = nullptr;
    unsigned char mSelected = 0;
    unsigned char mLost = 1;
    unsigned char mTouched = 0;
    unsigned char mFilterPassed = 1;
    unsigned char mDeleted = 0;
    unsigned char mLocked = 0;
    unsigned char mNeedsUpdate = 0;
    unsigned char mBaseNeedsUpdate = 0;
    unsigned char mStorage = kStorageDataFork;

    void ResetConflict() { mConflict = ""; }

private:
    unsigned long Counter(int which, bool total) const;
    CCVSVInfTree* FindChild(CString const& name) const;
    void InsertChild(CCVSVInfTree* child);
    bool DetachChild(CCVSVInfTree* child);
    void ResetFields();
    void DeleteSpecFile(short which);

    CWatchersList* mWatchers = nullptr;
    CEditorsList* mEditors = nullptr;
    FSSpec* mSpecs[eNumSpecs] = {};
    CRBLResolverBase* mResolver = nullptr;
};

// Child order: strcmp of the names.
int parr_compare(CCVSVInfTree& a, CCVSVInfTree& b);

// A CVS folder node or a repository directory, to find folders by repository.
class CCVSVInfDirAndRepoDir {
public:
    explicit CCVSVInfDirAndRepoDir(CCVSVInfTree* node);
    explicit CCVSVInfDirAndRepoDir(CString const& repDir);
    CString RepDir() const;
    CCVSVInfTree* mNode = nullptr;
    CString mRepDir;
};

int parr_compare(CCVSVInfDirAndRepoDir& a, CCVSVInfDirAndRepoDir& b);
