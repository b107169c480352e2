#include "filesystem/CFileSystemUtils.h"

#include "filesystem/CFileClosers.h"
#include "foundation/Log.h"
#include "platform/MacRoman.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

std::string Str(CString const& s) {
    return s.IsNull() ? std::string() : std::string(s.c_str(), static_cast<size_t>(s.Length()));
}

CString ToCString(std::string const& s) { return CString(s.c_str(), static_cast<int>(s.size())); }

char const* Shown(CString const& s) { return s.IsNull() ? "" : s.c_str(); }

void ToPascal(std::string const& s, unsigned char* out) {
    size_t n = s.size() < 255 ? s.size() : 255;
    out[0] = static_cast<unsigned char>(n);
    std::memcpy(out + 1, s.data(), n);
}

void FolderSpec(short vRefNum, long dirID, FSSpec& out) {
    out = FSSpec();
    out.vRefNum = vRefNum;
    out.parID = static_cast<int32_t>(dirID);
}

}  // namespace

// ---- Volumes and long names ---------------------------------------------

bool LongNamesOKOnVol(short) { return true; }

short MaxFileNameLen(short vRefNum) { return LongNamesOKOnVol(vRefNum) ? 255 : 31; }

OSErr GetLongName(FSSpec const& item, CString& name) {
    std::string n = FSpName(item);
    name = ToCString(n);
    FSSpec found;
    return FSMakeFSSpec(item.vRefNum, item.parID, n, &found);
}

OSErr MakeLongFSSpec(short vRefNum, long dirID, CString const& name, FSSpec& out) {
    OSErr err = paramErr;
    if (!name.Empty())
        err = FSMakeFSSpec(vRefNum, static_cast<int32_t>(dirID), Str(name), &out);
    if (err != noErr)
        FolderSpec(vRefNum, dirID, out);
    return err;
}

OSErr MakeLongFSSpec(CLongFSSpec const& spec, FSSpec& out) {
    return MakeLongFSSpec(spec.mVRefNum, spec.mDirID, spec.mName, out);
}

OSErr LongDirCreate(short vRefNum, long parentDirID, CString const& name, long& newDirID) {
    FSSpec spec;
    OSErr err = FSMakeFSSpec(vRefNum, static_cast<int32_t>(parentDirID), Str(name), &spec);
    if (err == noErr)
        return dupFNErr;
    if (err != fnfErr)
        return err;
    int32_t id = 0;
    err = FSpDirCreate(spec, 0, &id);
    if (err == noErr)
        newDirID = id;
    return err;
}

OSErr LongRename(FSSpec& item, CString const& newName) {
    OSErr err = FSpRename(item, Str(newName));
    if (err == noErr)
        FSpSetName(item, Str(newName));
    return err;
}

short GetFolderVolAndDir(short vRefNum, long parentDirID, CString const& folderName, short& outVRefNum,
                         long& outDirID) {
    FSSpec spec;
    OSErr err = FSMakeFSSpec(vRefNum, static_cast<int32_t>(parentDirID), Str(folderName), &spec);
    if (err != noErr)
        return err;
    int16_t v = 0;
    int32_t d = 0;
    err = FSpGetDirID(spec, &v, &d);
    if (err == noErr) {
        outVRefNum = v;
        outDirID = d;
    }
    return err;
}

bool IsFolder(FSSpec const& item) {
    SCatInfo info;
    return FSpGetCatInfo(item, &info) == noErr && info.isFolder;
}

OSErr GetModificationDate(FSSpec const& item, unsigned long& date) {
    SCatInfo info;
    OSErr err = FSpGetCatInfo(item, &info);
    if (err == noErr)
        date = info.modDate;
    return err;
}

OSErr SetFinderInfo(CString const& shownName, FSSpec const& item, FInfo const& info, FXInfo const& xinfo) {
    FInfo oldInfo;
    FXInfo oldX;
    OSErr err = FSpGetFinderInfo(item, &oldInfo, &oldX);
    if (err != noErr) {
        GLogPrintf(3, "Failed to read info of \xD2%s\xD3. [error = %ld]", Shown(shownName), static_cast<long>(err));
        return err;
    }
    err = FSpSetFinderInfo(item, &info, &xinfo);
    if (err != noErr)
        GLogPrintf(3, "Failed to write info of \xD2%s\xD3. [error = %ld]", Shown(shownName), static_cast<long>(err));
    return err;
}

OSErr SetTypeAndCreator(CString const& shownName, FSSpec const& item, OSType type, OSType creator) {
    FInfo info;
    OSErr err = FSpGetFInfo(item, &info);
    if (err != noErr) {
        GLogPrintf(3, "Failed to read info of \xD2%s\xD3. [error = %ld]", Shown(shownName), static_cast<long>(err));
        return err;
    }
    info.fdType = type;
    info.fdCreator = creator;
    err = FSpSetFInfo(item, &info);
    if (err != noErr)
        GLogPrintf(3, "Failed to write info of \xD2%s\xD3. [error = %ld]", Shown(shownName), static_cast<long>(err));
    return err;
}

// ---- Names ----------------------------------------------------------------

void CreateNewFSSpec(FSSpec& spec, unsigned short mode) {
    try {
        int16_t vRefNum = spec.vRefNum;
        int32_t dirID = spec.parID;
        if (mode == kNewSpecInTempFolder) {
            OSErr err = FindTemporaryFolder(&vRefNum, &dirID);
            if (err != noErr) {
                GLogPrintf(3, "Failed to find temporary folder on system disk. [error = %ld]", static_cast<long>(err));
                return;
            }
        }
        unsigned char base[256];
        ToPascal(FSpName(spec), base);
        unsigned long counter = 1;
        // A folder cannot be so full that a million candidates are all taken; the
        // bound only keeps a misbehaving file system from holding us forever.
        for (unsigned long tries = 0; tries < 1000000; ++tries) {
            unsigned char candidate[256];
            if (mode == kNewSpecUnique)
                NewUniqueName(base, 31, counter, candidate);
            else
                NewCrypticName(candidate);
            std::string name(reinterpret_cast<char const*>(candidate + 1), candidate[0]);
            FSSpec probe;
            OSErr err = FSMakeFSSpec(vRefNum, dirID, name, &probe);
            spec.vRefNum = vRefNum;
            spec.parID = dirID;
            FSpSetName(spec, name);
            if (err == fnfErr)
                return;
            if (err != noErr) {
                GLogPrintf(3, "Failed to create temporary file. [error = %ld]", static_cast<long>(err));
                return;
            }
        }
        GLogPrintf(3, "Failed to create temporary file. [error = %ld]", static_cast<long>(dupFNErr));
    } catch (std::exception const&) {
        GLogPrintf(3, "Unexpected throw %ld caught.", static_cast<long>(memFullErr));
    }
}

OSErr MakeUniqueInFolder(short vRefNum, long dirID, CString& name) {
    unsigned char base[256];
    ToPascal(Str(name), base);
    unsigned long counter = 1;
    for (;;) {
        unsigned char candidate[256];
        NewUniqueName(base, 255, counter, candidate);
        std::string c(reinterpret_cast<char const*>(candidate + 1), candidate[0]);
        FSSpec probe;
        OSErr err = FSMakeFSSpec(vRefNum, static_cast<int32_t>(dirID), c, &probe);
        if (err == fnfErr) {
            name = ToCString(c);
            return noErr;
        }
        if (err != noErr)
            return err;
        if (counter > 1000000)
            return dupFNErr;
    }
}

// ---- Paths ----------------------------------------------------------------

namespace {

// Only plain names lead anywhere: no parent, no self, no empty or absolute
// component, and nothing that the platform keeps for itself. The whole path is
// checked before anything is created.
bool PathComponentsValid(char const* p) {
    for (;;) {
        char const* slash = std::strchr(p, '/');
        std::string name = slash ? std::string(p, static_cast<size_t>(slash - p)) : std::string(p);
        if (name.empty() || name == "." || name == ".." || IsReservedName(name)) {
            GLogPrintf(2, "Invalid path component \xD2%s\xD3 in \xD2%s\xD3.", name.c_str(), p);
            return false;
        }
        if (!slash)
            return true;
        p = slash + 1;
    }
}

}  // namespace

short OpenPath(short vRefNum, long dirID, char const* path, FSSpec* out) {
    if (!path)
        return 1;
    short const maxLen = MaxFileNameLen(vRefNum);
    char const* p = path;
    while (p[0] == '.' && p[1] == '/')
        p += 2;
    if (!PathComponentsValid(p))
        return 1;
    for (;;) {
        CString component;
        short len = BiteOffPathComponent(p, component, static_cast<unsigned short>(maxLen));
        if (len < 0)
            return 1;
        std::string name(p, static_cast<size_t>(len));
        FSSpec spec;
        OSErr err = MakeLongFSSpec(vRefNum, dirID, component, spec);
        bool const last = p[len] == 0;
        if (last) {
            if (out)
                *out = spec;
            return err;
        }
        if (err == noErr) {
            SCatInfo info;
            err = FSpGetCatInfo(spec, &info);
            if (err == noErr && info.kind != ENodeKind::kFolder) {
                GLogPrintf(3, "File \xD2%s\xD3 is in the way. Can't create folder in its place.", name.c_str());
                return 1;
            }
            short v = 0;
            long d = 0;
            if (err == noErr)
                err = GetFolderVolAndDir(vRefNum, dirID, component, v, d);
            if (err != noErr) {
                GLogPrintf(3, "Problem in path component \xD2%s\xD3. [error = %hd]", name.c_str(), err);
                return 1;
            }
            vRefNum = v;
            dirID = d;
        } else if (err == fnfErr) {
            long d = 0;
            err = LongDirCreate(vRefNum, dirID, component, d);
            if (err != noErr) {
                GLogPrintf(3, "Could not create folder \xD2%s\xD3. [error = %hd]", name.c_str(), err);
                return 1;
            }
            short v = 0;
            if (GetFolderVolAndDir(vRefNum, dirID, component, v, d) == noErr)
                vRefNum = v;
            dirID = d;
        } else {
            GLogPrintf(3, "Problem in path component \xD2%s\xD3. [error = %hd]", name.c_str(), err);
            return 1;
        }
        p += len + 1;
    }
}

void PathNameFromVolAndDir(long, long dirID, CString& out, unsigned char full) {
    out = "";
    if (full) {
        std::string path;
        if (GetDirPath(static_cast<int32_t>(dirID), path) != noErr)
            return;
        out = ToCString(Utf8ToMacRoman(path));
        return;
    }
    FSSpec loc;
    if (GetDirLocation(static_cast<int32_t>(dirID), &loc) != noErr)
        return;
    out = ToCString(FSpName(loc));
}

void PathNameFromVolAndDir(long vRefNum, long dirID, unsigned char* out, unsigned char full) {
    CString s;
    PathNameFromVolAndDir(vRefNum, dirID, s, full);
    s.ToPString(out, 255);
}

CString PosixPathFromFSSpec(FSSpec const& item) {
    std::string name = FSpName(item);
    FSSpec found;
    OSErr err = FSMakeFSSpec(item.vRefNum, item.parID, name, &found);
    if (err != noErr) {
        GLogPrintf(3, "Cannot generate POSIX path from FSSpec for file %s [error = %hd].", name.c_str(), err);
        return CString("<invalid path string>");
    }
    std::string path;
    err = FSpGetPath(found, path);
    if (err != noErr) {
        GLogPrintf(3, "Cannot generate POSIX path from FSRef for file %s [error = %hd].", name.c_str(), err);
        return CString("<invalid path string>");
    }
    return ToCString(path);
}

// ---- Permissions ------------------------------------------------------------

short GetAccessPrivilegesBin(FSSpec const& item, unsigned short& mode) {
    std::string path;
    OSErr perr = FSpGetPath(item, path);
    struct stat st;
    int r = -1;
    int e = ENOENT;
    if (perr == noErr) {
        r = stat(path.c_str(), &st);
        if (r != 0 && errno == ENOENT)  // a dangling symbolic link: its own mode
            r = lstat(path.c_str(), &st);
        e = errno;
    }
    if (r != 0) {
        GLogPrintf(3, "Failed to read privileges of file %s [error = %d].", FSpName(item).c_str(), e);
        mode = 0744;
        return static_cast<short>(r);
    }
    mode = static_cast<unsigned short>(st.st_mode);
    return 0;
}

short SetAccessPrivilegesBin(FSSpec const& item, unsigned short mode) {
    std::string path;
    int e = ENOENT;
    if (FSpGetPath(item, path) == noErr) {
        struct stat st;
        // chmod would act on what a symbolic link points to, which may lie
        // anywhere; a link keeps its own (meaningless) mode.
        if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return 0;
        if (chmod(path.c_str(), mode & 07777) == 0)
            return 0;
        e = errno;
    }
    GLogPrintf(3, "Failed to set privileges %x for file %s [error = %d].", static_cast<unsigned>(mode),
               FSpName(item).c_str(), e);
    return static_cast<short>(e);
}

CString GetAccessPrivileges(FSSpec const& item) {
    unsigned short mode = 0;
    GetAccessPrivilegesBin(item, mode);
    return PrivsBits2String(mode & 0777, 0);
}

// ---- Files and forks ----------------------------------------------------------

OSErr FSpCopyFileLongFSSpec(FSSpec const& source, CLongFSSpec const& target) {
    FInfo finfo;
    OSErr err = FSpGetFInfo(source, &finfo);
    if (err != noErr)
        return err;
    SCatInfo cat;
    err = FSpGetCatInfo(source, &cat);
    if (err != noErr)
        return err;
    unsigned short mode = 0;
    GetAccessPrivilegesBin(source, mode);

    FSSpec temp;
    FolderSpec(target.mVRefNum, target.mDirID, temp);
    CreateNewFSSpec(temp, kNewSpecCryptic);
    err = FSpCreate(temp, finfo.fdCreator, finfo.fdType, 0);
    if (err != noErr)
        return err;
    if (!CopyFork(kResourceFork, temp, source) || !CopyFork(kDataFork, temp, source)) {
        FSpDelete(temp);
        return 1;
    }

    FSSpec made = temp;
    err = LongRename(made, target.mName);
    if (err == noErr)
        err = MakeLongFSSpec(target, made);
    if (err == noErr) {
        // Linux keeps no creation date of its own for a copy: store the source's
        // only when it was stored (in its sidecar), so that plain files stay plain.
        uint32_t const* create = cat.hasSidecar ? &cat.createDate : nullptr;
        uint32_t const* backup = cat.backupDate != 0 ? &cat.backupDate : nullptr;
        err = FSpSetCatDates(made, create, &cat.modDate, backup);
    }
    if (err == noErr)
        SetAccessPrivilegesBin(made, mode & 07777);
    if (err == noErr && cat.locked)
        err = FSpSetFLock(made);
    if (err != noErr) {
        FSSpec gone;
        if (FSMakeFSSpec(made.vRefNum, made.parID, FSpName(made), &gone) == noErr)
            FSpDelete(made);
        else
            FSpDelete(temp);
        return err;
    }
    return noErr;
}

bool CopyFork(short fork, FSSpec const& target, FSSpec const& source) {
    if (fork != kResourceFork && fork != kDataFork) {
        FW_FAIL("!(0)");
        return false;
    }
    char const* word = fork == kResourceFork ? "resource" : "data";
    unsigned char sourceName[256], targetName[256];
    ToPascal(FSpName(source), sourceName);
    ToPascal(FSpName(target), targetName);
    auto open = [fork](FSSpec const& spec, int8_t perm, int16_t* ref) {
        return fork == kResourceFork ? FSpOpenRF(spec, perm, ref) : FSpOpenDF(spec, perm, ref);
    };

    short files[2] = {-1, -1};
    CFSCloser closer(files, 2);
    int16_t ref = -1;
    OSErr err = open(source, fsRdPerm, &ref);
    if (err != noErr) {
        GLogPrintf(3, "Failed to open %s file \xD2%#s\xD3 to read. [error = %ld]", word, sourceName, static_cast<long>(err));
        return false;
    }
    files[0] = ref;
    long length = 0;
    err = GetEOF(files[0], &length);
    if (err != noErr) {
        GLogPrintf(3, "Failed to detect length of %s file \xD2%#s\xD3. [error = %ld]", word, sourceName,
                   static_cast<long>(err));
        return false;
    }
    if (length == 0) {
        // Nothing to copy: leave an empty target fork untouched (no sidecar, no
        // new modification date).
        SCatInfo info;
        if (FSpGetCatInfo(target, &info) == noErr &&
            (fork == kResourceFork ? info.rsrcLength : info.dataLength) == 0)
            return true;
    }
    err = open(target, fsWrPerm, &ref);
    if (err != noErr) {
        GLogPrintf(3, "Failed to open %s file \xD2%#s\xD3 to write. [error = %ld]", word, targetName, static_cast<long>(err));
        return false;
    }
    files[1] = ref;
    err = SetEOF(files[1], 0);
    if (err != noErr) {
        GLogPrintf(3, "Failed to write file \xD2%#s\xD3; %lu byte%s left. [error = %ld]", targetName,
                   static_cast<unsigned long>(length), length == 1 ? "" : "s", static_cast<long>(err));
        return false;
    }

    char buffer[4096];
    long left = length;
    while (left > 0) {
        long ask = left < static_cast<long>(sizeof buffer) ? left : static_cast<long>(sizeof buffer);
        long got = ask;
        err = FSRead(files[0], &got, buffer);
        if (err != noErr || got != ask) {
            GLogPrintf(3, "Failed to read %s file \xD2%#s\xD3; %lu/%lu bytes read/expected. [error = %ld]", word,
                       sourceName, static_cast<unsigned long>(got), static_cast<unsigned long>(ask),
                       static_cast<long>(err));
            return false;
        }
        long put = got;
        err = FSWrite(files[1], &put, buffer);
        if (err != noErr || put != got) {
            unsigned long notCopied = static_cast<unsigned long>(left - (put > 0 ? put : 0));
            GLogPrintf(3, "Failed to write file \xD2%#s\xD3; %lu byte%s left. [error = %ld]", targetName, notCopied,
                       notCopied == 1 ? "" : "s", static_cast<long>(err));
            return false;
        }
        left -= got;
    }
    // Closing writes a resource fork back; its failure is a failed copy too.
    err = FSClose(files[1]);
    files[1] = -1;
    if (err != noErr) {
        GLogPrintf(3, "Failed to write file \xD2%#s\xD3; %lu byte%s left. [error = %ld]", targetName, 0ul, "s",
                   static_cast<long>(err));
        return false;
    }
    return true;
}
