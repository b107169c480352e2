// One item of a folder, and the iterator that delivers them.
#pragma once

#include "platform/MacFiles.h"
#include "platform/MacTypes.h"

#include <cstdint>

struct CFITObject {
    char name[256] = {0};  // Mac Roman, NUL-terminated
    OSType type = 0;
    OSType creator = 0;
    uint8_t isFolder = 0;
    uint8_t locked = 0;
    uint32_t modDate = 0;  // Mac seconds, local time
    uint32_t rsrcLength = 0;
    uint32_t dataLength = 0;
};

// Iterates the items of one folder in the order the file system gives. Reserved
// "._" names are never delivered. Items that cannot be used (a name without an
// exact Mac Roman form, FIFOs, sockets and devices, items that vanished) give 1
// and are passed over; opening them is never tried. Symbolic links are files.
class CFolderIterator {
public:
    enum { kItem = 0, kUnreadable = 1, kNoMore = 2 };

    CFolderIterator(short vRefNum, long dirID);
    ~CFolderIterator();
    CFolderIterator(CFolderIterator const&) = delete;
    CFolderIterator& operator=(CFolderIterator const&) = delete;

    // 0: `out` holds the next item; 1: the next item could not be read (do not use
    // `out`); 2: no more items. For a folder only the name and the flags are set.
    short Next(CFITObject& out);
    short NextBulky(CFITObject& out);
    short NextClassic(CFITObject& out);

    short mVRefNum;
    long mDirID;
    short mBulkSize;

private:
    short Refill();

    CDirReader mReader;
    SDirEntry* mBuffer = nullptr;  // mBulkSize entries
    OSErr* mStatus = nullptr;       // the reader's result per entry
    short mCount = 0;               // entries in the buffer
    short mNext = 0;                // next entry to deliver
    OSErr mLastBulk = noErr;        // the reader's end or failure
    bool mOpen = false;
};
