#include "filesystem/CFolderIterator.h"

#include "filesystem/CFileSystemUtils.h"
#include "foundation/CString.h"
#include "foundation/Log.h"

#include <cstring>
#include <string>

namespace {
constexpr short kBulkSize = 40;

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }
}  // namespace

CFolderIterator::CFolderIterator(short vRefNum, long dirID)
    : mVRefNum(vRefNum), mDirID(dirID), mBulkSize(LongNamesOKOnVol(vRefNum) ? kBulkSize : 0) {
    OSErr err = mReader.Open(static_cast<int32_t>(dirID));
    if (err != noErr) {
        CString path;
        PathNameFromVolAndDir(vRefNum, dirID, path, true);
        GLogPrintf(3, "Failed to read folder \xD2%s\xD3. [error = %hd]", path.IsNull() ? "" : path.c_str(), err);
        mLastBulk = err;
        return;
    }
    mOpen = true;
    mBuffer = new SDirEntry[kBulkSize];
    mStatus = new OSErr[kBulkSize];
}

CFolderIterator::~CFolderIterator() {
    delete[] mBuffer;
    delete[] mStatus;
    if (mOpen)
        mReader.Close();
}

short CFolderIterator::Next(CFITObject& out) {
    return mBulkSize != 0 ? NextBulky(out) : NextClassic(out);
}

short CFolderIterator::NextClassic(CFITObject&) {
    // Every volume takes long names, so the item-by-item way is never chosen.
    FW_CHECK(mBulkSize == 0);
    return kNoMore;
}

short CFolderIterator::Refill() {
    mCount = 0;
    mNext = 0;
    while (mCount < mBulkSize) {
        SDirEntry& e = mBuffer[mCount];
        OSErr err = mReader.Next(e, true);
        if (err == errFSNoMoreItems) {
            mLastBulk = err;
            break;
        }
        // Sidecars and other reserved names are the platform's own business.
        if (e.diskName.size() >= 2 && e.diskName[0] == '.' && e.diskName[1] == '_')
            continue;
        mStatus[mCount++] = err;
    }
    return mCount;
}

short CFolderIterator::NextBulky(CFITObject& out) {
    if (!FW_CHECK(mBulkSize > 0))
        return kNoMore;
    if (!mOpen)
        return kNoMore;
    if (mNext >= mCount) {
        if (mLastBulk != noErr)
            return kNoMore;
        if (Refill() == 0)
            return kNoMore;
    }
    SDirEntry const& e = mBuffer[mNext];
    OSErr err = mStatus[mNext];
    ++mNext;

    if (err == kNameNotMacRoman) {
        GLogPrintf(3, "Problem processing catalog entry: can't convert Unicode name. [error = %d]", err);
        return kUnreadable;
    }
    if (err != noErr) {
        CString path;
        PathNameFromVolAndDir(mVRefNum, mDirID, path, true);
        char const* shown = path.IsNull() ? "" : path.c_str();
        long len = path.IsNull() ? 0 : path.Length();
        if (len > 180)  // keep the whole message within 253 bytes
            shown += len - 180;
        GLogPrintf(3, "Failed to read entry %ld of %s. [error = %hd]", static_cast<long>(mNext), shown, err);
        return kUnreadable;
    }
    if (e.info.kind == ENodeKind::kSpecial)
        return kUnreadable;  // FIFOs, sockets and devices are never opened

    if (e.info.hasSidecar && !e.info.locked && e.info.rsrcLength == 0 && e.info.type == 0 && e.info.creator == 0 &&
        e.info.finderFlags == 0) {
        // A sidecar that gave nothing may be one that cannot be read: say so
        // (the item is still listed, without its Finder information).
        FSSpec spec;
        std::string why;
        if (FSMakeFSSpec(mVRefNum, static_cast<int32_t>(mDirID), e.macName, &spec) == noErr &&
            FSpCheckSidecar(spec, &why) != noErr)
            GLogPrintf(3, "The Finder information and resource fork of \xD2%s\xD3 cannot be read (%s).",
                       e.macName.c_str(), why.c_str());
    }
    size_t n = e.macName.size() < 255 ? e.macName.size() : 255;
    std::memcpy(out.name, e.macName.data(), n);
    out.name[n] = 0;
    out.isFolder = e.info.isFolder ? 1 : 0;
    out.locked = e.info.locked ? 1 : 0;
    if (!e.info.isFolder) {
        out.type = e.info.type;
        out.creator = e.info.creator;
        out.modDate = e.info.modDate;
        out.rsrcLength = Clamp32(e.info.rsrcLength);
        out.dataLength = Clamp32(e.info.dataLength);
    }
    return kItem;
}
