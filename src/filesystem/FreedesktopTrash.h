// The desktop's trash (freedesktop.org Trash specification) over plain POSIX paths.
//
// An item goes to the home trash ($XDG_DATA_HOME/Trash) when it lives on the same
// file system, otherwise to the trash at the top of its mount ($topdir/.Trash/$uid
// when $topdir/.Trash is a real sticky folder, else $topdir/.Trash-$uid). Nothing is
// ever copied across file systems: when no trash on the item's mount can be used,
// the item stays where it is and an error is returned.
//
// Our rule for names: when the trash already holds an entry of the item's name, that
// older entry is renamed first to "name 2", "name 3", ... so the newest item always
// keeps its own name. An item's AppleDouble sidecar "._name" is trashed as an entry of
// its own beside it, so that the desktop can restore both; the older entry's sidecar
// is renamed together with it.
#pragma once

#include <string>
#include <sys/types.h>

namespace FreedesktopTrash {

struct Location {
    std::string dir;     // the trash folder (holds files/ and info/)
    std::string topdir;  // mount top for a top-directory trash; empty for the home trash
};

// Finds (and creates when missing) the trash that takes the item at `itemPath`.
// Returns 0 or an errno value.
int Locate(const std::string& itemPath, Location& out);

// The home trash folder ($XDG_DATA_HOME/Trash, else $HOME/.local/share/Trash).
std::string HomeTrashDir();

// Moves the item (never following a symbolic link) into its trash. When
// `sidecarPath` is not empty and something is there, it is trashed along with the
// item; if that fails, the item is put back. `trashName` receives the entry's name
// in files/. Returns 0 or an errno value.
int MoveToTrash(const std::string& itemPath, const std::string& sidecarPath,
                std::string* trashName = nullptr);

// Percent-encoding of a path as trashinfo files hold it (unreserved bytes and "/" stay).
std::string EncodePath(const std::string& path);

// The name an item has in files/, cut (at a UTF-8 character boundary) so that its
// sidecar entry and both info files fit the file system's name limit.
std::string EntryNameFor(const std::string& diskName);

// The n-th candidate for an entry name (n < 2: the name itself; else "name n",
// the name cut so that the whole fits the entry name limit).
std::string CandidateName(const std::string& name, unsigned long n);

}  // namespace FreedesktopTrash
