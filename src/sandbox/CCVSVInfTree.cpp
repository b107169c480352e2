#include "sandbox/CCVSVInfTree.h"

#include "filesystem/CFileSystemUtils.h"
#include "filesystem/FSItemOperations.h"
#include "foundation/Log.h"
#include "foundation/TextUtils.h"

#include <cerrno>
#include <cstring>

namespace {

char const* Text(CString const& s)
{
    return s.IsNull() ? "" : s.c_str();
}

// Null and empty count as the same here.
bool SameText(CString const& a, CString const& b)
{
    return std::strcmp(Text(a), Text(b)) == 0;
}

CVInfTreeHooks gDefaultHooks;
CVInfTreeHooks* gHooks = &gDefaultHooks;

bool IsDotName(CString const& name)
{
    return name.Empty() || name == "." || name == "..";
}

} // namespace

CVInfTreeHooks* SetVInfTreeHooks(CVInfTreeHooks* hooks)
{
    CVInfTreeHooks* old = gHooks == &gDefaultHooks ? nullptr : gHooks;
    gHooks = hooks ? hooks : &gDefaultHooks;
    return old;
}

CVInfTreeHooks& VInfTreeHooks()
{
    return *gHooks;
}

// ---- CDirData ---------------------------------------------------------------------

CDirData::CDirData()
    : mChildren(kPArrOwning | kPArrSorted), mCVSRepository(""), mCVSPassword(""), mCVSIgnore(kPArrOwning)
{
}

CDirData::~CDirData()
{
    if (mCVSPassword.Length() > 0)
        std::memset(mCVSPassword.Buffer(), 0, static_cast<size_t>(mCVSPassword.Length()));
}

// ---- Construction -----------------------------------------------------------------

CCVSVInfTree::CCVSVInfTree() = default;

CCVSVInfTree::CCVSVInfTree(CString const& name, CCVSVInfTree* parent)
    : mName(name), mParent(parent), mContents(new CDirData)
{
}

CCVSVInfTree::CCVSVInfTree(CString const& name, CString const& revision, CCVSVInfTree* parent)
    : mName(name), mRevision(revision), mParent(parent)
{
}

CCVSVInfTree::~CCVSVInfTree()
{
    for (short i = 0; i < eNumSpecs; ++i)
        if (mSpecs[i]) {
            DeleteSpecFile(i);
            delete mSpecs[i];
        }
    delete mWatchers;
    delete mEditors;
    delete mResolver;
    delete mContents;
}

void CCVSVInfTree::ResetFields()
{
    mName.Clear();
    mRevision.Clear();
    mConflict.Clear();
    mTag.Clear();
    mOptions.Clear();
    mBackupName.Clear();
    mBaseRevision.Clear();
    mModDate = mCVSDate = mDataSize = mRsrcSize = mBaseDate = mCreator = mType = 0;
    mParent = nullptr;
    mSelected = 0;
    mLost = 1;
    mTouched = 0;
    mFilterPassed = 1;
    mDeleted = mLocked = mNeedsUpdate = mBaseNeedsUpdate = 0;
    mStorage = kStorageDataFork;
}

CCVSVInfTree& CCVSVInfTree::operator=(CString const& name)
{
    if (!FW_CHECK(!mResolver))
        return *this;
    delete mContents;
    mContents = nullptr;
    delete mWatchers;
    mWatchers = nullptr;
    delete mEditors;
    mEditors = nullptr;
    for (FSSpec*& spec : mSpecs) { // forgotten, the files stay on disk
        delete spec;
        spec = nullptr;
    }
    ResetFields();
    mName = name;
    return *this;
}

int parr_compare(CCVSVInfTree& a, CCVSVInfTree& b)
{
    return std::strcmp(Text(a.mName), Text(b.mName));
}

// ---- Identity and location --------------------------------------------------------

void CCVSVInfTree::SetMacFolder(long vRefNum, long dirID)
{
    if (!FW_CHECK(mContents))
        return;
    mContents->mVRefNum = vRefNum;
    mContents->mDirID = dirID;
    mContents->mLongNames = LongNamesOKOnVol(static_cast<short>(vRefNum)) ? 1 : 0;
}

OSErr CCVSVInfTree::FileFSSpec(FSSpec& out)
{
    if (!mParent || !mParent->mContents) {
        // The root stands for its own folder.
        if (!mContents)
            return paramErr;
        return GetDirLocation(static_cast<int32_t>(mContents->mDirID), &out);
    }
    return FSMakeFSSpec(static_cast<int16_t>(mParent->mContents->mVRefNum),
                        static_cast<int32_t>(mParent->mContents->mDirID), Text(mName), &out);
}

OSErr CCVSVInfTree::LongFileFSSpec(CLongFSSpec& out) const
{
    if (!mParent || !mParent->mContents)
        return paramErr;
    out = CLongFSSpec(mName.IsNull() ? CString("") : mName, static_cast<short>(mParent->mContents->mVRefNum),
                      mParent->mContents->mDirID);
    return noErr;
}

CString CCVSVInfTree::CVSEntry() const
{
    CString entry("/");
    entry += Text(mName);
    entry += "/";
    entry += Text(mRevision);
    entry += "/";
    entry += Text(mConflict);
    entry += "/";
    entry += Text(mOptions);
    entry += "/";
    entry += Text(mTag);
    return entry;
}

void CCVSVInfTree::SetCVSPassword(CString const& password)
{
    if (!IsCVSDir())
        return;
    mContents->mCVSPassword = password;
    for (CCVSVInfTree* child : mContents->mChildren)
        child->SetCVSPassword(password);
}

void CCVSVInfTree::Reroot(CString const& root, CString const& user, CString const& host, unsigned short port)
{
    if (!IsCVSDir())
        return;
    mContents->mCVSRoot = root;
    mContents->mCVSUser = user;
    mContents->mCVSHost = host;
    mContents->mCVSPort = port;
    for (CCVSVInfTree* child : mContents->mChildren)
        child->Reroot(root, user, host, port);
}

// ---- Queries ----------------------------------------------------------------------

bool CCVSVInfTree::IsModified() const
{
    if (mContents)
        return NumModified(true) + NumLost(true) != 0;
    return (mModDate != mCVSDate || mTouched != 0) && mLost == 0 && InCVS();
}

bool CCVSVInfTree::ModifiedRelativeToBase() const
{
    return !mContents && VInfTreeHooks().ModifiedRelativeToBase(this);
}

CCVSVInfTree* CCVSVInfTree::Parent() const
{
    FW_CHECK(mParent);
    return mParent;
}

#define FW_DIR_ACCESSOR(type, name, field, fallback) \
    type CCVSVInfTree::name() const                 \
    {                                               \
        if (!FW_CHECK(IsDir()))                     \
            return fallback;                        \
        return mContents->field;                    \
    }
FW_DIR_ACCESSOR(long, VRefNum, mVRefNum, CDirData::kNoLocation)
FW_DIR_ACCESSOR(long, DirID, mDirID, CDirData::kNoLocation)
FW_DIR_ACCESSOR(CString, CVSRoot, mCVSRoot, CString())
FW_DIR_ACCESSOR(CString, CVSRepository, mCVSRepository, CString())
FW_DIR_ACCESSOR(CString, CVSUser, mCVSUser, CString())
FW_DIR_ACCESSOR(CString, CVSHost, mCVSHost, CString())
FW_DIR_ACCESSOR(unsigned short, CVSPort, mCVSPort, 0)
FW_DIR_ACCESSOR(CString, CVSPassword, mCVSPassword, CString())
FW_DIR_ACCESSOR(CCVSVInfFilter, Filter, mFilter, CCVSVInfFilter())
#undef FW_DIR_ACCESSOR

bool CCVSVInfTree::AllFilterPassed() const
{
    if (!FW_CHECK(IsDir()))
        return true;
    return mContents->mAllFilterPassed != 0;
}

unsigned long CCVSVInfTree::Counter(int which, bool total) const
{
    if (!FW_CHECK(IsDir()))
        return 0;
    return mContents->mCounters[which][total ? 1 : 0];
}

// ---- Lookup -----------------------------------------------------------------------

CCVSVInfTree* CCVSVInfTree::FindChild(CString const& name) const
{
    if (!mContents)
        return nullptr;
    CCVSVInfTree key;
    key.mName = name;
    const int i = mContents->mChildren.find(&key);
    return i < 0 ? nullptr : mContents->mChildren[i];
}

void CCVSVInfTree::InsertChild(CCVSVInfTree* child)
{
    child->mParent = this;
    mContents->mChildren.insert(child);
}

bool CCVSVInfTree::DetachChild(CCVSVInfTree* child)
{
    TPtrArray<CCVSVInfTree>& children = mContents->mChildren;
    for (int i = 0; i < children.Count(); ++i)
        if (children[i] == child) {
            children.remove(i, 0);
            return true;
        }
    return false;
}

CCVSVInfTree* CCVSVInfTree::FindFile(CString const& path)
{
    CCVSVInfTree* node = this;
    char const* p = Text(path);
    while (*p) {
        char const* slash = std::strchr(p, '/');
        const size_t len = slash ? static_cast<size_t>(slash - p) : std::strlen(p);
        if (len != 0 && !node->mContents)
            return nullptr; // components left after a file
        if (len == 0 || (len == 1 && p[0] == '.')) {
            // skipped
        } else if (len == 2 && p[0] == '.' && p[1] == '.') {
            node = node->mParent;
            if (!node)
                return nullptr;
        } else {
            node = node->FindChild(CString(p, static_cast<int>(len)));
            if (!node)
                return nullptr;
        }
        p += len;
        if (*p == '/')
            ++p;
    }
    return node;
}

CCVSVInfTree* CCVSVInfTree::FindNode(CLongFSSpec const& spec, bool orContainer)
{
    if (!mContents) {
        if (mParent && mParent->mContents && static_cast<short>(mParent->mContents->mVRefNum) == spec.mVRefNum &&
            mParent->mContents->mDirID == spec.mDirID && SameText(mName, spec.mName))
            return this;
        return nullptr;
    }
    if (static_cast<short>(mContents->mVRefNum) != spec.mVRefNum)
        return nullptr;
    if (mContents->mDirID != spec.mDirID) {
        for (CCVSVInfTree* child : mContents->mChildren)
            if (child->mContents)
                if (CCVSVInfTree* found = child->FindNode(spec, orContainer))
                    return found;
        return nullptr;
    }
    if (CCVSVInfTree* child = FindChild(spec.mName)) {
        child->mSelected = 1;
        return child;
    }
    return orContainer ? this : nullptr;
}

bool CCVSVInfTree::MarkFSSpecSelected(CLongFSSpec const& spec)
{
    CCVSVInfTree* node = FindNode(spec, false);
    if (!node)
        return false;
    node->mSelected = 1;
    return true;
}

bool CCVSVInfTree::CrossRefs(CCVSVInfTree const* folder) const
{
    if (!mContents || !folder || !folder->mContents)
        return false;
    if (mContents->mVRefNum == folder->mContents->mVRefNum && mContents->mDirID == folder->mContents->mDirID)
        return true;
    for (CCVSVInfTree* child : mContents->mChildren)
        if (child->CrossRefs(folder))
            return true;
    return false;
}

void CCVSVInfTree::UnselectAll()
{
    mSelected = 0;
    if (mContents)
        for (CCVSVInfTree* child : mContents->mChildren)
            child->UnselectAll();
}

void CCVSVInfTree::PropagateSelection(bool select)
{
    if (select)
        mSelected = 1;
    if (mContents)
        for (CCVSVInfTree* child : mContents->mChildren)
            child->PropagateSelection(mSelected != 0);
}

CCVSVInfTree* CCVSVInfTree::FindHighestSelection()
{
    if (mContents && InCVS()) {
        if (mSelected)
            return this;
        for (CCVSVInfTree* child : mContents->mChildren)
            if (!child->mContents && child->mSelected)
                return this;
        CCVSVInfTree* found = nullptr;
        for (CCVSVInfTree* child : mContents->mChildren) {
            if (!child->mContents)
                continue;
            if (CCVSVInfTree* r = child->FindHighestSelection()) {
                if (found)
                    return this;
                found = r;
            }
        }
        return found;
    }
    return mSelected ? mParent : nullptr;
}

namespace {

// Whether a node meets one condition bit of a selection mask.
bool MeetsCondition(CCVSVInfTree const* n, unsigned long bit)
{
    switch (bit) {
    case kSelHasDiff:
        return n->Spec(kSpecDiff) != nullptr;
    case kSelHasLog:
        return n->Spec(kSpecLog) != nullptr;
    case kSelConflict:
        return !n->mConflict.Empty();
    case kSelIsFile:
        return !n->IsDir();
    case kSelNotLost:
        return !(n->mLost != 0 && n->InCVS());
    case kSelDataForkOnly:
        return n->mStorage == kStorageDataFork;
    case kSelNoVirtRepository:
        return !n->HasVirtRepository();
    case kSelHasAnnotation:
        return n->Spec(kSpecAnnotate) != nullptr;
    case kSelEditing:
        return !n->mBaseRevision.Empty();
    case kSelNotEditing:
        return n->mBaseRevision.Empty();
    case kSelModified:
        return n->IsModified();
    case kSelModifiedRelativeToBase:
        return n->ModifiedRelativeToBase();
    case kSelNeedsUpdate:
        return n->mNeedsUpdate != 0;
    default:
        return true;
    }
}

bool MeetsMask(CCVSVInfTree const* n, unsigned long mask)
{
    bool ok = true;
    for (unsigned long bit = 1; bit <= kSelNeedsUpdate; bit <<= 1)
        if (mask & bit)
            ok = MeetsCondition(n, bit) && ok;
    return ok;
}

} // namespace

unsigned long CCVSVInfTree::CountNodeProperties(unsigned long mask, bool& ok, unsigned long* counts) const
{
    if (!InCVS() && !(mask & kSelCountNonCVS))
        return 0;
    ok = MeetsMask(this, mask & ~kSelModifiedRelativeToBase) && ok;
    if (counts)
        ++counts[mContents ? 1 : 0];
    return 1;
}

unsigned long CCVSVInfTree::GetCVSSelection(unsigned long mask, bool& ok, unsigned long* counts) const
{
    unsigned long n = mSelected ? CountNodeProperties(mask, ok, counts) : 0;
    if (mContents)
        for (CCVSVInfTree* child : mContents->mChildren)
            n += child->GetCVSSelection(mask, ok, counts);
    return n;
}

unsigned long CCVSVInfTree::CountFilesInSelection(unsigned long mask, bool inSelection) const
{
    const bool selected = inSelection || mSelected;
    if (!mContents)
        return selected && MeetsMask(this, mask & ~kSelCountNonCVS) ? 1 : 0;
    unsigned long n = 0;
    for (CCVSVInfTree* child : mContents->mChildren)
        n += child->CountFilesInSelection(mask, selected);
    return n;
}

unsigned long CCVSVInfTree::GetCVSSelectionList(CString& list) const
{
    unsigned long n = 0;
    if (mSelected) {
        if (list.IsNull())
            list = "";
        list.append(Text(mName), ", ");
        ++n;
    }
    if (mContents)
        for (CCVSVInfTree* child : mContents->mChildren)
            n += child->GetCVSSelectionList(list);
    return n;
}

void CCVSVInfTree::Flatten(TPtrArray<CCVSVInfTree>& out, bool selectedOnly, bool intoSelected)
{
    if (!selectedOnly || mSelected)
        out.append(this);
    if (!mContents || (mSelected && !intoSelected))
        return;
    for (CCVSVInfTree* child : mContents->mChildren)
        child->Flatten(out, selectedOnly, intoSelected);
}

unsigned long CCVSVInfTree::FlagWord() const
{
    unsigned long w = 0;
    if (IsModified())
        w |= kFlagModified;
    if (!mConflict.Empty())
        w |= kFlagConflict;
    if (!InCVS())
        w |= kFlagNotInCVS;
    if (mLost && InCVS())
        w |= kFlagLost;
    if (Spec(kSpecLog))
        w |= kFlagHasLog;
    if (Spec(kSpecDiff))
        w |= kFlagHasDiff;
    if (!mBaseRevision.Empty())
        w |= kFlagEditing;
    return w;
}

unsigned long CCVSVInfTree::CountModified() const
{
    if (!mContents)
        return IsModified() ? 1 : 0;
    if (!IsCVSDir())
        return 0;
    unsigned long n = 0;
    for (CCVSVInfTree* child : mContents->mChildren)
        n += child->CountModified();
    return n;
}

// ---- Edits ------------------------------------------------------------------------

void CCVSVInfTree::MarkUnsaved()
{
    if (mContents)
        mContents->mSaved = 0;
}

CCVSVInfTree* CCVSVInfTree::CreateFile(CString const& path)
{
    CString dir, name;
    SplitPath(path, dir, name);
    CCVSVInfTree* folder = FindFile(dir);
    if (!folder || !folder->mContents) {
        errno = ENOTDIR;
        return nullptr;
    }
    if (IsDotName(name)) {
        errno = kVInfNoSuchItem;
        return nullptr;
    }
    if (CCVSVInfTree* existing = folder->FindChild(name))
        return existing;
    auto* node = new CCVSVInfTree(name, CString(""), folder);
    folder->InsertChild(node);
    folder->MarkUnsaved();
    return node;
}

int CCVSVInfTree::Mkdir(CString const& path, CString const& repository, CString const& root,
                        CString const& user, CString const& host, unsigned short port)
{
    CString dir, name;
    SplitPath(path, dir, name);
    if (name.Empty() || name == "..") {
        errno = kVInfNoSuchItem;
        return -1;
    }
    CCVSVInfTree* folder = FindFile(dir);
    if (!folder || !folder->mContents) {
        errno = ENOTDIR;
        return -1;
    }
    CCVSVInfTree* created = nullptr;
    if (name != ".") {
        CCVSVInfTree* child = folder->FindChild(name);
        if (child && child->IsCVSDir())
            return 0; // keeps its settings
        if (!child) {
            short vRefNum = 0;
            long dirID = 0;
            const short err = GetFolderVolAndDir(static_cast<short>(folder->mContents->mVRefNum),
                                                 folder->mContents->mDirID, name, vRefNum, dirID);
            if (err != noErr) {
                errno = err;
                return -1;
            }
            created = new CCVSVInfTree(name, folder);
            folder->MarkUnsaved();
            folder->InsertChild(created);
            created->SetMacFolder(vRefNum, dirID);
            created->mLost = 0;
        }
    }
    if (repository.Empty())
        return 0;
    const int result = AddCVSInfoDir(path, repository, root, user, host, port);
    // A new CVS folder needs an information file of its own, even when nothing
    // else ever marks it.
    if (result == 0 && created)
        created->MarkUnsaved();
    return result;
}

int CCVSVInfTree::AddCVSInfoDir(CString const& path, CString const& repository, CString const& root,
                                CString const& user, CString const& host, unsigned short port)
{
    if (root.Empty() || repository.Empty())
        return 1;
    CCVSVInfTree* ds = FindFile(path);
    if (!FW_CHECK(ds && ds->IsDir()))
        return 1;
    ds->mContents->mCVSRoot = root;
    ds->mContents->mCVSRepository = repository;
    ds->mContents->mCVSUser = user;
    ds->mContents->mCVSHost = host;
    ds->mContents->mCVSPort = port;
    return 0;
}

int CCVSVInfTree::AddCVSInfoFile(CString const& path, CString const& storage, CString const& revision,
                                 CString const& conflict, CString const& options, CString const& tag,
                                 CString const& baseRevision, unsigned long cvsDate, bool needsUpdate,
                                 unsigned long baseDate, bool baseNeedsUpdate, CRBLResolverBase* resolver)
{
    CCVSVInfTree* file = CreateFile(path);
    if (!file)
        return 1;
    file->TellEncoding(storage);
    file->mRevision = revision;
    file->mTag = tag;
    file->mBaseRevision = baseRevision;
    file->mConflict = conflict;
    file->mOptions = options;
    file->mCVSDate = cvsDate;
    file->mTouched = 0;
    file->mBaseDate = baseDate;
    file->mNeedsUpdate = needsUpdate ? 1 : 0;
    file->mBaseNeedsUpdate = baseNeedsUpdate ? 1 : 0;
    if (resolver != file->mResolver) {
        if (!FW_CHECK(!file->mResolver))
            delete file->mResolver;
        file->mResolver = resolver;
    }
    file->DropIconSuiteRef();
    return 0;
}

int CCVSVInfTree::Unlink(CString const& path)
{
    CString dir, name;
    SplitPath(path, dir, name);
    CCVSVInfTree* folder = FindFile(dir);
    if (!folder || !folder->mContents) {
        errno = ENOTDIR;
        return -1;
    }
    CCVSVInfTree* child = folder->FindChild(name);
    if (!child) {
        errno = ENOENT;
        return -1;
    }
    folder->DetachChild(child);
    delete child;
    folder->MarkUnsaved();
    return 0;
}

int CCVSVInfTree::UnLose(CString const& path)
{
    CCVSVInfTree* node = FindFile(path);
    if (!node) {
        errno = kVInfNoSuchItem;
        return -1;
    }
    node->mLost = 0;
    return 0;
}

int CCVSVInfTree::MarkDeleted(CString const& path, bool deleted)
{
    CCVSVInfTree* node = FindFile(path);
    if (!node) {
        errno = kVInfNoSuchItem;
        return -1;
    }
    node->mDeleted = deleted ? 1 : 0;
    return 0;
}

void CCVSVInfTree::RemoveDeletedNodes()
{
    if (!FW_CHECK(mParent))
        return;
    if (mDeleted) {
        CCVSVInfTree* parent = mParent;
        if (parent->mContents && parent->DetachChild(this)) {
            parent->MarkUnsaved();
            delete this;
        }
        return;
    }
    if (!mContents)
        return;
    TPtrArray<CCVSVInfTree>& children = mContents->mChildren;
    for (int i = children.Count() - 1; i >= 0; --i) {
        CCVSVInfTree* child = children[i];
        if (child->mDeleted) {
            children.remove(i, 1);
            MarkUnsaved();
        } else if (child->mContents) {
            child->RemoveDeletedNodes();
        }
    }
}

int CCVSVInfTree::MarkCVSFileDirty(CString const& path, bool isFolder)
{
    CCVSVInfTree* node = FindFile(path);
    if (!node) {
        errno = ENOENT;
        return -1;
    }
    CCVSVInfTree* folder = isFolder ? node : node->mParent;
    if (!folder) {
        errno = ENOTDIR;
        return -1;
    }
    if (!folder->IsCVSDir()) {
        errno = kVInfNotCVSFolder;
        return -1;
    }
    folder->MarkUnsaved();
    return 0;
}

int CCVSVInfTree::TagFileOrDir(CString const& path, CString const& tag)
{
    CCVSVInfTree* node = FindFile(path);
    if (!node) {
        errno = kVInfNoSuchItem;
        return -1;
    }
    const bool changed = !SameText(node->mTag, tag);
    node->mTag = tag.Empty() ? CString("") : tag;
    if (node->mContents && changed)
        node->MarkUnsaved();
    return 0;
}

int CCVSVInfTree::SetStatic(CString const& path, bool isStatic)
{
    CCVSVInfTree* node = FindFile(path);
    if (!node || !node->IsCVSDir()) {
        errno = kVInfNotCVSFolder;
        return -1;
    }
    const unsigned char value = isStatic ? 1 : 0;
    if (node->mContents->mStatic != value) {
        node->mContents->mStatic = value;
        node->MarkUnsaved();
    }
    return 0;
}

void CCVSVInfTree::TellEncoding(CString const& letter)
{
    if (letter.Empty())
        return;
    if (letter == "d")
        mStorage = kStorageDataFork;
    else if (letter == "a")
        mStorage = kStorageAppleSingle;
    else if (letter == "r")
        mStorage = kStorageRBL;
    else
        FW_FAIL("Bad file encoding.");
}

int CCVSVInfTree::TellTypeCreator(unsigned long type, unsigned long creator)
{
    if (mContents) {
        errno = EISDIR;
        return -1;
    }
    const unsigned long oldType = mType, oldCreator = mCreator;
    if (type)
        mType = type;
    if (creator)
        mCreator = creator;
    if (mType != oldType || mCreator != oldCreator)
        DropIconSuiteRef();
    return 0;
}

void CCVSVInfTree::TellNeedsUpdate(bool needsUpdate)
{
    mNeedsUpdate = needsUpdate ? 1 : 0;
    if (!needsUpdate || mContents || mBaseRevision.Empty())
        return;
    CString base, current;
    if (MakeComparableRevisionId(mBaseRevision, base, false) && MakeComparableRevisionId(mRevision, current, false) &&
        RevisionIdOnBranchBefore(base, current, true))
        mBaseNeedsUpdate = 1;
}

void CCVSVInfTree::TouchTree(bool all)
{
    if (!InCVS())
        return;
    if (!mContents) {
        mTouched = (all || mSelected) ? 1 : 0;
        return;
    }
    for (CCVSVInfTree* child : mContents->mChildren)
        child->TouchTree(all);
}

unsigned long CCVSVInfTree::AddCVSInfoDirSelected()
{
    if (!mContents)
        return 0;
    if (IsCVSDir()) {
        unsigned long n = 0;
        for (CCVSVInfTree* child : mContents->mChildren)
            n += child->AddCVSInfoDirSelected();
        return n;
    }
    if (!mSelected || !FW_CHECK(mParent && mParent->mContents))
        return 0;
    short vRefNum = 0;
    long dirID = 0;
    if (GetFolderVolAndDir(static_cast<short>(mParent->mContents->mVRefNum), mParent->mContents->mDirID, mName,
                           vRefNum, dirID) != noErr)
        return 0;
    SetMacFolder(vRefNum, dirID);
    if (VInfTreeHooks().HasOwnInfoFile(this)) {
        GLogPrintf(3, "Folder \xD2%s\xD3 contains CVS sandbox info and therefore cannot be added to repository.",
                   Text(mName));
        return 0;
    }
    CDirData const& p = *mParent->mContents;
    mContents->mCVSRoot = p.mCVSRoot;
    mContents->mCVSUser = p.mCVSUser;
    mContents->mCVSHost = p.mCVSHost;
    mContents->mCVSPort = p.mCVSPort;
    CString repository(Text(p.mCVSRepository));
    repository += "/";
    repository += Text(mName);
    mContents->mCVSRepository = repository;
    return 1;
}

unsigned long CCVSVInfTree::PruneEmptyFolders(unsigned short depth, bool selectedOnly)
{
    if (!IsCVSDir())
        return 0;
    unsigned long sum = 0;
    const unsigned short childDepth = depth ? static_cast<unsigned short>(depth - 1) : 0;
    const bool childSelectedOnly = selectedOnly && !mSelected;
    TPtrArray<CCVSVInfTree>& children = mContents->mChildren;
    for (int i = children.Count() - 1; i >= 0; --i)
        sum += children[i]->PruneEmptyFolders(childDepth, childSelectedOnly);
    if (depth != 0 || (!mSelected && selectedOnly))
        return sum;

    const int32_t dirID = static_cast<int32_t>(mContents->mDirID);
    const int16_t vRefNum = static_cast<int16_t>(mContents->mVRefNum);
    CDirReader reader;
    if (reader.Open(dirID) != noErr)
        return sum;
    unsigned long items = 0;
    SDirEntry entry;
    for (;;) {
        const OSErr err = reader.Next(entry, false);
        if (err == errFSNoMoreItems)
            break;
        ++items; // an item we cannot name still keeps the folder
    }
    reader.Close();

    CCVSVInfTree* dsStore = FindChild(".DS_Store");
    char const* const names[] = {"CVS", "CVS.sandboxinfo", ".DS_Store"};
    FSSpec present[3];
    bool isPresent[3] = {};
    unsigned long found = 0;
    for (int i = 0; i < 3; ++i) {
        if (i == 2 && dsStore && !dsStore->mRevision.Empty())
            continue; // under CVS: a file like any other
        isPresent[i] = FSMakeFSSpec(vRefNum, dirID, names[i], &present[i]) == noErr;
        found += isPresent[i] ? 1 : 0;
    }
    if (items != found)
        return sum;
    for (int i = 0; i < 3; ++i) {
        if (!isPresent[i])
            continue;
        if (RecursivelyDeleteItem(present[i]) != noErr)
            return sum;
        ++sum;
        if (i == 2 && dsStore)
            dsStore->mDeleted = 1;
    }
    FSSpec self;
    if (FileFSSpec(self) == noErr && FSpDelete(self) == noErr) {
        mDeleted = 1;
        ++sum;
    }
    return sum;
}

void CCVSVInfTree::WeedOut()
{
    if (!IsCVSDir())
        return;
    TPtrArray<CCVSVInfTree>& children = mContents->mChildren;
    for (int i = children.Count() - 1; i >= 0; --i) {
        CCVSVInfTree* child = children[i];
        if (child->IsCVSDir()) {
            child->WeedOut();
            continue;
        }
        bool keep = child->mSelected || child->mDeleted || child->mStorage != 0 || child->mWatchers ||
                    child->mEditors;
        for (FSSpec* spec : child->mSpecs)
            keep = keep || spec;
        if (!keep) {
            children.remove(i, 1);
            MarkUnsaved();
        }
    }
}

// ---- Temporary files, lists, resolver -----------------------------------------------

void CCVSVInfTree::DeleteSpecFile(short which)
{
    const OSErr err = FSpDelete(*mSpecs[which]);
    if (err != noErr && err != fnfErr)
        GLogPrintf(2, "Could not delete the temporary file \xD2%s\xD3. [error = %ld]",
                   FSpName(*mSpecs[which]).c_str(), static_cast<long>(err));
    if (which != kSpecFetched)
        VInfTreeHooks().CloseSlotWindow(this, which);
}

FSSpec* CCVSVInfTree::Spec(short which) const
{
    if (!FW_CHECK_MSG(0 <= which && which < eNumSpecs, "!(0 <= inWhich && inWhich < eNumSpecs)"))
        return nullptr;
    return mSpecs[which];
}

bool CCVSVInfTree::SetSpec(short which, FSSpec* spec)
{
    if (which == eNumSpecs) {
        if (!FW_CHECK_MSG(!spec, "!(!inFSSpec)"))
            return false;
        bool changed = false;
        for (short i = 0; i < eNumSpecs; ++i)
            changed = SetSpec(i, nullptr) || changed;
        return changed;
    }
    if (!FW_CHECK_MSG(0 <= which && which <= eNumSpecs, "!(0 <= inWhich && inWhich <= eNumSpecs)"))
        return false;
    if (spec == mSpecs[which])
        return false; // the same file: keep it
    if (mSpecs[which]) {
        DeleteSpecFile(which);
        delete mSpecs[which];
    }
    mSpecs[which] = spec;
    return true;
}

bool CCVSVInfTree::SetSpec(short which, CString const& path, FSSpec* spec)
{
    CCVSVInfTree* node = FindFile(path);
    if (!node)
        return false;
    node->SetSpec(which, spec);
    return true;
}

void CCVSVInfTree::ForgetSpec(short which, bool recursive)
{
    if (mSelected)
        SetSpec(which, nullptr);
    if (recursive && mContents)
        for (CCVSVInfTree* child : mContents->mChildren)
            child->ForgetSpec(which, recursive);
}

bool CCVSVInfTree::ClearSelectedStuff(bool inSelection, bool recursive, unsigned short which)
{
    if (!InCVS())
        return false;
    if (mContents) {
        const bool pass = recursive ? (mSelected || inSelection) : mSelected != 0;
        bool changed = false;
        for (CCVSVInfTree* child : mContents->mChildren)
            changed = child->ClearSelectedStuff(pass, recursive, which) || changed;
        return changed;
    }
    if (!mSelected && !inSelection)
        return false;
    if (which == 5)
        return TellWatchers(nullptr);
    if (which == 6)
        return TellEditors(nullptr);
    return SetSpec(static_cast<short>(which), nullptr);
}

bool CCVSVInfTree::TellWatchers(CWatchersList* list)
{
    if (list == mWatchers)
        return false;
    delete mWatchers;
    mWatchers = list;
    return true;
}

bool CCVSVInfTree::TellEditors(CEditorsList* list)
{
    if (list == mEditors)
        return false;
    delete mEditors;
    mEditors = list;
    return true;
}

bool CCVSVInfTree::Watched(bool byMe) const
{
    if (!mWatchers)
        return false;
    return (mWatchers->Flags() & (byMe ? CWatchersList::kWatchedByMe : CWatchersList::kWatchedByOthers)) != 0;
}

bool CCVSVInfTree::EditedByOthers() const
{
    if (!mEditors)
        return false;
    return mEditors->Count() > (mBaseRevision.Empty() ? 0u : 1u);
}

void CCVSVInfTree::GetRBLConflictList(TPtrArray<CCVSVInfTree>& out)
{
    if (mResolver)
        out.append(this);
    if (mContents)
        for (CCVSVInfTree* child : mContents->mChildren)
            child->GetRBLConflictList(out);
}

int CCVSVInfTree::ResolveRBLConflicts()
{
    if (!FW_CHECK(mResolver))
        return 0;
    const bool entryChanged = mResolver->ResolveConflicts(this);
    if (entryChanged && mParent) {
        mParent->MarkUnsaved();
        VInfTreeHooks().SaveDir(mParent, false, true);
    }
    delete mResolver;
    mResolver = nullptr;
    return 1;
}

bool CCVSVInfTree::ResolverDiffRevisions(CString& older, CString& newer) const
{
    older = "";
    newer = "";
    if (!FW_CHECK(mResolver))
        return false;
    mResolver->DiffRevisions(older, newer);
    return FW_CHECK_MSG(!older.Empty() && !newer.Empty(), "!(outOldRev[0] && outNewRev[0])");
}

// ---- View state ---------------------------------------------------------------------

void CCVSVInfTree::TellExpanded(bool expanded)
{
    if (!FW_CHECK(IsDir()) || !IsCVSDir())
        return;
    const unsigned char value = expanded ? 1 : 0;
    if (mContents->mExpanded == value)
        return;
    mContents->mExpanded = value;
    MarkUnsaved();
    VInfTreeHooks().StoreExpanded(this);
}

void CCVSVInfTree::TellFilter(CCVSVInfFilter const& filter)
{
    if (!FW_CHECK(IsDir()) || !IsCVSDir())
        return;
    if (mContents->mFilter == filter)
        return;
    mContents->mFilter = filter;
    MarkUnsaved();
    VInfTreeHooks().StoreFilter(this);
}

bool CCVSVInfTree::FilterFiles(CCVSVInfFilter const& filter, bool& allPassed, CCVSVInfTree const* keep)
{
    bool passed = filter.FilterNode(this) || this == keep;
    if (!mContents) {
        mFilterPassed = passed ? 1 : 0;
        if (!passed)
            allPassed = false;
        return passed;
    }
    bool childrenPassed = true;
    for (CCVSVInfTree* child : mContents->mChildren)
        if (child->FilterFiles(filter, childrenPassed, keep))
            passed = true;
    mContents->mAllFilterPassed = childrenPassed ? 1 : 0;
    allPassed = allPassed && childrenPassed;
    mFilterPassed = passed ? 1 : 0;
    return passed;
}

// ---- CCVSVInfDirAndRepoDir ----------------------------------------------------------

CCVSVInfDirAndRepoDir::CCVSVInfDirAndRepoDir(CCVSVInfTree* node) : mNode(node)
{
    FW_CHECK_MSG(mNode && mNode->IsCVSDir(), "!(mNode->IsCVSDir())");
}

CCVSVInfDirAndRepoDir::CCVSVInfDirAndRepoDir(CString const& repDir) : mRepDir(repDir)
{
    FW_CHECK_MSG(!mRepDir.IsNull(), "!(!mRepDir.Null())");
}

CString CCVSVInfDirAndRepoDir::RepDir() const
{
    if (mNode && mNode->IsDir())
        return mNode->CVSRepository();
    return mRepDir;
}

int parr_compare(CCVSVInfDirAndRepoDir& a, CCVSVInfDirAndRepoDir& b)
{
    return std::strcmp(Text(a.RepDir()), Text(b.RepDir()));
}
