#include "filesystem/FSItemOperations.h"

#include "filesystem/CFileSystemUtils.h"
#include "filesystem/FreedesktopTrash.h"
#include "foundation/Log.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Str(CString const& s) {
    return s.IsNull() ? std::string() : std::string(s.c_str(), static_cast<size_t>(s.Length()));
}

char const* Shown(CString const& s) { return s.IsNull() ? "" : s.c_str(); }

// A folder's own volume and directory ID from its location.
OSErr FolderOf(FSSpec const& folder, CString& name, short& vRefNum, long& dirID) {
    OSErr err = GetLongName(folder, name);
    if (err != noErr)
        return err;
    return GetFolderVolAndDir(folder.vRefNum, folder.parID, name, vRefNum, dirID);
}

// True when the folder `dirID` is `ancestor` or lies somewhere inside it.
bool IsInside(long dirID, long ancestor) {
    int32_t id = static_cast<int32_t>(dirID);
    for (int depth = 0; depth < 4096 && id != fsRtParID && id != 0; ++depth) {
        if (id == ancestor)
            return true;
        FSSpec loc;
        if (GetDirLocation(id, &loc) != noErr)
            return false;
        id = loc.parID;
    }
    return false;
}

// Removes what the folder iterator passes over but an empty folder must not hold:
// sidecars whose item is gone, FIFOs, sockets and devices.
void DeleteLeftovers(int32_t dirID) {
    CDirReader reader;
    if (reader.Open(dirID) != noErr)
        return;
    std::vector<std::string> names;
    SDirEntry e;
    for (OSErr err; (err = reader.Next(e, true)) != errFSNoMoreItems;) {
        if (err != noErr || e.macName.empty())
            continue;
        if (IsReservedName(e.macName) || e.info.kind == ENodeKind::kSpecial)
            names.push_back(e.macName);
    }
    int16_t vRefNum = reader.VRefNum();
    reader.Close();
    for (std::string const& n : names) {
        FSSpec spec;
        if (FSMakeFSSpec(vRefNum, dirID, n, &spec) == noErr)
            FSpDelete(spec);
    }
}

// A symbolic link is copied as a link, never through what it points to.
short CopyLink(FSSpec const& link, FSSpec const& target) {
    std::string from, to;
    if (FSpGetPath(link, from) != noErr || FSpGetPath(target, to) != noErr)
        return kItemFailed;
    std::vector<char> buf(4096);
    ssize_t n = readlink(from.c_str(), buf.data(), buf.size());
    if (n < 0 || static_cast<size_t>(n) >= buf.size() || symlink(std::string(buf.data(), static_cast<size_t>(n)).c_str(), to.c_str()) != 0) {
        GLogPrintf(3, "Failed to copy the link \xD2%s\xD3. [error = %d]", FSpName(link).c_str(), errno);
        return kItemFailed;
    }
    return kItemDone;
}

}  // namespace

OSErr TrashFile(FSSpec const& item) {
    FSSpec found;
    std::string name = FSpName(item);
    if (name.empty())
        return paramErr;
    OSErr err = FSMakeFSSpec(item.vRefNum, item.parID, name, &found);
    if (err != noErr)
        return err;
    std::string path;
    err = FSpGetPath(found, path);
    if (err != noErr)
        return err;
    std::string::size_type slash = path.rfind('/');
    std::string sidecar = path.substr(0, slash + 1) + "._" + path.substr(slash + 1);
    int r = FreedesktopTrash::MoveToTrash(path, sidecar);
    return r == 0 ? OSErr(noErr) : OSErrFromErrno(r);
}

short ScanSingleFolder(long index, TPtrArray<CLongFSSpec>& folders, TPtrArray<CLongFSSpec>& files) {
    CLongFSSpec const* folder = folders.at(static_cast<int>(index));
    if (!FW_CHECK(folder))
        return paramErr;
    short vRefNum = 0;
    long dirID = 0;
    short err = GetFolderVolAndDir(folder->mVRefNum, folder->mDirID, folder->mName, vRefNum, dirID);
    if (err != noErr)
        return err;
    CFolderIterator it(vRefNum, dirID);
    CFITObject item;
    for (short r; (r = it.Next(item)) != CFolderIterator::kNoMore;) {
        if (r != CFolderIterator::kItem)
            continue;
        auto* spec = new CLongFSSpec(CString(item.name), vRefNum, dirID);
        if (item.isFolder)
            folders.append(spec);
        else
            files.append(spec);
    }
    return noErr;
}

OSErr RecursivelyDeleteItem(FSSpec const& item) {
    SCatInfo info;
    OSErr err = FSpGetCatInfo(item, &info);
    if (err != noErr)
        return err;
    if (FSpName(item).empty())
        return paramErr;  // an empty name would be the folder holding the item
    if (!info.isFolder) {
        if (info.locked)
            FSpRstFLock(item);
        return FSpDelete(item);
    }

    TPtrArray<CLongFSSpec> folders(kPArrOwning), files(kPArrOwning);
    folders.append(new CLongFSSpec(item));
    for (int i = 0; i < folders.Count(); ++i) {
        FSSpec spec;
        CLongFSSpec const& f = *folders[i];
        if (MakeLongFSSpec(f, spec) == noErr) {
            // A folder we may not write into cannot be emptied: give its owner
            // the rights a delete needs (it goes away anyway).
            SCatInfo fi;
            if (FSpGetCatInfo(spec, &fi) == noErr && (fi.mode & 0700) != 0700)
                SetAccessPrivilegesBin(spec, static_cast<unsigned short>((fi.mode | 0700) & 07777));
        }
        err = ScanSingleFolder(i, folders, files);
        if (err != noErr)
            return err;
        for (CLongFSSpec* file : files) {
            FSSpec fs;
            err = MakeLongFSSpec(*file, fs);
            if (err == noErr) {
                FSpRstFLock(fs);
                err = FSpDelete(fs);
            }
            if (err != noErr)
                return err;
        }
        files.clear();
        short v = 0;
        long d = 0;
        if (GetFolderVolAndDir(f.mVRefNum, f.mDirID, f.mName, v, d) == noErr)
            DeleteLeftovers(static_cast<int32_t>(d));
    }
    for (int i = folders.Count() - 1; i >= 0; --i) {
        FSSpec fs;
        err = MakeLongFSSpec(*folders[i], fs);
        if (err == noErr) {
            FSpRstFLock(fs);
            err = FSpDelete(fs);
        }
        if (err != noErr)
            return err;
    }
    return err;
}

short CleanupTargetLocation(FSSpec const& item, FSSpec const& targetFolder, FSSpec& target, CString& name) {
    if (GetLongName(item, name) != noErr)
        return kItemFailed;
    CString folderName;
    short vRefNum = 0;
    long dirID = 0;
    if (FolderOf(targetFolder, folderName, vRefNum, dirID) != noErr)
        return kItemFailed;
    OSErr err = MakeLongFSSpec(vRefNum, dirID, name, target);
    if (err == fnfErr)
        return kItemDone;
    if (err != noErr)
        return kItemFailed;
    if (target.parID == item.parID && FSpName(target) == FSpName(item))
        return kItemFailed;  // the item is already there
    short answer = GAlert(kAlertThreeWay,
                          "An item \xD2%s\xD3 already exists in target folder \xD2%s\xD3. Do you want to overwrite it?",
                          Shown(name), Shown(folderName));
    if (answer == 3)
        return kItemStop;
    if (answer != 1)
        return kItemFailed;
    return TrashFile(target) == noErr ? kItemDone : kItemFailed;
}

short MoveItem(FSSpec const& item, FSSpec const& targetFolder) {
    CString folderName;
    short vRefNum = 0;
    long dirID = 0;
    if (FolderOf(targetFolder, folderName, vRefNum, dirID) != noErr)
        return kItemFailed;
    if (!FW_CHECK_MSG(item.vRefNum == vRefNum, "!(inSourceItem.vRefNum != inTargetDir.vRefNum)"))
        return kItemFailed;
    // A folder cannot go into itself: say so before anything in the way is
    // sent to the trash for a move that must fail.
    CString itemName;
    short itemV = 0;
    long itemDir = 0;
    if (IsFolder(item) && FolderOf(item, itemName, itemV, itemDir) == noErr && IsInside(dirID, itemDir)) {
        GAlert(kAlertStop, "Can not move folder \xD2%s\xD3 into itself.", Shown(itemName));
        return kItemFailed;
    }
    FSSpec target;
    CString name;
    short r = CleanupTargetLocation(item, targetFolder, target, name);
    if (r != kItemDone)
        return r;
    OSErr err = FSpCatMove(item, targetFolder);
    if (err == badMovErr) {
        GAlert(kAlertStop, "Can not move folder \xD2%s\xD3 into itself.", Shown(name));
        return kItemFailed;
    }
    return err == noErr ? kItemDone : kItemFailed;
}

short CopyFile(FSSpec const& file, FSSpec const& targetFolder) {
    FSSpec target;
    CString name;
    short r = CleanupTargetLocation(file, targetFolder, target, name);
    if (r != kItemDone)
        return r;
    SCatInfo info;
    if (FSpGetCatInfo(file, &info) == noErr && info.kind == ENodeKind::kSymlink) {
        FSSpec dest;
        if (FSMakeFSSpec(target.vRefNum, target.parID, Str(name), &dest) != fnfErr)
            return kItemFailed;
        return CopyLink(file, dest);
    }
    OSErr err = FSpCopyFileLongFSSpec(file, CLongFSSpec(name, target.vRefNum, target.parID));
    return err == noErr ? kItemDone : kItemFailed;
}

short CopyFolder(FSSpec const& folder, FSSpec const& targetFolder) {
    CString name;
    short srcV = 0;
    long srcDir = 0;
    if (FolderOf(folder, name, srcV, srcDir) != noErr)
        return kItemFailed;
    // Copying a folder into itself or one of its own folders would copy the copy
    // again and again.
    CString targetName;
    short tv = 0;
    long td = 0;
    if (FolderOf(targetFolder, targetName, tv, td) != noErr)
        return kItemFailed;
    if (IsInside(td, srcDir)) {
        GAlert(kAlertStop, "Can not copy folder \xD2%s\xD3 into itself.", Shown(name));
        return kItemFailed;
    }

    FSSpec target;
    short r = CleanupTargetLocation(folder, targetFolder, target, name);
    if (r != kItemDone)
        return r;
    long newDir = 0;
    FSSpec newFolder;
    if (LongDirCreate(tv, td, name, newDir) != noErr || MakeLongFSSpec(tv, td, name, newFolder) != noErr)
        return kItemFailed;

    bool failed = false;
    // Copies one item of the source folder by name; true when the user stops.
    auto copyNamed = [&](char const* itemName) {
        FSSpec spec;
        if (MakeLongFSSpec(srcV, srcDir, CString(itemName), spec) != noErr) {
            GLogPrintf(3, "Failed to locate \xD2%s\xD3.", itemName);
            failed = true;
            return false;
        }
        short c = CopyItem(spec, newFolder);
        if (c != kItemDone && c != kItemStop)
            failed = true;
        return c == kItemStop;
    };
    std::vector<std::string> subfolders;
    {
        CFolderIterator it(srcV, srcDir);
        CFITObject item;
        for (short n; (n = it.Next(item)) != CFolderIterator::kNoMore;) {
            if (n != CFolderIterator::kItem)
                failed = true;
            else if (item.isFolder)
                subfolders.emplace_back(item.name);
            else if (copyNamed(item.name))
                return kItemStop;
        }
    }
    for (std::string const& sub : subfolders)
        if (copyNamed(sub.c_str()))
            return kItemStop;
    return failed ? kItemFailed : kItemDone;
}

short CopyItem(FSSpec const& item, FSSpec const& targetFolder) {
    return IsFolder(item) ? CopyFolder(item, targetFolder) : CopyFile(item, targetFolder);
}

short CopyOrMoveItem(FSSpec const& item, FSSpec const& targetFolder, unsigned char copy) {
    CString folderName;
    short vRefNum = 0;
    long dirID = 0;
    if (FolderOf(targetFolder, folderName, vRefNum, dirID) != noErr)
        return kItemFailed;
    if (copy || item.vRefNum != vRefNum)
        return CopyItem(item, targetFolder);
    return MoveItem(item, targetFolder);
}
