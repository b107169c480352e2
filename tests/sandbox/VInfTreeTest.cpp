#include "sandbox/CCVSVInfTree.h"

#include "foundation/Log.h"
#include "foundation/TextUtils.h"
#include "platform/MacFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A scratch folder on disk, removed at the end.
class CScratch {
public:
    CScratch()
    {
        char tmpl[] = "/tmp/fw-vinf-XXXXXX";
        char* dir = mkdtemp(tmpl);
        if (dir)
            mPath = dir;
    }
    ~CScratch()
    {
        std::error_code ec;
        if (!mPath.empty())
            fs::remove_all(mPath, ec);
    }
    std::string const& Path() const { return mPath; }
    std::string Make(std::string const& rel, bool folder = true) const
    {
        const std::string p = mPath + "/" + rel;
        if (folder)
            fs::create_directories(p);
        else
            std::ofstream(p) << "x";
        return p;
    }

private:
    std::string mPath;
};

// Points a folder node at a folder on disk.
void Locate(CCVSVInfTree* node, std::string const& path)
{
    int16_t vRefNum = 0;
    int32_t dirID = 0;
    ASSERT_EQ(GetDirIDFromPath(path, &vRefNum, &dirID), noErr) << path;
    node->SetMacFolder(vRefNum, dirID);
}

// Root "_" holding the CVS folder "top" (root /cvs, repository "mod").
struct STree {
    STree()
    {
        root = new CCVSVInfTree("_", nullptr);
        top = new CCVSVInfTree("top", root);
        root->Contents()->mChildren.insert(top);
        MakeCVS(top, "mod");
    }
    ~STree() { delete root; }

    static void MakeCVS(CCVSVInfTree* folder, char const* repository)
    {
        CDirData* d = folder->Contents();
        d->mCVSRoot = "/cvs";
        d->mCVSRepository = repository;
        d->mCVSUser = "anon";
        d->mCVSHost = "h";
        folder->mLost = 0;
    }
    CCVSVInfTree* Folder(CString const& path, bool cvs = true)
    {
        CString dir, name;
        SplitPath(path, dir, name);
        CCVSVInfTree* parent = top->FindFile(dir);
        auto* node = new CCVSVInfTree(name, parent);
        parent->Contents()->mChildren.insert(node);
        if (cvs)
            MakeCVS(node, (std::string("mod/") + path.c_str()).c_str());
        return node;
    }
    CCVSVInfTree* File(CString const& path, char const* revision = "1.1")
    {
        CCVSVInfTree* f = top->CreateFile(path);
        f->mRevision = revision;
        f->mLost = 0;
        return f;
    }

    CCVSVInfTree* root;
    CCVSVInfTree* top;
};

TEST(VInfTree, FindFileWalksPaths)
{
    STree t;
    CCVSVInfTree* a = t.Folder("a");
    CCVSVInfTree* b = t.File("a/b");
    struct {
        char const* path;
        CCVSVInfTree* expected;
    } const cases[] = {
        {"", t.top},           {".", t.top},         {"./.", t.top},     {"a", a},
        {"a/b", b},            {"a/b/.", nullptr},   {"a/./b", b},         {"a//b", b},        {"a/b/../b", nullptr},
        {"a/../a/b", b},       {"..", t.root},       {"../..", nullptr}, {"a/b/c", nullptr},
        {"missing", nullptr},  {"a/missing", nullptr},
    };
    for (auto const& c : cases)
        EXPECT_EQ(t.top->FindFile(c.path), c.expected) << c.path;
    EXPECT_EQ(t.root->FindFile(".."), nullptr);
}

TEST(VInfTree, ChildrenStayInByteOrder)
{
    STree t;
    for (char const* name : {"a", "\xE9t\xE9", "z", "B"})
        t.File(name);
    t.File("0first");
    std::vector<std::string> names;
    for (CCVSVInfTree* child : t.top->Contents()->mChildren)
        names.push_back(child->mName.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"0first", "B", "a", "z", "\xE9t\xE9"}));
}

TEST(VInfTree, CreateFileAndEntryLines)
{
    STree t;
    errno = 0;
    EXPECT_EQ(t.top->CreateFile("nofolder/x"), nullptr);
    EXPECT_EQ(errno, ENOTDIR);
    for (char const* bad : {".", ""}) {
        errno = 0;
        EXPECT_EQ(t.top->CreateFile(bad), nullptr) << bad;
        EXPECT_EQ(errno, kVInfNoSuchItem) << bad;
    }

    t.top->Contents()->mSaved = 1;
    CCVSVInfTree* n = t.top->CreateFile("n");
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->mParent, t.top);
    EXPECT_EQ(t.top->Contents()->mSaved, 0);
    EXPECT_EQ(n->mLost, 1);
    EXPECT_EQ(n->mFilterPassed, 1);
    t.top->Contents()->mSaved = 1;
    EXPECT_EQ(t.top->CreateFile("n"), n);
    EXPECT_EQ(t.top->Contents()->mSaved, 1);

    n->mRevision = "1.2";
    EXPECT_EQ(n->CVSEntry(), "/n/1.2///");
    ASSERT_EQ(t.top->AddCVSInfoFile("n", "a", "1.3", "Result of merge", "-kb", "Tbranch", "", 42, true, 0, false,
                                    nullptr),
              0);
    EXPECT_EQ(n->CVSEntry(), "/n/1.3/Result of merge/-kb/Tbranch");
    EXPECT_EQ(n->mStorage, kStorageAppleSingle);
    EXPECT_EQ(n->mCVSDate, 42u);
    EXPECT_EQ(n->mNeedsUpdate, 1);
    EXPECT_EQ(t.top->Contents()->mSaved, 1); // a changed entry alone does not mark the folder
    EXPECT_EQ(t.top->AddCVSInfoFile("nofolder/x", "", "1.1", "", "", "", "", 0, false, 0, false, nullptr), 1);
}

TEST(VInfTree, EditsReportTheirErrors)
{
    STree t;
    CCVSVInfTree* plain = t.Folder("plain", false);
    CCVSVInfTree* f = t.File("f");

    errno = 0;
    EXPECT_EQ(t.top->Unlink("nofolder/x"), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(t.top->Unlink("missing"), -1);
    EXPECT_EQ(errno, ENOENT);

    EXPECT_EQ(t.top->MarkCVSFileDirty("missing", false), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(t.root->MarkCVSFileDirty("", false), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(t.top->MarkCVSFileDirty("plain", true), -1);
    EXPECT_EQ(errno, kVInfNotCVSFolder);
    t.top->Contents()->mSaved = 1;
    EXPECT_EQ(t.top->MarkCVSFileDirty("f", false), 0);
    EXPECT_EQ(t.top->Contents()->mSaved, 0);

    EXPECT_EQ(t.top->SetStatic("plain", true), -1);
    EXPECT_EQ(errno, kVInfNotCVSFolder);
    // An unsaved folder still records the new value.
    ASSERT_EQ(t.top->SetStatic("", true), 0);
    EXPECT_EQ(t.top->Contents()->mStatic, 1);
    t.top->Contents()->mSaved = 1;
    ASSERT_EQ(t.top->SetStatic("", true), 0);
    EXPECT_EQ(t.top->Contents()->mSaved, 1); // unchanged value

    // A folder's tag marks it only when it changes; a file's tag never does.
    ASSERT_EQ(t.top->TagFileOrDir("", ""), 0);
    EXPECT_EQ(t.top->Contents()->mSaved, 1);
    ASSERT_EQ(t.top->TagFileOrDir("", "Tv1"), 0);
    EXPECT_EQ(t.top->Contents()->mSaved, 0);
    t.top->Contents()->mSaved = 1;
    ASSERT_EQ(t.top->TagFileOrDir("f", "Tv1"), 0);
    EXPECT_EQ(f->mTag, "Tv1");
    EXPECT_EQ(t.top->Contents()->mSaved, 1);
    EXPECT_EQ(t.top->TagFileOrDir("missing", "T"), -1);

    EXPECT_EQ(plain->TellTypeCreator(1, 2), -1);
    EXPECT_EQ(errno, EISDIR);
    ASSERT_EQ(f->TellTypeCreator(0x54455854, 0), 0);
    f->TellTypeCreator(0, 0x74747874);
    EXPECT_EQ(f->mType, 0x54455854u);
    EXPECT_EQ(f->mCreator, 0x74747874u);

    const unsigned long checks = CheckFailureCount();
    struct {
        char const* letter;
        unsigned char expected;
    } const letters[] = {{"r", 2}, {"", 2}, {"x", 2}, {"d", 0}, {"a", 1}};
    for (auto const& l : letters) {
        f->TellEncoding(l.letter);
        EXPECT_EQ(f->mStorage, l.expected) << l.letter;
    }
    EXPECT_EQ(CheckFailureCount(), checks + 1); // "x" is a programming error

    EXPECT_EQ(t.top->UnLose("missing"), -1);
    EXPECT_EQ(t.top->MarkDeleted("missing", true), -1);
    EXPECT_EQ(t.top->Unlink("plain"), 0);
    EXPECT_EQ(t.top->FindFile("plain"), nullptr);
}

TEST(VInfTree, MkdirMakesNodesForFoldersOnDisk)
{
    CScratch disk;
    disk.Make("top/sub/deeper");
    STree t;
    Locate(t.top, disk.Path() + "/top");

    errno = 0;
    EXPECT_EQ(t.top->Mkdir("", "mod/x", "/cvs", "u", "h", 2401), -1);
    EXPECT_EQ(errno, kVInfNoSuchItem);
    EXPECT_EQ(t.top->Mkdir("..", "mod/x", "/cvs", "u", "h", 2401), -1);
    EXPECT_EQ(t.top->Mkdir("missing/x", "", "", "", "", 0), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(t.top->Mkdir("absent", "", "", "", "", 0), -1);
    EXPECT_EQ(errno, fnfErr); // the folder must exist on disk

    t.top->Contents()->mSaved = 1;
    ASSERT_EQ(t.top->Mkdir("sub", "mod/sub", "/cvs", "u", "h", 2402), 0);
    CCVSVInfTree* sub = t.top->FindFile("sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->IsCVSDir());
    EXPECT_EQ(sub->mLost, 0);
    EXPECT_EQ(sub->CVSPort(), 2402);
    EXPECT_EQ(t.top->Contents()->mSaved, 0);
    EXPECT_EQ(sub->Contents()->mSaved, 0); // it needs an information file of its own
    std::string path;
    ASSERT_EQ(GetDirPath(static_cast<int32_t>(sub->DirID()), path), noErr);
    EXPECT_EQ(fs::canonical(path), fs::canonical(disk.Path() + "/top/sub"));

    // An existing CVS folder keeps its settings.
    ASSERT_EQ(t.top->Mkdir("sub", "other/repo", "/elsewhere", "x", "y", 1), 0);
    EXPECT_EQ(sub->CVSRepository(), "mod/sub");
    EXPECT_EQ(sub->CVSRoot(), "/cvs");

    // "a/." only stores the settings of a.
    ASSERT_EQ(t.top->Mkdir("sub/deeper", "", "", "", "", 0), 0);
    CCVSVInfTree* deeper = t.top->FindFile("sub/deeper");
    ASSERT_NE(deeper, nullptr);
    EXPECT_FALSE(deeper->IsCVSDir());
    ASSERT_EQ(t.top->Mkdir("sub/deeper/.", "mod/sub/deeper", "/cvs", "u", "h", 2401), 0);
    EXPECT_TRUE(deeper->IsCVSDir());
    EXPECT_EQ(deeper->Contents()->mChildren.Count(), 0);
}

TEST(VInfTree, FindHighestSelection)
{
    STree t;
    t.Folder("a");
    t.Folder("a/b");
    t.Folder("a/c");
    CCVSVInfTree* inB = t.File("a/b/f");
    CCVSVInfTree* inC = t.File("a/c/g");

    EXPECT_EQ(t.top->FindHighestSelection(), nullptr);
    inB->mSelected = 1;
    EXPECT_EQ(t.top->FindHighestSelection(), t.top->FindFile("a/b"));
    inC->mSelected = 1;
    EXPECT_EQ(t.top->FindHighestSelection(), t.top->FindFile("a"));
    t.top->UnselectAll();
    t.top->mSelected = 1;
    EXPECT_EQ(t.top->FindHighestSelection(), t.top);
    t.top->UnselectAll();
    t.top->FindFile("a")->PropagateSelection(true);
    EXPECT_EQ(inB->mSelected, 1);
    EXPECT_EQ(inC->mSelected, 1);
    EXPECT_EQ(t.top->mSelected, 0);
}

TEST(VInfTree, SelectionQueries)
{
    STree t;
    CCVSVInfTree* a = t.Folder("a");
    CCVSVInfTree* modified = t.File("a/m");
    modified->mModDate = 5; // differs from the CVS date
    CCVSVInfTree* clean = t.File("a/c");
    CCVSVInfTree* stranger = t.File("a/s", "");

    modified->mSelected = 1;
    a->mSelected = 1;
    bool ok = true;
    unsigned long counts[2] = {};
    EXPECT_EQ(t.top->GetCVSSelection(kSelIsFile | kSelModified, ok, counts), 2u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(counts[0], 1u);
    EXPECT_EQ(counts[1], 1u);

    ok = true;
    EXPECT_EQ(modified->CountNodeProperties(kSelIsFile | kSelModified, ok, nullptr), 1u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(stranger->CountNodeProperties(kSelIsFile, ok, nullptr), 0u);
    EXPECT_EQ(stranger->CountNodeProperties(kSelIsFile | kSelCountNonCVS, ok, nullptr), 1u);

    // Below a selected folder every file counts.
    EXPECT_EQ(t.top->CountFilesInSelection(0, false), 3u);
    EXPECT_EQ(t.top->CountFilesInSelection(kSelModified, false), 1u);
    EXPECT_EQ(t.top->CountFilesInSelection(kSelModifiedRelativeToBase, false), 0u);

    CString list;
    EXPECT_EQ(t.top->GetCVSSelectionList(list), 2u);
    EXPECT_EQ(list, "a, m");

    TPtrArray<CCVSVInfTree> flat;
    t.top->Flatten(flat, false, true);
    EXPECT_EQ(flat.Count(), 5);
    TPtrArray<CCVSVInfTree> selectedOnly;
    t.top->Flatten(selectedOnly, true, false);
    ASSERT_EQ(selectedOnly.Count(), 1); // the children of a selected folder are skipped
    EXPECT_EQ(selectedOnly[0], a);

    EXPECT_EQ(modified->FlagWord(), kFlagModified);
    EXPECT_EQ(stranger->FlagWord(), kFlagNotInCVS);
    clean->mLost = 1;
    clean->mConflict = "x";
    EXPECT_EQ(clean->FlagWord(), kFlagLost | kFlagConflict);
    EXPECT_EQ(t.top->CountModified(), 1u);

    t.top->TouchTree(false); // only the selected file
    EXPECT_EQ(modified->mTouched, 1);
    EXPECT_EQ(clean->mTouched, 0);
    EXPECT_EQ(stranger->mTouched, 0);
    t.top->TouchTree(true);
    EXPECT_EQ(clean->mTouched, 1);
    EXPECT_EQ(stranger->mTouched, 0); // not under CVS
}

TEST(VInfTree, NeedsUpdateOfAnEditedFile)
{
    STree t;
    CCVSVInfTree* f = t.File("f", "1.3");
    struct {
        char const* base;
        bool needsUpdate;
        unsigned char baseNeedsUpdate;
    } const cases[] = {
        {"1.2", true, 1}, {"1.3", true, 1}, {"1.4", true, 0}, {"1.2", false, 0}, {"", true, 0}, {"1.2.2.1", true, 0},
    };
    for (auto const& c : cases) {
        f->mBaseRevision = c.base;
        f->mBaseNeedsUpdate = 0;
        f->TellNeedsUpdate(c.needsUpdate);
        EXPECT_EQ(f->mNeedsUpdate, c.needsUpdate ? 1 : 0);
        EXPECT_EQ(f->mBaseNeedsUpdate, c.baseNeedsUpdate) << c.base << " " << c.needsUpdate;
    }
    f->mBaseRevision = "1.2";
    f->TellNeedsUpdate(true);
    f->TellNeedsUpdate(false);
    EXPECT_EQ(f->mBaseNeedsUpdate, 1); // never cleared here
}

TEST(VInfTree, PruneEmptyFoldersOnDisk)
{
    CScratch disk;
    disk.Make("top/empty/CVS.sandboxinfo");
    disk.Make("top/empty/.DS_Store", false);
    disk.Make("top/tracked/CVS.sandboxinfo");
    disk.Make("top/tracked/.DS_Store", false);
    disk.Make("top/full/CVS.sandboxinfo");
    disk.Make("top/full/keep.c", false);
    disk.Make("top/CVS.sandboxinfo");

    STree t;
    Locate(t.top, disk.Path() + "/top");
    for (char const* name : {"empty", "tracked", "full"}) {
        CCVSVInfTree* f = t.Folder(name);
        Locate(f, disk.Path() + "/top/" + name);
    }
    CCVSVInfTree* dsStore = t.File("empty/.DS_Store", "");
    t.File("tracked/.DS_Store", "1.1");

    EXPECT_EQ(t.top->PruneEmptyFolders(1, true), 0u); // nothing selected
    // The top folder is protected by depth 1.
    EXPECT_EQ(t.top->PruneEmptyFolders(1, false), 3u);
    EXPECT_FALSE(fs::exists(disk.Path() + "/top/empty"));
    EXPECT_TRUE(t.top->FindFile("empty")->mDeleted);
    EXPECT_TRUE(dsStore->mDeleted);
    EXPECT_TRUE(fs::exists(disk.Path() + "/top/tracked/.DS_Store"));
    EXPECT_TRUE(fs::exists(disk.Path() + "/top/full/keep.c"));
    EXPECT_TRUE(fs::exists(disk.Path() + "/top"));
    EXPECT_FALSE(t.top->mDeleted);

    t.top->RemoveDeletedNodes();
    EXPECT_EQ(t.top->FindFile("empty"), nullptr);
    EXPECT_NE(t.top->FindFile("tracked"), nullptr);
}

TEST(VInfTree, WeedOutKeepsWhatARescanCarriesOver)
{
    STree t;
    CCVSVInfTree* sub = t.Folder("sub");
    t.File("plain");
    t.File("sub/plain");
    t.File("selected")->mSelected = 1;
    t.File("rbl")->mStorage = kStorageRBL;
    TPtrArray<SWatcher> watchers(kPArrOwning);
    watchers.append(new SWatcher{"someone", 1});
    t.File("watched")->TellWatchers(new CWatchersList(watchers, CWatchersList::kWatchedByOthers));
    t.Folder("stranger", false);
    t.top->Contents()->mSaved = 1;

    t.top->WeedOut();
    for (char const* kept : {"sub", "selected", "rbl", "watched"})
        EXPECT_NE(t.top->FindFile(kept), nullptr) << kept;
    for (char const* gone : {"plain", "sub/plain", "stranger"})
        EXPECT_EQ(t.top->FindFile(gone), nullptr) << gone;
    EXPECT_EQ(t.top->Contents()->mSaved, 0);
    EXPECT_EQ(sub->Contents()->mSaved, 0);
    EXPECT_TRUE(t.top->FindFile("watched")->Watched(false));
    EXPECT_FALSE(t.top->FindFile("watched")->Watched(true));
}

class CRecordingHooks : public CVInfTreeHooks {
public:
    void SaveDir(CCVSVInfTree* folder, bool recursive, bool onlyUnsaved) override { saved.push_back(folder); }
    void CloseSlotWindow(CCVSVInfTree* node, short which) override { closed.push_back(which); }
    void StoreFilter(CCVSVInfTree* folder) override { ++filtersStored; }
    void StoreExpanded(CCVSVInfTree* folder) override { ++expandedStored; }
    std::vector<CCVSVInfTree*> saved;
    std::vector<short> closed;
    int filtersStored = 0;
    int expandedStored = 0;
};

TEST(VInfTree, TemporaryFilesBelongToTheirNode)
{
    CScratch disk;
    CRecordingHooks hooks;
    SetVInfTreeHooks(&hooks);
    auto tempFile = [&](char const* name) {
        auto* spec = new FSSpec;
        EXPECT_EQ(FSMakeFSSpecFromPath(disk.Make(name, false), spec), noErr);
        return spec;
    };
    {
        STree t;
        CCVSVInfTree* f = t.File("f");
        FSSpec* diff = tempFile("diff1");
        EXPECT_TRUE(f->SetSpec(kSpecDiff, diff));
        EXPECT_FALSE(f->SetSpec(kSpecDiff, diff)); // the same file stays
        EXPECT_TRUE(fs::exists(disk.Path() + "/diff1"));
        EXPECT_TRUE(f->SetSpec(kSpecDiff, tempFile("diff2")));
        EXPECT_FALSE(fs::exists(disk.Path() + "/diff1"));
        EXPECT_EQ(hooks.closed, std::vector<short>{kSpecDiff});

        // A file already gone is fine.
        FSSpec* log = tempFile("log");
        f->SetSpec(kSpecLog, log);
        fs::remove(disk.Path() + "/log");
        EXPECT_TRUE(f->SetSpec(kSpecLog, nullptr));

        EXPECT_TRUE(t.top->SetSpec(kSpecAnnotate, "f", tempFile("annotate")));
        EXPECT_FALSE(t.top->SetSpec(kSpecAnnotate, "missing", nullptr));
        EXPECT_EQ(f->Spec(7), nullptr);
        EXPECT_EQ(f->FlagWord(), kFlagHasDiff);

        f->SetSpec(kSpecFetched, tempFile("fetched"));
        f->mSelected = 1;
        EXPECT_TRUE(t.top->ClearSelectedStuff(false, false, kSpecAnnotate));
        EXPECT_FALSE(fs::exists(disk.Path() + "/annotate"));
        EXPECT_TRUE(fs::exists(disk.Path() + "/diff2"));
    } // the node's destructor deletes the rest
    EXPECT_FALSE(fs::exists(disk.Path() + "/diff2"));
    EXPECT_FALSE(fs::exists(disk.Path() + "/fetched"));
    SetVInfTreeHooks(nullptr);
}

class CFakeResolver : public CRBLResolverBase {
public:
    explicit CFakeResolver(bool* destroyed) : mDestroyed(destroyed) {}
    ~CFakeResolver() override { *mDestroyed = true; }
    bool ResolveConflicts(CCVSVInfTree* node) override
    {
        node->mConflict = "";
        return true;
    }
    void DiffRevisions(CString& older, CString& newer) const override
    {
        older = "1.2";
        newer = "1.3";
    }

private:
    bool* mDestroyed;
};

TEST(VInfTree, ResolverAndViewState)
{
    CRecordingHooks hooks;
    SetVInfTreeHooks(&hooks);
    STree t;
    bool destroyed = false;
    ASSERT_EQ(t.top->AddCVSInfoFile("r", "r", "1.3", "conflict", "", "", "", 0, false, 0, false,
                                    new CFakeResolver(&destroyed)),
              0);
    TPtrArray<CCVSVInfTree> conflicts;
    t.root->GetRBLConflictList(conflicts);
    ASSERT_EQ(conflicts.Count(), 1);
    CString older, newer;
    EXPECT_TRUE(conflicts[0]->ResolverDiffRevisions(older, newer));
    EXPECT_EQ(older, "1.2");
    t.top->Contents()->mSaved = 1;
    EXPECT_EQ(conflicts[0]->ResolveRBLConflicts(), 1);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(conflicts[0]->Resolver(), nullptr);
    EXPECT_EQ(hooks.saved, std::vector<CCVSVInfTree*>{t.top});
    EXPECT_EQ(t.top->Contents()->mSaved, 0);

    t.top->Contents()->mSaved = 1;
    t.top->TellExpanded(true); // unchanged
    EXPECT_EQ(hooks.expandedStored, 0);
    t.top->TellExpanded(false);
    EXPECT_EQ(hooks.expandedStored, 1);
    EXPECT_EQ(t.top->Contents()->mSaved, 0);
    const CCVSVInfFilter f(CCVSVInfFilter::kModeShow, CCVSVInfFilter::kCombineOr, CCVSVInfFilter::kModified, "");
    t.top->TellFilter(f);
    t.top->TellFilter(f);
    EXPECT_EQ(hooks.filtersStored, 1);
    EXPECT_EQ(t.top->Filter(), f);
    t.root->TellFilter(f); // not a CVS folder
    EXPECT_EQ(hooks.filtersStored, 1);
    SetVInfTreeHooks(nullptr);
}

TEST(VInfTree, FilterFilesRecordsVisibility)
{
    STree t;
    CCVSVInfTree* sub = t.Folder("sub");
    CCVSVInfTree* modified = t.File("sub/m");
    modified->mModDate = 1;
    CCVSVInfTree* both = t.File("sub/b");
    both->mModDate = 1;
    both->mConflict = "c";
    CCVSVInfTree* clean = t.File("c");

    using F = CCVSVInfFilter;
    bool all = true;
    t.top->FilterFiles(F(F::kModeShow, F::kCombineAnd, F::kModified | F::kConflict, ""), all, nullptr);
    EXPECT_FALSE(all);
    EXPECT_EQ(modified->mFilterPassed, 0);
    EXPECT_EQ(both->mFilterPassed, 1);
    EXPECT_EQ(clean->mFilterPassed, 0);
    EXPECT_EQ(sub->mFilterPassed, 1); // a visible child keeps its folder visible
    EXPECT_FALSE(sub->AllFilterPassed());

    // Hiding folders hides only folders without a visible file.
    all = true;
    t.top->FilterFiles(F(F::kModeHide, F::kCombineOr, F::kFolders, ""), all, nullptr);
    EXPECT_EQ(sub->mFilterPassed, 1);
    EXPECT_EQ(clean->mFilterPassed, 1);
    CCVSVInfTree* empty = t.Folder("empty");
    all = true;
    t.top->FilterFiles(F(F::kModeHide, F::kCombineOr, F::kFolders, ""), all, nullptr);
    EXPECT_EQ(empty->mFilterPassed, 0);
    all = true;
    t.top->FilterFiles(F(F::kModeHide, F::kCombineOr, F::kFolders, ""), all, empty);
    EXPECT_EQ(empty->mFilterPassed, 1); // the node to keep

    all = true;
    EXPECT_TRUE(t.top->FilterFiles(F(), all, nullptr));
    EXPECT_TRUE(all);

    // The stored form keeps a pattern with commas.
    F pattern(F::kModeShow, F::kCombineAnd, F::kPattern | 1, "*.c,v");
    EXPECT_EQ(pattern.ToString(), "00000000,00000001,00000041,00000001,*.c,v");
    F back;
    ASSERT_TRUE(back.FromString(pattern.ToString().c_str()));
    EXPECT_EQ(back, pattern);
    F unchanged = back;
    EXPECT_FALSE(back.FromString("00000000,00000001,"));
    EXPECT_EQ(back, unchanged);
}

TEST(VInfTree, FoldersAreFoundByLocation)
{
    CScratch disk;
    disk.Make("top/sub");
    disk.Make("elsewhere");
    STree t;
    Locate(t.top, disk.Path() + "/top");
    CCVSVInfTree* sub = t.Folder("sub");
    Locate(sub, disk.Path() + "/top/sub");
    CCVSVInfTree* f = t.File("sub/f");

    CLongFSSpec spec;
    ASSERT_EQ(f->LongFileFSSpec(spec), noErr);
    EXPECT_EQ(t.top->FindNode(spec, false), f);
    EXPECT_EQ(f->mSelected, 1);
    f->mSelected = 0;
    EXPECT_TRUE(t.top->MarkFSSpecSelected(spec));
    EXPECT_EQ(f->mSelected, 1);
    spec.mName = "absent";
    EXPECT_EQ(t.top->FindNode(spec, false), nullptr);
    EXPECT_EQ(t.top->FindNode(spec, true), sub);

    CCVSVInfTree other("x", nullptr);
    Locate(&other, disk.Path() + "/top/sub");
    EXPECT_TRUE(t.top->CrossRefs(&other));
    Locate(&other, disk.Path() + "/elsewhere");
    EXPECT_FALSE(t.top->CrossRefs(&other));
    EXPECT_FALSE(f->CrossRefs(&other));

    FSSpec onDisk;
    EXPECT_EQ(f->FileFSSpec(onDisk), fnfErr); // not on disk
    disk.Make("top/sub/f", false);
    EXPECT_EQ(f->FileFSSpec(onDisk), noErr);
    EXPECT_EQ(FSpName(onDisk), "f");
}

TEST(VInfTree, PasswordAndRerootReachOnlyCVSFolders)
{
    STree t;
    CCVSVInfTree* sub = t.Folder("sub");
    CCVSVInfTree* plain = t.Folder("plain", false);
    CCVSVInfTree* deep = t.Folder("plain/deep");
    t.top->SetCVSPassword("pw");
    EXPECT_EQ(sub->CVSPassword(), "pw");
    EXPECT_EQ(plain->CVSPassword(), "");
    EXPECT_EQ(deep->CVSPassword(), ""); // below a folder that is not under CVS
    t.top->Reroot("/new", "u2", "h2", 2402);
    EXPECT_EQ(sub->CVSRoot(), "/new");
    EXPECT_EQ(sub->CVSPort(), 2402);
    EXPECT_EQ(deep->CVSRoot(), "/cvs");

    CCVSVInfTree* emptydir = t.Folder("alias");
    emptydir->Contents()->mCVSRepository = "CVSROOT/Emptydir";
    EXPECT_TRUE(emptydir->HasVirtRepository());
    EXPECT_FALSE(sub->HasVirtRepository());

    TPtrArray<CCVSVInfDirAndRepoDir> byRepo(kPArrOwning | kPArrSorted);
    byRepo.insert(new CCVSVInfDirAndRepoDir(sub));
    byRepo.insert(new CCVSVInfDirAndRepoDir(t.top));
    CCVSVInfDirAndRepoDir key(CString("mod/sub"));
    const int i = byRepo.find(&key);
    ASSERT_GE(i, 0);
    EXPECT_EQ(byRepo[i]->mNode, sub);
}

} // namespace
