#include "filesystem/CLongFSSpec.h"

#include "filesystem/CFileSystemUtils.h"

CLongFSSpec::CLongFSSpec(FSSpec const& spec) : mDirID(spec.parID), mVRefNum(spec.vRefNum) {
    GetLongName(spec, mName);
}

CLongFSSpec& CLongFSSpec::operator=(CLongFSSpec const& other) {
    if (this != &other) {
        mName = other.mName;
        mDirID = other.mDirID;
        mVRefNum = other.mVRefNum;
    }
    return *this;
}

bool CLongFSSpec::operator==(CLongFSSpec const& other) const {
    return mName == other.mName && mDirID == other.mDirID && mVRefNum == other.mVRefNum;
}
