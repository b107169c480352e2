// The File Manager stand-in: Mac files with two forks over Linux paths.
//
// Status: everything below is implemented; tests in tests/platform.
//
// How Mac concepts map onto Linux:
// - An item is named by a location (volume, parent directory ID, name). The
//   volume is a small negative number per st_dev. Directory IDs come from a
//   process-wide table keyed by (device, inode) that holds each folder's path;
//   every use checks the path still leads to that folder, so a folder that was
//   moved, renamed or replaced gives dirNFErr (-120). IDs are never stored.
//   Directory IDs are unique across volumes; a location's vRefNum is the
//   volume of its parent folder and is informative only.
// - Names are Mac Roman bytes (up to 255) inside the program and UTF-8 in NFC
//   on disk. A disk name whose Mac Roman form does not convert back to exactly
//   the same bytes (NFD spellings, characters outside Mac Roman, bad UTF-8) is
//   reported as kNameNotMacRoman so that folder listings pass it over.
// - The data fork is the file itself. The resource fork, the Finder
//   information, the Finder lock and the creation and backup dates live in an
//   AppleDouble version 2 sidecar "._name" beside the item (see AppleDouble.h
//   for the entries). A sidecar is written only when there is something to
//   keep and removed when nothing is left. Names beginning with "._" are
//   reserved: they cannot be created, opened for writing, renamed to, or
//   deleted while their item exists (bdNamErr).
// - Every rename, move, delete and exchange carries the sidecar along.
//   Renames and moves never replace what is in the way (dupFNErr); creation is
//   exclusive (dupFNErr).
// - The Finder lock lives in the sidecar and is enforced: opening a fork for
//   writing, setting its length, renaming, deleting and exchanging a locked
//   item give fLckdErr (-45). Moving a locked item to another folder
//   (FSpCatMove, e.g. into the trash) is allowed, as on HFS.
// - The modification date is the data file's mtime in Mac seconds (local time
//   of that instant). Writing a resource fork sets the data file's mtime to
//   now; writing Finder information does not. Creation date: the sidecar's,
//   else the file's birth time, else its mtime. Backup date: the sidecar's,
//   else 0.
// - Symbolic links are reported as files (kind kSymlink) and never followed:
//   their forks cannot be opened (notAFileErr); delete and rename act on the
//   link itself. FIFOs, sockets and devices are reported as kSpecial so that
//   callers pass them over; opening them gives notAFileErr and never blocks.
// - A location with an empty name denotes the folder itself: reading calls
//   act on the folder, destructive calls (delete, rename, move, exchange, open
//   for writing, create) refuse it with paramErr.
//
// Thread safety: every call may be made from any thread; the tables are
// guarded internally.
#pragma once

#include "platform/MacTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A location: the volume, the directory ID of the folder that holds the item,
// and the item's Mac Roman name (length-prefixed, up to 255 bytes).
struct FSSpec {
    int16_t vRefNum = 0;
    int32_t parID = 0;
    Str255 name = {0};
};

// The name of a location as a byte string, and setting it (cut to 255 bytes).
std::string FSpName(FSSpec const& spec);
void FSpSetName(FSSpec& spec, std::string_view macName);

// ---- Names ---------------------------------------------------------------

// Mac Roman name -> UTF-8 NFC name on disk. bdNamErr for an empty name, ".",
// "..", a name holding "/" or NUL, more than 255 bytes, or a disk form longer
// than 255 bytes.
OSErr MacNameToDisk(std::string_view macName, std::string& diskName);

// UTF-8 disk name -> Mac Roman name; kNameNotMacRoman unless the result
// converts back to exactly `diskName`.
OSErr DiskNameToMac(std::string_view diskName, std::string& macName);

// True for the names the stand-in keeps for itself ("._" sidecars).
bool IsReservedName(std::string_view macName);

// ---- Folders and locations ----------------------------------------------

// Registers the folder at an absolute or relative POSIX path (symbolic links
// in the path itself are resolved) and gives its volume and directory ID.
// fnfErr when nothing is there, dirNFErr when it is not a folder.
OSErr GetDirIDFromPath(std::string const& path, int16_t* vRefNum, int32_t* dirID);

// The absolute POSIX path of a folder (dirNFErr when it moved or vanished).
OSErr GetDirPath(int32_t dirID, std::string& path);

// The folder's own location: its volume, the directory ID of its parent
// (fsRtParID for "/") and its Mac Roman name ("/" for the root).
OSErr GetDirLocation(int32_t dirID, FSSpec* spec);

// Makes a location. Result noErr when the item exists, fnfErr when it does not
// (the location is still filled in), dirNFErr when the folder is gone,
// bdNamErr for a bad name. An empty name gives the location of the folder
// `dirID` itself.
OSErr FSMakeFSSpec(int16_t vRefNum, int32_t dirID, std::string_view macName, FSSpec* spec);

// The location of the item at a POSIX path (its parent folder is registered).
OSErr FSMakeFSSpecFromPath(std::string const& path, FSSpec* spec);

// The absolute POSIX path of a location; the item need not exist.
OSErr FSpGetPath(FSSpec const& spec, std::string& path);

// The directory ID of the folder that `spec` names. fnfErr when nothing is
// there, errFSNotAFolder when it is not a folder (symbolic links included).
constexpr OSErr errFSNotAFolder = -1407;
OSErr FSpGetDirID(FSSpec const& spec, int16_t* vRefNum, int32_t* dirID);

// The private temporary-items folder ($XDG_CACHE_HOME/fennelwright/tmp, else
// ~/.cache/fennelwright/tmp; created with mode 0700, and refused when it is a
// symbolic link or owned by someone else).
OSErr FindTemporaryFolder(int16_t* vRefNum, int32_t* dirID);

// ---- Catalog information -------------------------------------------------

enum class ENodeKind : uint8_t {
    kFile,     // a regular file
    kFolder,   // a directory
    kSymlink,  // a symbolic link, treated as a file that cannot be opened
    kSpecial,  // FIFO, socket or device: callers pass it over
};

struct SCatInfo {
    ENodeKind kind = ENodeKind::kFile;
    bool isFolder = false;        // kind == kFolder
    bool locked = false;          // the Finder lock
    uint8_t finderInfo[16] = {};  // FInfo (files) or DInfo (folders), big-endian
    uint8_t extFinderInfo[16] = {};
    OSType type = 0;              // from finderInfo (files)
    OSType creator = 0;
    uint16_t finderFlags = 0;
    uint32_t createDate = 0;      // Mac seconds, local time
    uint32_t modDate = 0;
    uint32_t backupDate = 0;
    uint64_t dataLength = 0;
    uint64_t rsrcLength = 0;
    uint32_t mode = 0;            // st_mode
    uint64_t device = 0;
    uint64_t inode = 0;
    bool hasSidecar = false;
};

// fnfErr when missing. A sidecar that cannot be decoded does not make this
// fail: the item is reported without Finder information, lock and resource
// fork, and FSpCheckSidecar tells what is wrong with it. Calls that would
// rewrite a corrupt sidecar refuse with ioErr instead of destroying it.
OSErr FSpGetCatInfo(FSSpec const& spec, SCatInfo* info);

// noErr when the item has no sidecar or a readable one; ioErr when the
// sidecar cannot be decoded (`why`, when given, receives the reason).
OSErr FSpCheckSidecar(FSSpec const& spec, std::string* why = nullptr);

// Sets the dates; a null pointer leaves that date alone. The modification
// date goes to the data file's mtime; creation and backup dates go to the
// sidecar (creating it).
OSErr FSpSetCatDates(FSSpec const& spec, uint32_t const* createDate, uint32_t const* modDate,
                     uint32_t const* backupDate);

// Finder information. FSpGetFInfo/FSpSetFInfo are for files (notAFileErr for
// folders); the other two work on both and take nulls for "leave alone".
OSErr FSpGetFInfo(FSSpec const& spec, FInfo* info);
OSErr FSpSetFInfo(FSSpec const& spec, FInfo const* info);
OSErr FSpGetFinderInfo(FSSpec const& spec, FInfo* info, FXInfo* xinfo);
OSErr FSpSetFinderInfo(FSSpec const& spec, FInfo const* info, FXInfo const* xinfo);

// The Finder lock.
OSErr FSpSetFLock(FSSpec const& spec);
OSErr FSpRstFLock(FSSpec const& spec);

// ---- Forks ---------------------------------------------------------------

// Opening a fork gives a reference number (> 0). The data fork is the file;
// a resource fork is held in memory while open and written back to the
// sidecar on FSClose (which then sets the data file's mtime). Only one
// reference may have a resource fork open for writing (opWrErr).
OSErr FSpOpenDF(FSSpec const& spec, int8_t permission, int16_t* refNum);
OSErr FSpOpenRF(FSSpec const& spec, int8_t permission, int16_t* refNum);
// Reads up to *count bytes at the mark; *count receives what was read;
// eofErr when fewer bytes than asked were left.
OSErr FSRead(int16_t refNum, long* count, void* buffer);
OSErr FSWrite(int16_t refNum, long* count, void const* buffer);
OSErr GetEOF(int16_t refNum, long* logicalEOF);
OSErr SetEOF(int16_t refNum, long logicalEOF);
OSErr GetFPos(int16_t refNum, long* position);
OSErr SetFPos(int16_t refNum, int16_t positionMode, long positionOffset);
OSErr FSClose(int16_t refNum);

// Whole forks at once. Reading a missing resource fork gives an empty result
// and noErr. Writing an empty resource fork removes it; writing one sets the
// data file's mtime.
OSErr FSpReadFork(FSSpec const& spec, bool resourceFork, std::vector<uint8_t>& bytes);
OSErr FSpWriteResourceFork(FSSpec const& spec, std::vector<uint8_t> const& bytes);

// ---- Creating, deleting, renaming, moving, exchanging -------------------

// Creates an empty file, exclusively (dupFNErr when the name is taken). A
// non-zero type or creator is kept in a new sidecar.
OSErr FSpCreate(FSSpec const& spec, OSType creator, OSType fileType, ScriptCode script);

// Creates a folder (mode 0777 less the umask) and gives its directory ID.
OSErr FSpDirCreate(FSSpec const& spec, ScriptCode script, int32_t* newDirID);

// Deletes a file (with its sidecar) or an empty folder. fBsyErr when the
// folder is not empty, fLckdErr when locked. An orphaned "._" file (its item
// is gone) may be deleted like any file, and a folder that holds nothing but
// orphaned sidecars counts as empty (they are removed with it).
OSErr FSpDelete(FSSpec const& spec);

// Renames in place; never replaces (dupFNErr).
OSErr FSpRename(FSSpec const& spec, std::string_view newName);

// Moves the item into the folder `destFolder` names (its own location);
// never replaces (dupFNErr). badMovErr when a folder would move into itself,
// diffVolErr across file systems.
OSErr FSpCatMove(FSSpec const& spec, FSSpec const& destFolder);

// Exchanges the contents (both forks, with their modification dates) of two
// files in one folder or on one volume; names, Finder information, lock and
// permissions stay with the names.
OSErr FSpExchangeFiles(FSSpec const& a, FSSpec const& b);

// ---- Folder listing ------------------------------------------------------

// One item of a folder as CDirReader delivers it.
struct SDirEntry {
    std::string diskName;  // the name on disk (UTF-8)
    std::string macName;   // the Mac Roman name (empty when not convertible)
    SCatInfo info;         // filled when Next was asked for it; here the
                           // creation date is the sidecar's, else the mtime
};

// Lists a folder's items in the order the file system gives. Sidecars of
// items that exist are not listed; orphaned ones are. Never follows symbolic
// links. The names are read at Open; each Next costs one lstat, plus one read
// when the item has a sidecar.
class CDirReader {
public:
    CDirReader();
    ~CDirReader();
    CDirReader(CDirReader const&) = delete;
    CDirReader& operator=(CDirReader const&) = delete;

    // dirNFErr when the folder is gone.
    OSErr Open(int32_t dirID);
    // noErr: `out` holds the next item. errFSNoMoreItems: the end.
    // kNameNotMacRoman or another error: the item (out.diskName) cannot be
    // used and is to be passed over; the listing goes on.
    OSErr Next(SDirEntry& out, bool wantInfo = true);
    void Close();

    int32_t DirID() const { return mDirID; }
    int16_t VRefNum() const { return mVRefNum; }

private:
    struct Impl;
    Impl* mImpl = nullptr;
    int32_t mDirID = 0;
    int16_t mVRefNum = 0;
};

// ---- Errors --------------------------------------------------------------

// The Mac result code of an errno value (ENOENT fnfErr, EEXIST dupFNErr,
// EACCES/EPERM permErr, EROFS wPrErr, ENOSPC dskFulErr, ENAMETOOLONG bdNamErr,
// ENOTEMPTY/EBUSY fBsyErr, ENOTDIR dirNFErr, EISDIR notAFileErr, EXDEV
// diffVolErr, EMFILE/ENFILE tmfoErr, others ioErr).
OSErr OSErrFromErrno(int err);
