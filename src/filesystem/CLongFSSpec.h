// A location whose name may be up to 255 bytes: the name, the folder that holds
// the item, and its volume.
#pragma once

#include "foundation/CString.h"
#include "platform/MacFiles.h"

class CLongFSSpec {
public:
    CLongFSSpec() : mName("") {}
    CLongFSSpec(CString const& name, short vRefNum, long dirID)
        : mName(name), mDirID(dirID), mVRefNum(vRefNum) {}
    explicit CLongFSSpec(FSSpec const& spec);
    CLongFSSpec(CLongFSSpec const& other) = default;
    CLongFSSpec& operator=(CLongFSSpec const& other);

    bool operator==(CLongFSSpec const& other) const;
    bool operator!=(CLongFSSpec const& other) const { return !(*this == other); }

    CString mName;
    long mDirID = 0;
    short mVRefNum = 0;
};
