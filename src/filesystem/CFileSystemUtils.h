// File system services: long-name locations, folders, names, paths, permissions
// and faithful copies of files with both forks.
//
// Every function here reports failure through its result (a Mac result code, or
// for the permission calls an errno value) and never throws. Names are Mac Roman
// byte strings; the platform's File Manager stand-in (platform/MacFiles.h) maps
// them to UTF-8 names on disk. Every volume takes long names (up to 255 bytes).
#pragma once

#include "filesystem/CFolderIterator.h"
#include "filesystem/CLongFSSpec.h"
#include "filesystem/FSNames.h"
#include "foundation/CString.h"
#include "platform/MacFiles.h"
#include "platform/MacTypes.h"

// ---- Volumes and long names ---------------------------------------------

// Always true here: every Linux file system takes names of up to 255 bytes.
bool LongNamesOKOnVol(short vRefNum);
short MaxFileNameLen(short vRefNum);

// The item's full name; fnfErr (and the name held in `item`) when it is missing.
OSErr GetLongName(FSSpec const& item, CString& name);

// Looks the named item up in the folder. On any error, fnfErr for a missing
// item included, `out` becomes (volume, directory, empty name): the folder itself.
OSErr MakeLongFSSpec(short vRefNum, long dirID, CString const& name, FSSpec& out);
OSErr MakeLongFSSpec(CLongFSSpec const& spec, FSSpec& out);

OSErr LongDirCreate(short vRefNum, long parentDirID, CString const& name, long& newDirID);

// Renames the item in place and, on success, makes `item` name it under its new
// name. The permissions are left as they are: a rename needs none of its own.
OSErr LongRename(FSSpec& item, CString const& newName);

// The volume and directory ID of the named folder inside the given folder; the
// lookup's error (fnfErr when there is no such item, errFSNotAFolder when it is
// no folder).
short GetFolderVolAndDir(short vRefNum, long parentDirID, CString const& folderName,
                         short& outVRefNum, long& outDirID);

bool IsFolder(FSSpec const& item);
OSErr GetModificationDate(FSSpec const& item, unsigned long& date);

OSErr SetFinderInfo(CString const& shownName, FSSpec const& item, FInfo const& info, FXInfo const& xinfo);
OSErr SetTypeAndCreator(CString const& shownName, FSSpec const& item, OSType type, OSType creator);

// ---- Names ----------------------------------------------------------------

enum {
    kNewSpecInTempFolder = 0,  // a cryptic name in the private temporary folder
    kNewSpecCryptic = 1,       // a cryptic name in the folder of `spec`
    kNewSpecUnique = 2,        // the name of `spec`, then "name 2", "name 3", ...
};

// Turns `spec` into the location of an item that does not exist yet. Failures are
// logged and leave `spec` naming the last candidate tried.
void CreateNewFSSpec(FSSpec& spec, unsigned short mode);

// Replaces `name` by its first candidate ("name", "name 2", ...) that no item of
// the folder has.
OSErr MakeUniqueInFolder(short vRefNum, long dirID, CString& name);

// ---- Paths ----------------------------------------------------------------

// Resolves a relative slash path (as the CVS protocol writes it) below the folder,
// creating the missing folders on the way. 0: the final item exists; fnfErr: it
// does not (`out` then names the folder that would hold it, with an empty name);
// 1: the path cannot be used (reported). Components "", ".", ".." and reserved
// names are refused, and nothing is ever created through a symbolic link.
short OpenPath(short vRefNum, long dirID, char const* path, FSSpec* out);

// The folder's name, or with `full` its absolute path; empty for a missing folder.
void PathNameFromVolAndDir(long vRefNum, long dirID, CString& out, unsigned char full);
void PathNameFromVolAndDir(long vRefNum, long dirID, unsigned char* out, unsigned char full);

// The item's POSIX path (bytes as on disk); "<invalid path string>" when the item
// does not exist.
CString PosixPathFromFSSpec(FSSpec const& item);

// ---- Permissions ------------------------------------------------------------

// The item's st_mode; on failure 0744 and the failing call's result (logged).
short GetAccessPrivilegesBin(FSSpec const& item, unsigned short& mode);
// chmod of the item; 0 or errno (logged). A symbolic link is left alone.
short SetAccessPrivilegesBin(FSSpec const& item, unsigned short mode);
// The full mode text of the item ("u=rw,g=r,o=r").
CString GetAccessPrivileges(FSSpec const& item);

// ---- Files and forks ----------------------------------------------------------

// Copies a file to a free location with both forks, type and creator, dates, lock
// and permissions. Nothing is left behind when it fails.
OSErr FSpCopyFileLongFSSpec(FSSpec const& source, CLongFSSpec const& target);

enum { kResourceFork = 0, kDataFork = 1 };
// Copies one fork of `source` into the same fork of the existing file `target`.
bool CopyFork(short fork, FSSpec const& target, FSSpec const& source);
