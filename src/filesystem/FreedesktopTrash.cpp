#include "filesystem/FreedesktopTrash.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FreedesktopTrash {
namespace {

// files/NAME, info/NAME.trashinfo, files/._NAME and info/._NAME.trashinfo must all fit.
constexpr size_t kEntryNameMax = NAME_MAX - 2 - 10;

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string Join(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

// Cuts `s` to at most `n` bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& s, size_t n) {
    if (s.size() <= n)
        return s;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return s.substr(0, n);
}

void SplitPath(const std::string& path, std::string& parent, std::string& name) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) {
        parent = std::string(1, '.');
        name.swap(p);
    } else {
        name = p.substr(slash + 1);
        p.resize(slash == 0 ? 1 : slash);
        parent.swap(p);
    }
}

std::string RealPath(const std::string& path) {
    char* r = realpath(path.c_str(), nullptr);
    if (!r)
        return std::string();
    std::string s(r);
    free(r);
    return s;
}

// Creates a private folder when missing and checks that what is there is a real
// folder of ours (never a symbolic link planted by someone else).
int EnsurePrivateDir(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (st.st_uid != geteuid())
        return EACCES;
    return 0;
}

int EnsureDirTree(const std::string& path) {
    // mkdir -p with mode 0700 for the parts that are missing.
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    std::string parent, name;
    SplitPath(path, parent, name);
    if (parent != path && parent != "." && parent != "/") {
        if (int r = EnsureDirTree(parent))
            return r;
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

int UseTrashDir(const std::string& dir, const std::string& topdir, Location& out) {
    if (int r = EnsurePrivateDir(dir))
        return r;
    if (int r = EnsurePrivateDir(Join(dir, "files")))
        return r;
    if (int r = EnsurePrivateDir(Join(dir, "info")))
        return r;
    out.dir = dir;
    out.topdir = topdir;
    return 0;
}

std::string MountTop(const std::string& dir) {
    std::string cur = RealPath(dir);
    if (cur.empty())
        return cur;
    struct stat st;
    if (stat(cur.c_str(), &st) != 0)
        return std::string();
    dev_t dev = st.st_dev;
    while (cur != "/") {
        std::string parent, name;
        SplitPath(cur, parent, name);
        struct stat pst;
        if (stat(parent.c_str(), &pst) != 0 || pst.st_dev != dev)
            break;
        cur = parent;
    }
    return cur;
}

int WriteNewFile(const std::string& path, const std::string& content) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return errno;
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int e = errno;
            close(fd);
            unlink(path.c_str());
            return e;
        }
        done += static_cast<size_t>(n);
    }
    if (close(fd) != 0) {
        int e = errno;
        unlink(path.c_str());
        return e;
    }
    return 0;
}

int ReadSmallFile(const std::string& path, std::string& out) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return EINVAL;
    }
    out.clear();
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int e = errno;
            close(fd);
            return e;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > (1u << 20)) {  // a trashinfo file is a few lines
            close(fd);
            return EFBIG;
        }
    }
    close(fd);
    return 0;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        return errno;
    return 0;
}

std::string InfoPath(const Location& loc, const std::string& entry) {
    return Join(Join(loc.dir, "info"), entry + ".trashinfo");
}

std::string FilesPath(const Location& loc, const std::string& entry) {
    return Join(Join(loc.dir, "files"), entry);
}

bool EntryTaken(const Location& loc, const std::string& entry) {
    return Exists(FilesPath(loc, entry)) || Exists(InfoPath(loc, entry)) ||
           Exists(FilesPath(loc, "._" + entry)) || Exists(InfoPath(loc, "._" + entry));
}

// Gives the entry `from` (its file and its info) the free name `to`.
int RenameEntry(const Location& loc, const std::string& from, const std::string& to) {
    const std::string fromInfo = InfoPath(loc, from), toInfo = InfoPath(loc, to);
    const bool hadInfo = Exists(fromInfo);
    if (hadInfo) {
        std::string content;
        if (int r = ReadSmallFile(fromInfo, content))
            return r;
        if (int r = WriteNewFile(toInfo, content))
            return r;
    }
    if (Exists(FilesPath(loc, from))) {
        if (int r = RenameNoReplace(FilesPath(loc, from), FilesPath(loc, to))) {
            if (hadInfo)
                unlink(toInfo.c_str());
            return r;
        }
    }
    if (hadInfo)
        unlink(fromInfo.c_str());
    return 0;
}

std::string DeletionDate() {
    time_t now = time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tmv);
    return buf;
}

// Writes the info file, then moves the item in; on failure nothing is left behind.
int PutEntry(const Location& loc, const std::string& src, const std::string& entry,
             const std::string& originalPath) {
    std::string recorded = originalPath;
    if (!loc.topdir.empty()) {
        std::string top = loc.topdir == "/" ? "/" : loc.topdir + "/";
        if (recorded.compare(0, top.size(), top) == 0)
            recorded = recorded.substr(top.size());
    }
    std::string info = "[Trash Info]\nPath=" + EncodePath(recorded) +
                       "\nDeletionDate=" + DeletionDate() + "\n";
    const std::string infoPath = InfoPath(loc, entry);
    if (int r = WriteNewFile(infoPath, info))
        return r;
    if (int r = RenameNoReplace(src, FilesPath(loc, entry))) {
        unlink(infoPath.c_str());
        return r;
    }
    return 0;
}

void TakeBack(const Location& loc, const std::string& entry, const std::string& backTo) {
    if (RenameNoReplace(FilesPath(loc, entry), backTo) == 0)
        unlink(InfoPath(loc, entry).c_str());
}

}  // namespace

std::string HomeTrashDir() {
    const char* xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return Join(xdg, "Trash");
    const char* home = getenv("HOME");
    return Join(Join(home && home[0] ? home : "/", ".local/share"), "Trash");
}

std::string EncodePath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string EntryNameFor(const std::string& diskName) {
    return CutUtf8(diskName, kEntryNameMax);
}

std::string CandidateName(const std::string& name, unsigned long n) {
    if (n < 2)
        return name;
    std::string num = std::to_string(n);
    size_t room = kEntryNameMax > num.size() + 1 ? kEntryNameMax - num.size() - 1 : 0;
    return CutUtf8(name, room) + " " + num;
}

int Locate(const std::string& itemPath, Location& out) {
    struct stat st;
    if (lstat(itemPath.c_str(), &st) != 0)
        return errno;
    std::string parent, name;
    SplitPath(itemPath, parent, name);

    const std::string home = HomeTrashDir();
    std::string dataHome, trashName;
    SplitPath(home, dataHome, trashName);
    if (EnsureDirTree(dataHome) == 0) {
        struct stat hst;
        if (stat(dataHome.c_str(), &hst) == 0 && hst.st_dev == st.st_dev)
            return UseTrashDir(home, std::string(), out);
    }

    const std::string top = MountTop(parent);
    if (top.empty())
        return errno ? errno : ENOENT;
    const std::string uid = std::to_string(static_cast<unsigned long>(geteuid()));
    const std::string shared = Join(top, ".Trash");
    struct stat sst;
    if (lstat(shared.c_str(), &sst) == 0 && S_ISDIR(sst.st_mode) && (sst.st_mode & S_ISVTX)) {
        if (UseTrashDir(Join(shared, uid), top, out) == 0)
            return 0;
    }
    return UseTrashDir(Join(top, ".Trash-" + uid), top, out);
}

int MoveToTrash(const std::string& itemPath, const std::string& sidecarPath,
                std::string* trashName) {
    std::string parent, disk;
    SplitPath(itemPath, parent, disk);
    if (disk.empty() || disk == "." || disk == ".." || disk == "/")
        return EINVAL;
    Location loc;
    if (int r = Locate(itemPath, loc))
        return r;
    const std::string realParent = RealPath(parent);
    if (realParent.empty())
        return errno ? errno : ENOENT;

    const std::string entry = EntryNameFor(disk);
    if (EntryTaken(loc, entry)) {
        std::string free;
        for (unsigned long n = 2; n < 1000000; ++n) {
            std::string c = CandidateName(entry, n);
            if (!EntryTaken(loc, c)) {
                free = c;
                break;
            }
        }
        if (free.empty())
            return EEXIST;
        if (int r = RenameEntry(loc, entry, free))
            return r;
        if (int r = RenameEntry(loc, "._" + entry, "._" + free))
            return r;
    }

    if (int r = PutEntry(loc, itemPath, entry, Join(realParent, disk)))
        return r;
    if (!sidecarPath.empty() && Exists(sidecarPath)) {
        std::string sParent, sName;
        SplitPath(sidecarPath, sParent, sName);
        if (int r = PutEntry(loc, sidecarPath, "._" + entry, Join(realParent, sName))) {
            TakeBack(loc, entry, itemPath);
            return r;
        }
    }
    if (trashName)
        *trashName = entry;
    return 0;
}

}  // namespace FreedesktopTrash
