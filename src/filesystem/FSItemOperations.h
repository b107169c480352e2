// Operations on whole files and folders for the user: trash, delete, copy, move.
//
// Items are platform locations (volume, directory ID of the folder holding the
// item, name); a target folder is given by its own location. TrashFile and
// RecursivelyDeleteItem return Mac result codes. The copy and move functions
// return kItemDone (0, also when nothing was in the way), kItemFailed (1, failed
// or skipped) or kItemStop (2, the user asked to stop); a caller that walks
// several items stops at 2.
//
// Symbolic links are items of their own: they are trashed, deleted, copied and
// moved as links and never followed.
#pragma once

#include "filesystem/CLongFSSpec.h"
#include "foundation/TPtrArray.h"
#include "platform/MacFiles.h"

enum { kItemDone = 0, kItemFailed = 1, kItemStop = 2 };

// Moves the item (with its sidecar) into the desktop's trash. An older item of the
// same name in the trash is renamed first ("name 2", ...).
OSErr TrashFile(FSSpec const& item);

// Deletes a file, or a folder with everything in it, unlocking first.
OSErr RecursivelyDeleteItem(FSSpec const& item);

// Appends the items of folders[index] to `folders` (folders) and `files` (all else).
short ScanSingleFolder(long index, TPtrArray<CLongFSSpec>& folders, TPtrArray<CLongFSSpec>& files);

// Makes room for `item` inside `targetFolder`, asking the user when something of
// that name is in the way (the replaced item goes to the trash).
short CleanupTargetLocation(FSSpec const& item, FSSpec const& targetFolder, FSSpec& target, CString& name);

short MoveItem(FSSpec const& item, FSSpec const& targetFolder);
short CopyFile(FSSpec const& file, FSSpec const& targetFolder);
short CopyFolder(FSSpec const& folder, FSSpec const& targetFolder);
short CopyItem(FSSpec const& item, FSSpec const& targetFolder);
short CopyOrMoveItem(FSSpec const& item, FSSpec const& targetFolder, unsigned char copy);
