#include "platform/MacFiles.h"
#include "platform/BigEndian.h"

#include "platform/AppleDouble.h"
#include "platform/MacClock.h"
#include "platform/MacRoman.h"

#include <utf8proc.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

using namespace fw::be;

// ---- Small helpers ---------------------------------------------------------


bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string Nfc(std::string const& utf8) {
    utf8proc_uint8_t* r = utf8proc_NFC(reinterpret_cast<utf8proc_uint8_t const*>(utf8.c_str()));
    if (!r) return std::string();
    std::string out(reinterpret_cast<char*>(r));
    std::free(r);
    return out;
}

std::string DirName(std::string const& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(std::string const& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(std::string const& dir, std::string const& name) {
    return dir == "/" ? "/" + name : dir + "/" + name;
}

constexpr char kSidecarPrefix[] = "._";
constexpr int64_t kAppleDoubleEpoch = 946684800;  // 2000-01-01 00:00:00 GMT in Unix seconds

int32_t AppleDoubleFromMac(uint32_t mac) {
    int64_t v = int64_t(fw::UnixFromMacSeconds(mac)) - kAppleDoubleEpoch;
    v = std::clamp<int64_t>(v, int64_t(INT32_MIN) + 1, INT32_MAX);
    return int32_t(v);
}

uint32_t MacFromAppleDouble(int32_t ad) { return fw::MacSecondsFromUnix(std::time_t(int64_t(ad) + kAppleDoubleEpoch)); }

int Renameat2(int olddirfd, char const* oldpath, int newdirfd, char const* newpath, unsigned flags) {
    return ::renameat2(olddirfd, oldpath, newdirfd, newpath, flags);
}

// A rename that never replaces. Falls back to check-then-rename where the file
// system does not know RENAME_NOREPLACE.
int RenameNoReplace(std::string const& from, std::string const& to) {
    if (Renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) return EEXIST;
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    return errno;
}

// ---- Volumes and the directory-ID table ------------------------------------

struct SDirRecord {
    dev_t dev;
    ino_t ino;
    std::string path;
    int64_t btime;  // birth time in ns (0 when unknown): inode numbers are reused
};

// The birth time of a folder, to tell a new folder from an old one that had
// the same inode number.
int64_t BirthTime(std::string const& path) {
    struct statx sx;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0 || !(sx.stx_mask & STATX_BTIME))
        return 0;
    return int64_t(sx.stx_btime.tv_sec) * 1000000000 + sx.stx_btime.tv_nsec;
}

bool SameFolder(SDirRecord const& rec, std::string const& path, struct stat const& st) {
    if (!S_ISDIR(st.st_mode) || st.st_dev != rec.dev || st.st_ino != rec.ino) return false;
    if (rec.btime == 0) return true;
    int64_t b = BirthTime(path);
    return b == 0 || b == rec.btime;
}

struct DevIno {
    dev_t dev;
    ino_t ino;
    bool operator==(DevIno const& o) const { return dev == o.dev && ino == o.ino; }
};
struct DevInoHash {
    size_t operator()(DevIno const& k) const { return std::hash<uint64_t>()(uint64_t(k.dev) * 1000003u ^ uint64_t(k.ino)); }
};

class CDirTable {
public:
    static CDirTable& Get() {
        static CDirTable table;
        return table;
    }

    int16_t VolumeOf(dev_t dev) {
        std::lock_guard<std::mutex> g(mMutex);
        return VolumeOfLocked(dev);
    }

    // Registers the folder at `path` (absolute, no symbolic links) with its stat.
    int32_t Register(std::string const& path, struct stat const& st) {
        std::lock_guard<std::mutex> g(mMutex);
        VolumeOfLocked(st.st_dev);
        DevIno key{st.st_dev, st.st_ino};
        int64_t btime = BirthTime(path);
        auto it = mByKey.find(key);
        if (it != mByKey.end()) {
            SDirRecord& rec = mByID[it->second];
            if (rec.btime == btime || rec.btime == 0 || btime == 0) {
                if (rec.path != path) {
                    struct stat old;
                    bool oldValid = ::lstat(rec.path.c_str(), &old) == 0 && SameFolder(rec, rec.path, old);
                    if (!oldValid) rec.path = path;  // it moved, and we found it again
                }
                return it->second;
            }
            // The inode number was reused by a new folder: the old ID stays dead.
            mByKey.erase(it);
        }
        int32_t id = (path == "/") ? fsRtDirID : mNextID++;
        mByID[id] = SDirRecord{st.st_dev, st.st_ino, path, btime};
        mByKey[key] = id;
        return id;
    }

    // The folder's path, checked against its (device, inode).
    OSErr Resolve(int32_t dirID, std::string& path, int16_t* vRefNum = nullptr, struct stat* stOut = nullptr) {
        SDirRecord rec;
        {
            std::lock_guard<std::mutex> g(mMutex);
            if (dirID == fsRtDirID && mByID.find(dirID) == mByID.end()) {
                struct stat st;
                if (::lstat("/", &st) == 0) {
                    mByID[fsRtDirID] = SDirRecord{st.st_dev, st.st_ino, "/", BirthTime("/")};
                    mByKey[DevIno{st.st_dev, st.st_ino}] = fsRtDirID;
                    VolumeOfLocked(st.st_dev);
                }
            }
            auto it = mByID.find(dirID);
            if (it == mByID.end()) return dirNFErr;
            rec = it->second;
        }
        struct stat st;
        if (::lstat(rec.path.c_str(), &st) != 0 || !SameFolder(rec, rec.path, st)) return dirNFErr;
        path = rec.path;
        if (vRefNum) *vRefNum = VolumeOf(st.st_dev);
        if (stOut) *stOut = st;
        return noErr;
    }

    // After we renamed or moved a folder: its record and those below follow.
    void Moved(std::string const& from, std::string const& to) {
        std::lock_guard<std::mutex> g(mMutex);
        std::string prefix = from + "/";
        for (auto& [id, rec] : mByID) {
            if (rec.path == from)
                rec.path = to;
            else if (rec.path.compare(0, prefix.size(), prefix) == 0)
                rec.path = to + rec.path.substr(from.size());
        }
    }

private:
    int16_t VolumeOfLocked(dev_t dev) {
        auto it = mVolumes.find(dev);
        if (it != mVolumes.end()) return it->second;
        int16_t v = int16_t(-1 - int(mVolumes.size()));
        mVolumes[dev] = v;
        return v;
    }

    std::mutex mMutex;
    std::map<dev_t, int16_t> mVolumes;
    std::unordered_map<int32_t, SDirRecord> mByID;
    std::unordered_map<DevIno, int32_t, DevInoHash> mByKey;
    int32_t mNextID = 100;
};

OSErr RegisterDirPath(std::string const& path, int16_t* vRefNum, int32_t* dirID) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? fnfErr : OSErrFromErrno(errno);
    if (!S_ISDIR(st.st_mode)) return dirNFErr;
    int32_t id = CDirTable::Get().Register(path, st);
    if (dirID) *dirID = id;
    if (vRefNum) *vRefNum = CDirTable::Get().VolumeOf(st.st_dev);
    return noErr;
}

// ---- Items -----------------------------------------------------------------

// Where a location lives on disk.
struct SItem {
    std::string dir;       // the folder holding the item
    std::string diskName;  // empty for the folder itself
    std::string path;      // the item's path
    int16_t vRefNum = 0;
    bool self = false;     // the location denotes the folder `dir` itself

    // Where the item's sidecar is ("" for "/").
    std::string SidecarDir() const { return self ? (path == "/" ? "" : DirName(path)) : dir; }
    std::string SidecarName() const { return kSidecarPrefix + (self ? BaseName(path) : diskName); }
};

OSErr ResolveItem(FSSpec const& spec, SItem& item) {
    OSErr err = CDirTable::Get().Resolve(spec.parID, item.dir, &item.vRefNum);
    if (err != noErr) return err;
    std::string_view name(reinterpret_cast<char const*>(spec.name + 1), spec.name[0]);
    if (name.empty()) {
        item.self = true;
        item.path = item.dir;
        item.diskName.clear();
        return noErr;
    }
    err = MacNameToDisk(name, item.diskName);
    if (err != noErr) return err;
    item.path = Join(item.dir, item.diskName);
    return noErr;
}

// The same, for calls that change or remove the item: the folder itself and
// the names we keep for ourselves are refused.
OSErr ResolveItemForChange(FSSpec const& spec, SItem& item) {
    if (spec.name[0] == 0) {
        OSErr err = CDirTable::Get().Resolve(spec.parID, item.dir);
        return err != noErr ? err : paramErr;
    }
    if (IsReservedName(FSpName(spec))) return bdNamErr;
    return ResolveItem(spec, item);
}

ENodeKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return ENodeKind::kFile;
    if (S_ISDIR(mode)) return ENodeKind::kFolder;
    if (S_ISLNK(mode)) return ENodeKind::kSymlink;
    return ENodeKind::kSpecial;
}

// ---- Sidecars --------------------------------------------------------------

// Reads a sidecar. noErr with `exists` false when there is none; ioErr when it
// cannot be decoded (its bytes are then left alone by every caller).
OSErr ReadSidecarAt(int dirfd, std::string const& name, CAppleDouble& ad, bool* exists, std::string* why = nullptr) {
    ad = CAppleDouble();
    if (exists) *exists = false;
    if (name.size() > NAME_MAX) return noErr;  // an item with a name this long cannot have one
    int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return noErr;
        if (why) *why = "cannot open the sidecar";
        return errno == ELOOP ? ioErr : OSErrFromErrno(errno);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (why) *why = "the sidecar is not a plain file";
        return ioErr;
    }
    std::vector<uint8_t> bytes;
    bytes.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    ::close(fd);
    bytes.resize(got);
    if (exists) *exists = true;
    if (bytes.empty()) return noErr;  // nothing was kept in it
    if (!ad.Decode(bytes.data(), bytes.size(), why)) return ioErr;
    return noErr;
}

OSErr ReadSidecar(SItem const& item, CAppleDouble& ad, bool* exists, std::string* why = nullptr) {
    std::string dir = item.SidecarDir();
    if (dir.empty()) {
        ad = CAppleDouble();
        if (exists) *exists = false;
        return noErr;
    }
    int dirfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0) return OSErrFromErrno(errno);
    OSErr err = ReadSidecarAt(dirfd, item.SidecarName(), ad, exists, why);
    ::close(dirfd);
    return err;
}

// Writes (or, when nothing is left, removes) the sidecar of an item, through
// a temporary file and a rename so that it is never half written.
OSErr WriteSidecar(SItem const& item, CAppleDouble const& ad, mode_t itemMode) {
    std::string dir = item.SidecarDir();
    if (dir.empty()) return paramErr;
    std::string name = item.SidecarName();
    bool fits = name.size() <= NAME_MAX;
    std::string path = Join(dir, name);
    if (ad.IsEmpty()) {
        if (fits && ::unlink(path.c_str()) != 0 && errno != ENOENT) return OSErrFromErrno(errno);
        return noErr;
    }
    if (!fits) return bdNamErr;
    std::vector<uint8_t> bytes;
    ad.Encode(bytes);
    std::string tmpl = Join(dir, "._fwtmpXXXXXX");
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return OSErrFromErrno(errno);
    size_t done = 0;
    int err = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            break;
        }
        done += size_t(n);
    }
    // Not synced: the data fork beside it is not either, and a sidecar cut
    // short by a crash reads as empty (see ReadSidecarAt), never as damage.
    if (!err) ::fchmod(fd, (itemMode & 0666) | 0600);
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmpl.c_str(), path.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(tmpl.c_str());
        return OSErrFromErrno(err);
    }
    return noErr;
}

OSErr StatItem(SItem const& item, struct stat& st) {
    if (::lstat(item.path.c_str(), &st) != 0) return errno == ENOENT ? fnfErr : OSErrFromErrno(errno);
    return noErr;
}

// Resolves spec to a regular file: the folder itself, links, FIFOs and the
// like are not files whose forks can be read or written.
OSErr ResolveFile(FSSpec const& spec, bool forChange, SItem& item, struct stat& st) {
    OSErr err = forChange ? ResolveItemForChange(spec, item) : ResolveItem(spec, item);
    if (err != noErr) return err;
    if (item.self) return notAFileErr;
    err = StatItem(item, st);
    if (err != noErr) return err;
    return S_ISREG(st.st_mode) ? noErr : notAFileErr;
}

// The lock of an item; a sidecar that cannot be read counts as unlocked.
bool ItemLocked(SItem const& item) {
    CAppleDouble ad;
    bool exists = false;
    return ReadSidecar(item, ad, &exists) == noErr && exists && ad.Locked();
}

OSErr TouchData(std::string const& path) {
    struct timespec ts[2];
    ts[0].tv_nsec = UTIME_OMIT;
    ts[1].tv_nsec = UTIME_NOW;
    ts[0].tv_sec = ts[1].tv_sec = 0;
    if (::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0) return OSErrFromErrno(errno);
    return noErr;
}

// Reads-modifies-writes an item's sidecar.
template <typename F>
OSErr UpdateSidecar(SItem const& item, F&& change) {
    if (!item.self && IsReservedName(item.diskName)) return bdNamErr;
    struct stat st;
    OSErr err = StatItem(item, st);
    if (err != noErr) return err;
    CAppleDouble ad;
    bool exists = false;
    err = ReadSidecar(item, ad, &exists);
    if (err != noErr) return err;  // a damaged sidecar is never overwritten
    change(ad, st);
    return WriteSidecar(item, ad, st.st_mode);
}

void FillCatInfo(struct stat const& st, CAppleDouble const* ad, SCatInfo* info) {
    *info = SCatInfo();
    info->kind = KindOf(st.st_mode);
    info->isFolder = info->kind == ENodeKind::kFolder;
    info->mode = st.st_mode;
    info->device = st.st_dev;
    info->inode = st.st_ino;
    info->dataLength = info->kind == ENodeKind::kFile ? uint64_t(st.st_size) : 0;
    info->modDate = fw::MacSecondsFromUnix(st.st_mtim.tv_sec);
    info->createDate = info->modDate;
    if (ad) {
        info->hasSidecar = true;
        uint8_t fi[32];
        ad->GetFinderInfo(fi);
        std::memcpy(info->finderInfo, fi, 16);
        std::memcpy(info->extFinderInfo, fi + 16, 16);
        if (!info->isFolder) {
            info->type = Get32(fi);
            info->creator = Get32(fi + 4);
        }
        info->finderFlags = Get16(fi + 8);
        info->locked = ad->Locked();
        info->rsrcLength = info->kind == ENodeKind::kFile ? ad->ResourceFork().size() : 0;
        if (ad->CreateDate() != CAppleDouble::kUnknownDate) info->createDate = MacFromAppleDouble(ad->CreateDate());
        if (ad->BackupDate() != CAppleDouble::kUnknownDate) info->backupDate = MacFromAppleDouble(ad->BackupDate());
    }
}

// Birth time when the file system knows it.
void ApplyBirthTime(std::string const& path, SCatInfo* info, bool fromSidecar) {
    if (fromSidecar) return;
    struct statx sx;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
        info->createDate = fw::MacSecondsFromUnix(std::time_t(sx.stx_btime.tv_sec));
}

void EncodeFInfo(FInfo const& f, uint8_t* p) {
    Put32(p, f.fdType);
    Put32(p + 4, f.fdCreator);
    Put16(p + 8, f.fdFlags);
    Put16(p + 10, uint16_t(f.fdLocation.v));
    Put16(p + 12, uint16_t(f.fdLocation.h));
    Put16(p + 14, uint16_t(f.fdFldr));
}
void DecodeFInfo(uint8_t const* p, FInfo& f) {
    f.fdType = Get32(p);
    f.fdCreator = Get32(p + 4);
    f.fdFlags = Get16(p + 8);
    f.fdLocation.v = int16_t(Get16(p + 10));
    f.fdLocation.h = int16_t(Get16(p + 12));
    f.fdFldr = int16_t(Get16(p + 14));
}
void EncodeFXInfo(FXInfo const& f, uint8_t* p) {
    Put16(p, uint16_t(f.fdIconID));
    for (int i = 0; i < 3; ++i) Put16(p + 2 + 2 * i, uint16_t(f.fdReserved[i]));
    p[8] = uint8_t(f.fdScript);
    p[9] = uint8_t(f.fdXFlags);
    Put16(p + 10, uint16_t(f.fdComment));
    Put32(p + 12, uint32_t(f.fdPutAway));
}
void DecodeFXInfo(uint8_t const* p, FXInfo& f) {
    f.fdIconID = int16_t(Get16(p));
    for (int i = 0; i < 3; ++i) f.fdReserved[i] = int16_t(Get16(p + 2 + 2 * i));
    f.fdScript = int8_t(p[8]);
    f.fdXFlags = int8_t(p[9]);
    f.fdComment = int16_t(Get16(p + 10));
    f.fdPutAway = int32_t(Get32(p + 12));
}

// Removes a sidecar that belongs to no item (so a new item does not inherit
// an old resource fork).
void DropOrphanSidecar(SItem const& item) {
    std::string dir = item.SidecarDir();
    if (!dir.empty()) ::unlink(Join(dir, item.SidecarName()).c_str());
}

// ---- Open forks ------------------------------------------------------------

struct SFork {
    bool rsrc = false;
    bool writable = false;
    bool dirty = false;
    int fd = -1;                // data fork
    std::vector<uint8_t> bytes;  // resource fork
    long mark = 0;
    SItem item;
    dev_t dev = 0;
    ino_t ino = 0;
};

class CForkTable {
public:
    static CForkTable& Get() {
        static CForkTable t;
        return t;
    }
    int16_t Add(std::unique_ptr<SFork> f) {
        std::lock_guard<std::mutex> g(mMutex);
        for (size_t i = 0; i < mForks.size(); ++i)
            if (!mForks[i]) {
                mForks[i] = std::move(f);
                return int16_t(i + 1);
            }
        if (mForks.size() >= 32000) return 0;
        mForks.push_back(std::move(f));
        return int16_t(mForks.size());
    }
    SFork* Find(int16_t ref) {
        std::lock_guard<std::mutex> g(mMutex);
        if (ref <= 0 || size_t(ref) > mForks.size()) return nullptr;
        return mForks[size_t(ref) - 1].get();
    }
    std::unique_ptr<SFork> Take(int16_t ref) {
        std::lock_guard<std::mutex> g(mMutex);
        if (ref <= 0 || size_t(ref) > mForks.size()) return nullptr;
        return std::move(mForks[size_t(ref) - 1]);
    }
    bool ResourceOpenForWriting(dev_t dev, ino_t ino) {
        std::lock_guard<std::mutex> g(mMutex);
        for (auto const& f : mForks)
            if (f && f->rsrc && f->writable && f->dev == dev && f->ino == ino) return true;
        return false;
    }

private:
    std::mutex mMutex;
    std::vector<std::unique_ptr<SFork>> mForks;
};

// Opens a data file without following links and without blocking on FIFOs.
OSErr OpenDataFile(SItem const& item, int flags, int& fd, struct stat& st) {
    fd = ::open(item.path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        if (e == ELOOP) return notAFileErr;
        if (e == ENOENT) return fnfErr;
        return OSErrFromErrno(e);
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fd = -1;
        return notAFileErr;
    }
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return noErr;
}

OSErr OpenFork(FSSpec const& spec, int8_t permission, bool rsrc, int16_t* refNum) {
    if (refNum) *refNum = 0;
    if (permission < fsCurPerm || permission > fsRdWrPerm) return paramErr;
    bool write = permission == fsWrPerm || permission == fsRdWrPerm;
    SItem item;
    struct stat st;
    OSErr err = ResolveFile(spec, write, item, st);
    if (err != noErr) return err;
    bool locked = ItemLocked(item);
    if (write && locked) return fLckdErr;
    if (permission == fsCurPerm) {
        // The most the item allows: writing unless it is locked, ours, or
        // not writable for us.
        write = !locked && !IsReservedName(item.diskName) && ::access(item.path.c_str(), W_OK) == 0 &&
                !(rsrc && CForkTable::Get().ResourceOpenForWriting(st.st_dev, st.st_ino));
    }

    auto fork = std::make_unique<SFork>();
    fork->rsrc = rsrc;
    fork->writable = write;
    fork->item = item;
    fork->dev = st.st_dev;
    fork->ino = st.st_ino;
    if (!rsrc) {
        int flags = !write ? O_RDONLY : permission == fsWrPerm ? O_WRONLY : O_RDWR;
        err = OpenDataFile(item, flags, fork->fd, st);
        if (err != noErr) return err;
    } else {
        if (write && CForkTable::Get().ResourceOpenForWriting(st.st_dev, st.st_ino)) return opWrErr;
        if (write && ::access(item.path.c_str(), W_OK) != 0) return OSErrFromErrno(errno);
        CAppleDouble ad;
        bool exists = false;
        err = ReadSidecar(item, ad, &exists);
        if (err != noErr) return err;
        fork->bytes = ad.ResourceFork();
    }
    int16_t ref = CForkTable::Get().Add(std::move(fork));
    if (ref == 0) return tmfoErr;
    if (refNum) *refNum = ref;
    return noErr;
}

OSErr WriteResourceBytes(SItem const& item, std::vector<uint8_t> const& bytes) {
    OSErr err = UpdateSidecar(item, [&](CAppleDouble& ad, struct stat const&) { ad.SetResourceFork(bytes); });
    if (err != noErr) return err;
    return TouchData(item.path);
}

}  // namespace

// ---- Errors ----------------------------------------------------------------

OSErr OSErrFromErrno(int err) {
    switch (err) {
    case 0: return noErr;
    case ENOENT: return fnfErr;
    case EEXIST: return dupFNErr;
    case EACCES:
    case EPERM: return permErr;
    case EROFS: return wPrErr;
    case ENOSPC:
    case EDQUOT: return dskFulErr;
    case ENAMETOOLONG: return bdNamErr;
    case ENOTEMPTY:
    case EBUSY: return fBsyErr;
    case ENOTDIR: return dirNFErr;
    case EISDIR:
    case ELOOP: return notAFileErr;
    case EXDEV: return diffVolErr;
    case EMFILE:
    case ENFILE: return tmfoErr;
    case ENOMEM: return memFullErr;
    case EINVAL: return paramErr;
    default: return ioErr;
    }
}

// ---- Names -----------------------------------------------------------------

std::string FSpName(FSSpec const& spec) { return std::string(reinterpret_cast<char const*>(spec.name + 1), spec.name[0]); }

void FSpSetName(FSSpec& spec, std::string_view macName) {
    size_t n = std::min<size_t>(macName.size(), 255);
    spec.name[0] = uint8_t(n);
    if (n) std::memcpy(spec.name + 1, macName.data(), n);
}

bool IsReservedName(std::string_view macName) { return macName.size() >= 2 && macName[0] == '.' && macName[1] == '_'; }

OSErr MacNameToDisk(std::string_view macName, std::string& diskName) {
    diskName.clear();
    if (macName.empty() || macName.size() > 255 || macName == "." || macName == "..") return bdNamErr;
    if (macName.find('/') != std::string_view::npos || macName.find('\0') != std::string_view::npos) return bdNamErr;
    if (IsAscii(macName)) {
        diskName.assign(macName);
        return noErr;
    }
    std::string utf8 = Nfc(MacRomanToUtf8(macName));
    if (utf8.empty() || utf8.size() > NAME_MAX) return bdNamErr;
    diskName = std::move(utf8);
    return noErr;
}

OSErr DiskNameToMac(std::string_view diskName, std::string& macName) {
    macName.clear();
    if (diskName.empty() || diskName.size() > NAME_MAX) return bdNamErr;
    if (IsAscii(diskName)) {
        macName.assign(diskName);
        return noErr;
    }
    bool lossless = false;
    std::string mac = Utf8ToMacRoman(diskName, &lossless);
    if (!lossless || mac.size() > 255) return kNameNotMacRoman;
    std::string back;
    if (MacNameToDisk(mac, back) != noErr || back != diskName) return kNameNotMacRoman;
    macName = std::move(mac);
    return noErr;
}

// ---- Folders and locations ---------------------------------------------

OSErr GetDirIDFromPath(std::string const& path, int16_t* vRefNum, int32_t* dirID) {
    if (path.empty()) return paramErr;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return errno == ENOENT ? fnfErr : errno == ENOTDIR ? dirNFErr : OSErrFromErrno(errno);
    std::string canonical(real);
    std::free(real);
    return RegisterDirPath(canonical, vRefNum, dirID);
}

OSErr GetDirPath(int32_t dirID, std::string& path) { return CDirTable::Get().Resolve(dirID, path); }

OSErr GetDirLocation(int32_t dirID, FSSpec* spec) {
    std::string path;
    OSErr err = CDirTable::Get().Resolve(dirID, path);
    if (err != noErr) return err;
    FSSpec out;
    if (path == "/") {
        out.vRefNum = CDirTable::Get().VolumeOf(0);
        struct stat st;
        if (::lstat("/", &st) == 0) out.vRefNum = CDirTable::Get().VolumeOf(st.st_dev);
        out.parID = fsRtParID;
        FSpSetName(out, "/");
    } else {
        std::string parent = DirName(path);
        int32_t parentID = 0;
        int16_t vol = 0;
        err = RegisterDirPath(parent, &vol, &parentID);
        if (err != noErr) return err;
        out.vRefNum = vol;
        out.parID = parentID;
        std::string mac;
        err = DiskNameToMac(BaseName(path), mac);
        if (err != noErr) return err;
        FSpSetName(out, mac);
    }
    if (spec) *spec = out;
    return noErr;
}

OSErr FSMakeFSSpec(int16_t vRefNum, int32_t dirID, std::string_view macName, FSSpec* spec) {
    if (macName.empty()) return GetDirLocation(dirID, spec);
    std::string dir;
    int16_t vol = 0;
    OSErr err = CDirTable::Get().Resolve(dirID, dir, &vol);
    if (err != noErr) return err;
    std::string disk;
    err = MacNameToDisk(macName, disk);
    if (err != noErr) return err;
    FSSpec out;
    out.vRefNum = vol;
    out.parID = dirID;
    FSpSetName(out, macName);
    if (spec) *spec = out;
    struct stat st;
    if (::lstat(Join(dir, disk).c_str(), &st) != 0) return errno == ENOENT ? fnfErr : OSErrFromErrno(errno);
    return noErr;
}

OSErr FSMakeFSSpecFromPath(std::string const& pathIn, FSSpec* spec) {
    if (pathIn.empty()) return paramErr;
    std::string path = pathIn;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd)) return OSErrFromErrno(errno);
        path = Join(cwd, path);
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "/") {
        int32_t id = 0;
        OSErr err = RegisterDirPath("/", nullptr, &id);
        return err != noErr ? err : GetDirLocation(id, spec);
    }
    std::string name = BaseName(path);
    if (name == "." || name == "..") {
        int32_t id = 0;
        OSErr err = GetDirIDFromPath(path, nullptr, &id);
        return err != noErr ? err : GetDirLocation(id, spec);
    }
    int16_t vol = 0;
    int32_t parent = 0;
    OSErr err = GetDirIDFromPath(DirName(path), &vol, &parent);
    if (err != noErr) return err;
    std::string mac;
    err = DiskNameToMac(name, mac);
    if (err != noErr) return err;
    return FSMakeFSSpec(vol, parent, mac, spec);
}

OSErr FSpGetPath(FSSpec const& spec, std::string& path) {
    SItem item;
    OSErr err = ResolveItem(spec, item);
    if (err != noErr) return err;
    path = item.path;
    return noErr;
}

OSErr FSpGetDirID(FSSpec const& spec, int16_t* vRefNum, int32_t* dirID) {
    SItem item;
    OSErr err = ResolveItem(spec, item);
    if (err != noErr) return err;
    if (item.self) {
        if (dirID) *dirID = spec.parID;
        if (vRefNum) *vRefNum = item.vRefNum;
        return noErr;
    }
    struct stat st;
    err = StatItem(item, st);
    if (err != noErr) return err;
    if (!S_ISDIR(st.st_mode)) return errFSNotAFolder;
    int32_t id = CDirTable::Get().Register(item.path, st);
    if (dirID) *dirID = id;
    if (vRefNum) *vRefNum = CDirTable::Get().VolumeOf(st.st_dev);
    return noErr;
}

OSErr FindTemporaryFolder(int16_t* vRefNum, int32_t* dirID) {
    std::string base;
    if (char const* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') {
        base = cache;
    } else {
        char const* home = std::getenv("HOME");
        if (!home || home[0] != '/') return fnfErr;
        base = Join(home, ".cache");
    }
    // Each level is created private when missing; the last two must be ours,
    // real folders (not links) and private.
    std::string dirs[] = {base, Join(base, "fennelwright"), Join(Join(base, "fennelwright"), "tmp")};
    for (int i = 0; i < 3; ++i) {
        if (::mkdir(dirs[i].c_str(), 0700) != 0 && errno != EEXIST) return OSErrFromErrno(errno);
        if (i == 0) continue;
        struct stat st;
        if (::lstat(dirs[i].c_str(), &st) != 0) return OSErrFromErrno(errno);
        if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return permErr;
        if ((st.st_mode & 0077) != 0 && ::chmod(dirs[i].c_str(), 0700) != 0) return OSErrFromErrno(errno);
    }
    return GetDirIDFromPath(dirs[2], vRefNum, dirID);
}

// ---- Catalog information -----------------------------------------------

OSErr FSpGetCatInfo(FSSpec const& spec, SCatInfo* info) {
    SItem item;
    OSErr err = ResolveItem(spec, item);
    if (err != noErr) return err;
    struct stat st;
    err = StatItem(item, st);
    if (err != noErr) return err;
    CAppleDouble ad;
    bool exists = false;
    bool readable = ReadSidecar(item, ad, &exists) == noErr && exists;
    SCatInfo out;
    FillCatInfo(st, readable ? &ad : nullptr, &out);
    out.hasSidecar = exists;
    ApplyBirthTime(item.path, &out, readable && ad.CreateDate() != CAppleDouble::kUnknownDate);
    if (info) *info = out;
    return noErr;
}

OSErr FSpCheckSidecar(FSSpec const& spec, std::string* why) {
    SItem item;
    OSErr err = ResolveItem(spec, item);
    if (err != noErr) return err;
    CAppleDouble ad;
    bool exists = false;
    return ReadSidecar(item, ad, &exists, why);
}

OSErr FSpSetCatDates(FSSpec const& spec, uint32_t const* createDate, uint32_t const* modDate, uint32_t const* backupDate) {
    SItem item;
    OSErr err = ResolveItem(spec, item);
    if (err != noErr) return err;
    if (createDate || backupDate) {
        err = UpdateSidecar(item, [&](CAppleDouble& ad, struct stat const& st) {
            int32_t c = ad.CreateDate(), b = ad.BackupDate();
            if (createDate) c = AppleDoubleFromMac(*createDate);
            if (backupDate) b = *backupDate ? AppleDoubleFromMac(*backupDate) : CAppleDouble::kUnknownDate;
            if (c == CAppleDouble::kUnknownDate && b != CAppleDouble::kUnknownDate)
                c = AppleDoubleFromMac(fw::MacSecondsFromUnix(st.st_mtim.tv_sec));
            ad.SetDates(c, AppleDoubleFromMac(modDate ? *modDate : fw::MacSecondsFromUnix(st.st_mtim.tv_sec)), b);
        });
        if (err != noErr) return err;
    }
    if (modDate) {
        struct timespec ts[2];
        ts[0].tv_sec = 0;
        ts[0].tv_nsec = UTIME_OMIT;
        ts[1].tv_sec = fw::UnixFromMacSeconds(*modDate);
        ts[1].tv_nsec = 0;
        if (::utimensat(AT_FDCWD, item.path.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0) return OSErrFromErrno(errno);
    }
    return noErr;
}

OSErr FSpGetFinderInfo(FSSpec const& spec, FInfo* info, FXInfo* xinfo) {
    SCatInfo ci;
    OSErr err = FSpGetCatInfo(spec, &ci);
    if (err != noErr) return err;
    if (info) DecodeFInfo(ci.finderInfo, *info);
    if (xinfo) DecodeFXInfo(ci.extFinderInfo, *xinfo);
    return noErr;
}

OSErr FSpSetFinderInfo(FSSpec const& spec, FInfo const* info, FXInfo const* xinfo) {
    SItem item;
    OSErr err = ResolveItem(spec, item);
    if (err != noErr) return err;
    if (!item.self && IsReservedName(FSpName(spec))) return bdNamErr;
    return UpdateSidecar(item, [&](CAppleDouble& ad, struct stat const&) {
        uint8_t fi[32];
        ad.GetFinderInfo(fi);
        if (info) EncodeFInfo(*info, fi);
        if (xinfo) EncodeFXInfo(*xinfo, fi + 16);
        ad.SetFinderInfo(fi);
    });
}

OSErr FSpGetFInfo(FSSpec const& spec, FInfo* info) {
    SCatInfo ci;
    OSErr err = FSpGetCatInfo(spec, &ci);
    if (err != noErr) return err;
    if (ci.isFolder) return notAFileErr;
    if (info) DecodeFInfo(ci.finderInfo, *info);
    return noErr;
}

OSErr FSpSetFInfo(FSSpec const& spec, FInfo const* info) {
    SCatInfo ci;
    OSErr err = FSpGetCatInfo(spec, &ci);
    if (err != noErr) return err;
    if (ci.isFolder) return notAFileErr;
    return FSpSetFinderInfo(spec, info, nullptr);
}

static OSErr SetLock(FSSpec const& spec, bool locked) {
    SItem item;
    OSErr err = ResolveItem(spec, item);
    if (err != noErr) return err;
    if (!item.self && IsReservedName(FSpName(spec))) return bdNamErr;
    return UpdateSidecar(item, [&](CAppleDouble& ad, struct stat const&) { ad.SetLocked(locked); });
}

OSErr FSpSetFLock(FSSpec const& spec) { return SetLock(spec, true); }
OSErr FSpRstFLock(FSSpec const& spec) { return SetLock(spec, false); }

// ---- Forks -------------------------------------------------------------

OSErr FSpOpenDF(FSSpec const& spec, int8_t permission, int16_t* refNum) { return OpenFork(spec, permission, false, refNum); }
OSErr FSpOpenRF(FSSpec const& spec, int8_t permission, int16_t* refNum) { return OpenFork(spec, permission, true, refNum); }

OSErr FSRead(int16_t refNum, long* count, void* buffer) {
    SFork* f = CForkTable::Get().Find(refNum);
    if (!f) return rfNumErr;
    if (!count || *count < 0) return paramErr;
    long want = *count;
    long got = 0;
    if (f->rsrc) {
        long size = long(f->bytes.size());
        long avail = f->mark < size ? size - f->mark : 0;
        got = std::min(want, avail);
        if (got > 0) std::memcpy(buffer, f->bytes.data() + f->mark, size_t(got));
    } else {
        while (got < want) {
            ssize_t n = ::pread(f->fd, static_cast<char*>(buffer) + got, size_t(want - got), f->mark + got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                *count = got;
                f->mark += got;
                return OSErrFromErrno(errno);
            }
            if (n == 0) break;
            got += n;
        }
    }
    f->mark += got;
    *count = got;
    return got < want ? eofErr : noErr;
}

OSErr FSWrite(int16_t refNum, long* count, void const* buffer) {
    SFork* f = CForkTable::Get().Find(refNum);
    if (!f) return rfNumErr;
    if (!f->writable) return wrPermErr;
    if (!count || *count < 0) return paramErr;
    long want = *count;
    long done = 0;
    if (f->rsrc) {
        if (size_t(f->mark) + size_t(want) > f->bytes.size()) f->bytes.resize(size_t(f->mark + want));
        if (want > 0) std::memcpy(f->bytes.data() + f->mark, buffer, size_t(want));
        done = want;
        f->dirty = true;
    } else {
        while (done < want) {
            ssize_t n = ::pwrite(f->fd, static_cast<char const*>(buffer) + done, size_t(want - done), f->mark + done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                *count = done;
                f->mark += done;
                return n < 0 ? OSErrFromErrno(errno) : ioErr;
            }
            done += n;
        }
    }
    f->mark += done;
    *count = done;
    return noErr;
}

OSErr GetEOF(int16_t refNum, long* logicalEOF) {
    SFork* f = CForkTable::Get().Find(refNum);
    if (!f) return rfNumErr;
    if (f->rsrc) {
        *logicalEOF = long(f->bytes.size());
        return noErr;
    }
    struct stat st;
    if (::fstat(f->fd, &st) != 0) return OSErrFromErrno(errno);
    *logicalEOF = long(st.st_size);
    return noErr;
}

OSErr SetEOF(int16_t refNum, long logicalEOF) {
    SFork* f = CForkTable::Get().Find(refNum);
    if (!f) return rfNumErr;
    if (!f->writable) return wrPermErr;
    if (logicalEOF < 0) return paramErr;
    if (f->rsrc) {
        f->bytes.resize(size_t(logicalEOF));
        f->dirty = true;
    } else if (::ftruncate(f->fd, logicalEOF) != 0) {
        return OSErrFromErrno(errno);
    }
    if (f->mark > logicalEOF) f->mark = logicalEOF;
    return noErr;
}

OSErr GetFPos(int16_t refNum, long* position) {
    SFork* f = CForkTable::Get().Find(refNum);
    if (!f) return rfNumErr;
    *position = f->mark;
    return noErr;
}

OSErr SetFPos(int16_t refNum, int16_t positionMode, long positionOffset) {
    SFork* f = CForkTable::Get().Find(refNum);
    if (!f) return rfNumErr;
    long eof = 0;
    OSErr err = GetEOF(refNum, &eof);
    if (err != noErr) return err;
    long pos;
    switch (positionMode) {
    case fsAtMark: return noErr;
    case fsFromStart: pos = positionOffset; break;
    case fsFromLEOF: pos = eof + positionOffset; break;
    case fsFromMark: pos = f->mark + positionOffset; break;
    default: return paramErr;
    }
    if (pos < 0) return posErr;
    if (pos > eof) {
        f->mark = eof;
        return eofErr;
    }
    f->mark = pos;
    return noErr;
}

OSErr FSClose(int16_t refNum) {
    std::unique_ptr<SFork> f = CForkTable::Get().Take(refNum);
    if (!f) return rfNumErr;
    if (!f->rsrc) {
        if (::close(f->fd) != 0) return OSErrFromErrno(errno);
        return noErr;
    }
    if (!f->dirty) return noErr;
    return WriteResourceBytes(f->item, f->bytes);
}

OSErr FSpReadFork(FSSpec const& spec, bool resourceFork, std::vector<uint8_t>& bytes) {
    bytes.clear();
    SItem item;
    struct stat st;
    OSErr err = ResolveFile(spec, false, item, st);
    if (err != noErr) return err;
    if (resourceFork) {
        CAppleDouble ad;
        bool exists = false;
        err = ReadSidecar(item, ad, &exists);
        if (err != noErr) return err;
        bytes = ad.ResourceFork();
        return noErr;
    }
    int fd = -1;
    err = OpenDataFile(item, O_RDONLY, fd, st);
    if (err != noErr) return err;
    bytes.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            bytes.clear();
            return OSErrFromErrno(e);
        }
        if (n == 0) break;
        got += size_t(n);
    }
    ::close(fd);
    bytes.resize(got);
    return noErr;
}

OSErr FSpWriteResourceFork(FSSpec const& spec, std::vector<uint8_t> const& bytes) {
    SItem item;
    struct stat st;
    OSErr err = ResolveFile(spec, true, item, st);
    if (err != noErr) return err;
    if (ItemLocked(item)) return fLckdErr;
    if (::access(item.path.c_str(), W_OK) != 0) return OSErrFromErrno(errno);
    return WriteResourceBytes(item, bytes);
}

// ---- Creating, deleting, renaming, moving, exchanging --------------------

OSErr FSpCreate(FSSpec const& spec, OSType creator, OSType fileType, ScriptCode) {
    SItem item;
    OSErr err = ResolveItemForChange(spec, item);
    if (err != noErr) return err;
    int fd = ::open(item.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return OSErrFromErrno(errno);
    ::close(fd);
    DropOrphanSidecar(item);
    if (creator || fileType) {
        err = UpdateSidecar(item, [&](CAppleDouble& ad, struct stat const&) {
            uint8_t fi[32] = {};
            Put32(fi, fileType);
            Put32(fi + 4, creator);
            ad.SetFinderInfo(fi);
        });
        if (err != noErr) {
            ::unlink(item.path.c_str());
            return err;
        }
    }
    return noErr;
}

OSErr FSpDirCreate(FSSpec const& spec, ScriptCode, int32_t* newDirID) {
    SItem item;
    OSErr err = ResolveItemForChange(spec, item);
    if (err != noErr) return err;
    if (::mkdir(item.path.c_str(), 0777) != 0) return OSErrFromErrno(errno);
    DropOrphanSidecar(item);
    return RegisterDirPath(item.path, nullptr, newDirID);
}

namespace {

// A folder that holds nothing but sidecars of items that are gone can be
// deleted: those files are ours and invisible to the user. Anything else in
// it keeps it (false).
bool DropOrphanedSidecarsIn(std::string const& dirPath) {
    int fd = ::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    int listfd = ::dup(fd);
    DIR* d = listfd >= 0 ? ::fdopendir(listfd) : nullptr;
    if (!d) {
        if (listfd >= 0) ::close(listfd);
        ::close(fd);
        return false;
    }
    std::vector<std::string> orphans;
    bool onlyOrphans = true;
    while (struct dirent* e = ::readdir(d)) {
        char const* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        struct stat st;
        bool sidecar = n[0] == '.' && n[1] == '_' && ::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISREG(st.st_mode) && ::fstatat(fd, n + 2, &st, AT_SYMLINK_NOFOLLOW) != 0;
        if (sidecar) {
            uint8_t magic[4] = {};
            int sfd = ::openat(fd, n, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            sidecar = sfd >= 0 && ::read(sfd, magic, 4) == 4 && Get32(magic) == CAppleDouble::kMagic;
            if (sfd >= 0) ::close(sfd);
        }
        if (!sidecar) {
            onlyOrphans = false;
            break;
        }
        orphans.emplace_back(n);
    }
    ::closedir(d);
    bool ok = onlyOrphans;
    if (ok)
        for (auto const& n : orphans)
            if (::unlinkat(fd, n.c_str(), 0) != 0) ok = false;
    ::close(fd);
    return ok;
}

}  // namespace

OSErr FSpDelete(FSSpec const& spec) {
    SItem item;
    OSErr err;
    std::string name = FSpName(spec);
    if (!name.empty() && IsReservedName(name)) {
        // An orphaned sidecar may go; one whose item is there may not.
        err = ResolveItem(spec, item);
        if (err != noErr) return err;
        struct stat owner;
        if (name.size() > 2 && ::lstat(Join(item.dir, item.diskName.substr(2)).c_str(), &owner) == 0) return bdNamErr;
        if (::unlink(item.path.c_str()) != 0) return OSErrFromErrno(errno);
        return noErr;
    }
    err = ResolveItemForChange(spec, item);
    if (err != noErr) return err;
    struct stat st;
    err = StatItem(item, st);
    if (err != noErr) return err;
    if (ItemLocked(item)) return fLckdErr;
    if (S_ISDIR(st.st_mode)) {
        if (::rmdir(item.path.c_str()) != 0) {
            int e = errno;
            if ((e != ENOTEMPTY && e != EEXIST) || !DropOrphanedSidecarsIn(item.path) || ::rmdir(item.path.c_str()) != 0)
                return (e == EEXIST || e == ENOTEMPTY) ? fBsyErr : OSErrFromErrno(e);
        }
    } else if (::unlink(item.path.c_str()) != 0) {
        return OSErrFromErrno(errno);
    }
    std::string sidecar = Join(item.SidecarDir(), item.SidecarName());
    ::unlink(sidecar.c_str());  // nothing there is fine; a leftover is an orphan that nothing adopts
    return noErr;
}

namespace {

// Moves an item and its sidecar from `from` to `to` (both resolved), never
// replacing anything.
OSErr MoveWithSidecar(SItem const& from, SItem const& to, bool isDir) {
    int e = RenameNoReplace(from.path, to.path);
    if (e != 0) {
        if (e == EINVAL && isDir) return badMovErr;
        return OSErrFromErrno(e);
    }
    std::string fromSide = Join(from.SidecarDir(), from.SidecarName());
    std::string toSide = Join(to.SidecarDir(), to.SidecarName());
    struct stat st;
    bool hasSidecar = ::lstat(fromSide.c_str(), &st) == 0;
    // A sidecar already at the new name belongs to nothing: it must not be
    // inherited.
    ::unlink(toSide.c_str());
    if (hasSidecar) {
        if (to.SidecarName().size() > NAME_MAX) e = ENAMETOOLONG;
        else e = RenameNoReplace(fromSide, toSide);
        if (e != 0) {
            // Put the item back so it keeps its forks.
            ::renameat2(AT_FDCWD, to.path.c_str(), AT_FDCWD, from.path.c_str(), RENAME_NOREPLACE);
            return OSErrFromErrno(e);
        }
    }
    if (isDir) CDirTable::Get().Moved(from.path, to.path);
    return noErr;
}

}  // namespace

OSErr FSpRename(FSSpec const& spec, std::string_view newName) {
    SItem item;
    OSErr err = ResolveItemForChange(spec, item);
    if (err != noErr) return err;
    if (newName.empty()) return paramErr;
    if (IsReservedName(newName)) return bdNamErr;
    SItem to = item;
    err = MacNameToDisk(newName, to.diskName);
    if (err != noErr) return err;
    to.path = Join(to.dir, to.diskName);
    struct stat st;
    err = StatItem(item, st);
    if (err != noErr) return err;
    if (ItemLocked(item)) return fLckdErr;
    if (to.path == item.path) return noErr;
    return MoveWithSidecar(item, to, S_ISDIR(st.st_mode));
}

OSErr FSpCatMove(FSSpec const& spec, FSSpec const& destFolder) {
    SItem item;
    OSErr err = ResolveItemForChange(spec, item);
    if (err != noErr) return err;
    struct stat st;
    err = StatItem(item, st);
    if (err != noErr) return err;
    int32_t destID = 0;
    err = FSpGetDirID(destFolder, nullptr, &destID);
    if (err == errFSNotAFolder) return dirNFErr;
    if (err != noErr) return err;
    SItem to;
    err = CDirTable::Get().Resolve(destID, to.dir, &to.vRefNum);
    if (err != noErr) return err;
    to.diskName = item.diskName;
    to.path = Join(to.dir, to.diskName);
    if (to.path == item.path) return noErr;
    if (S_ISDIR(st.st_mode) && (to.dir == item.path || to.dir.compare(0, item.path.size() + 1, item.path + "/") == 0))
        return badMovErr;
    return MoveWithSidecar(item, to, S_ISDIR(st.st_mode));
}

OSErr FSpExchangeFiles(FSSpec const& a, FSSpec const& b) {
    SItem ia, ib;
    OSErr err = ResolveItemForChange(a, ia);
    if (err != noErr) return err;
    err = ResolveItemForChange(b, ib);
    if (err != noErr) return err;
    struct stat sa, sb;
    if ((err = StatItem(ia, sa)) != noErr) return err;
    if ((err = StatItem(ib, sb)) != noErr) return err;
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode)) return notAFileErr;
    if (sa.st_dev != sb.st_dev) return diffVolErr;
    if (sa.st_ino == sb.st_ino) return paramErr;
    CAppleDouble adA, adB;
    bool exA = false, exB = false;
    if ((err = ReadSidecar(ia, adA, &exA)) != noErr) return err;
    if ((err = ReadSidecar(ib, adB, &exB)) != noErr) return err;
    if ((exA && adA.Locked()) || (exB && adB.Locked())) return fLckdErr;

    // The data files change places...
    if (::renameat2(AT_FDCWD, ia.path.c_str(), AT_FDCWD, ib.path.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) return OSErrFromErrno(errno);
        // ...or, where the file system cannot swap, by three renames.
        std::string tmp;
        for (int i = 0; i < 100 && tmp.empty(); ++i) {
            char buf[64];
            std::snprintf(buf, sizeof buf, ".fwx%d.%d", int(::getpid()), i);
            std::string cand = Join(ia.dir, buf);
            struct stat st;
            if (::lstat(cand.c_str(), &st) != 0 && errno == ENOENT) tmp = cand;
        }
        if (tmp.empty()) return dupFNErr;
        int e = RenameNoReplace(ia.path, tmp);
        if (e != 0) return OSErrFromErrno(e);
        e = RenameNoReplace(ib.path, ia.path);
        if (e != 0) {
            ::rename(tmp.c_str(), ia.path.c_str());
            return OSErrFromErrno(e);
        }
        e = RenameNoReplace(tmp, ib.path);
        if (e != 0) {
            ::rename(ia.path.c_str(), ib.path.c_str());
            ::rename(tmp.c_str(), ia.path.c_str());
            return OSErrFromErrno(e);
        }
    }
    // Permissions stay with the names.
    ::chmod(ia.path.c_str(), sa.st_mode & 07777);
    ::chmod(ib.path.c_str(), sb.st_mode & 07777);

    // ...and so do the resource forks, while Finder information stays.
    std::vector<uint8_t> rsrcA = adA.ResourceFork(), rsrcB = adB.ResourceFork();
    if (rsrcA != rsrcB) {
        CAppleDouble newA = adA, newB = adB;
        newA.SetResourceFork(rsrcB);
        newB.SetResourceFork(rsrcA);
        err = WriteSidecar(ia, newA, sa.st_mode);
        if (err == noErr) {
            err = WriteSidecar(ib, newB, sb.st_mode);
            if (err != noErr) WriteSidecar(ia, adA, sa.st_mode);
        }
        if (err != noErr) {
            // Undo the data swap so that each file stays whole.
            ::renameat2(AT_FDCWD, ia.path.c_str(), AT_FDCWD, ib.path.c_str(), RENAME_EXCHANGE);
            ::chmod(ia.path.c_str(), sa.st_mode & 07777);
            ::chmod(ib.path.c_str(), sb.st_mode & 07777);
            return err;
        }
    }
    return noErr;
}

// ---- Folder listing --------------------------------------------------------

struct CDirReader::Impl {
    int dirfd = -1;
    std::vector<std::string> names;
    std::unordered_set<std::string> sidecars;  // "._" names present
    size_t next = 0;
};

CDirReader::CDirReader() = default;

CDirReader::~CDirReader() { Close(); }

void CDirReader::Close() {
    if (mImpl) {
        if (mImpl->dirfd >= 0) ::close(mImpl->dirfd);
        delete mImpl;
        mImpl = nullptr;
    }
}

OSErr CDirReader::Open(int32_t dirID) {
    Close();
    std::string path;
    struct stat want;
    OSErr err = CDirTable::Get().Resolve(dirID, path, &mVRefNum, &want);
    if (err != noErr) return err;
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return OSErrFromErrno(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_dev != want.st_dev || st.st_ino != want.st_ino) {
        ::close(fd);
        return dirNFErr;
    }
    int listfd = ::dup(fd);
    DIR* d = listfd >= 0 ? ::fdopendir(listfd) : nullptr;
    if (!d) {
        if (listfd >= 0) ::close(listfd);
        ::close(fd);
        return OSErrFromErrno(errno);
    }
    mImpl = new Impl;
    mImpl->dirfd = fd;
    mDirID = dirID;
    while (struct dirent* e = ::readdir(d)) {
        char const* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        if (n[0] == '.' && n[1] == '_') mImpl->sidecars.insert(n);
        mImpl->names.emplace_back(n);
    }
    ::closedir(d);
    return noErr;
}

OSErr CDirReader::Next(SDirEntry& out, bool wantInfo) {
    if (!mImpl) return errFSNoMoreItems;
    while (mImpl->next < mImpl->names.size()) {
        std::string const& name = mImpl->names[mImpl->next++];
        out.diskName = name;
        out.macName.clear();
        out.info = SCatInfo();
        if (name.size() > 2 && name[0] == '.' && name[1] == '_') {
            // A sidecar is listed only when its item is gone (an orphan).
            struct stat owner;
            if (::fstatat(mImpl->dirfd, name.c_str() + 2, &owner, AT_SYMLINK_NOFOLLOW) == 0) continue;
        }
        OSErr err = DiskNameToMac(name, out.macName);
        if (err != noErr) return err == bdNamErr ? kNameNotMacRoman : err;
        if (!wantInfo) return noErr;
        struct stat st;
        if (::fstatat(mImpl->dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;  // gone since the listing
            return OSErrFromErrno(errno);
        }
        CAppleDouble ad;
        bool readable = false;
        if (!mImpl->sidecars.empty()) {
            std::string side = kSidecarPrefix + name;
            if (mImpl->sidecars.count(side)) {
                bool exists = false;
                readable = ReadSidecarAt(mImpl->dirfd, side, ad, &exists) == noErr && exists;
                out.info.hasSidecar = exists;
            }
        }
        bool hadSidecar = out.info.hasSidecar;
        FillCatInfo(st, readable ? &ad : nullptr, &out.info);
        out.info.hasSidecar = hadSidecar;
        return noErr;
    }
    return errFSNoMoreItems;
}
