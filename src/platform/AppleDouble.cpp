#include "platform/AppleDouble.h"
#include "platform/BigEndian.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace fw::be;

void Append32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    Put32(b, v);
    out.insert(out.end(), b, b + 4);
}

constexpr size_t kHeaderSize = 26;
constexpr size_t kDescriptorSize = 12;
constexpr size_t kFinderInfoSize = 32;

// macOS keeps extended attributes in the tail of a long Finder information
// entry. The block starts at the first 4-byte boundary after the 32 bytes of
// Finder information; offsets inside it count from the start of the file.
constexpr uint32_t kAttrMagic = 0x41545452;  // "ATTR"
constexpr size_t kAttrHeaderSize = 36;       // magic, tag, total, start, length, 3 reserved, flags, count
constexpr size_t kAttrEntryFixed = 11;       // offset, length, flags, name length

// Moves the file offsets of an ATTR block inside an entry that moved from
// `oldOffset` to `newOffset`. Leaves the bytes alone when the block is not
// well formed (it is kept verbatim then, as an unknown tail).
void ShiftAttrBlock(std::vector<uint8_t>& entry, uint32_t oldOffset, uint32_t newOffset) {
    if (oldOffset == newOffset) return;
    // The block begins at an offset aligned in the file, not in the entry.
    size_t start = kFinderInfoSize;
    while ((oldOffset + start) % 4 != 0) ++start;
    if (entry.size() < start + kAttrHeaderSize) return;
    uint8_t* h = entry.data() + start;
    if (Get32(h) != kAttrMagic) return;
    if ((oldOffset % 4) != (newOffset % 4)) return;  // alignment would change; keep verbatim
    int64_t delta = int64_t(newOffset) - int64_t(oldOffset);
    uint16_t count = Get16(h + 34);
    // Check everything first, then change.
    size_t pos = start + kAttrHeaderSize;
    std::vector<size_t> offsetsAt;
    for (uint16_t i = 0; i < count; ++i) {
        if (pos + kAttrEntryFixed > entry.size()) return;
        uint8_t nameLen = entry[pos + 10];
        offsetsAt.push_back(pos);
        pos += (kAttrEntryFixed + nameLen + 3) & ~size_t(3);
    }
    auto shift = [&](uint8_t* p) {
        int64_t v = int64_t(Get32(p)) + delta;
        if (v >= 0 && v <= int64_t(UINT32_MAX)) Put32(p, uint32_t(v));
    };
    shift(h + 8);   // total size
    shift(h + 12);  // data start
    for (size_t at : offsetsAt) shift(entry.data() + at);
}

int32_t DateAt(CAppleDouble::SEntry const* e, size_t index) {
    if (!e || e->bytes.size() < (index + 1) * 4) return CAppleDouble::kUnknownDate;
    return int32_t(Get32(e->bytes.data() + index * 4));
}

}  // namespace

bool CAppleDouble::Decode(uint8_t const* bytes, size_t length, std::string* why) {
    mEntries.clear();
    std::memset(mFiller, 0, sizeof mFiller);
    auto fail = [&](char const* reason) {
        mEntries.clear();
        std::memset(mFiller, 0, sizeof mFiller);
        if (why) *why = reason;
        return false;
    };
    if (!bytes || length < kHeaderSize) return fail("shorter than an AppleDouble header");
    if (Get32(bytes) != kMagic) return fail("not an AppleDouble file (bad magic number)");
    uint32_t version = Get32(bytes + 4);
    if (version != kVersion2 && version != 0x00010000) return fail("unknown AppleDouble version");
    std::memcpy(mFiller, bytes + 8, 16);
    size_t count = Get16(bytes + 24);
    if (count > (length - kHeaderSize) / kDescriptorSize) return fail("entry table runs past the end");
    for (size_t i = 0; i < count; ++i) {
        uint8_t const* d = bytes + kHeaderSize + i * kDescriptorSize;
        uint32_t id = Get32(d);
        uint32_t off = Get32(d + 4);
        uint32_t len = Get32(d + 8);
        if (id == 0) return fail("entry with ID 0");
        if (off > length || len > length - off) return fail("entry runs past the end");
        for (auto const& e : mEntries)
            if (e.id == id) return fail("entry appears twice");
        SEntry e;
        e.id = id;
        e.bytes.assign(bytes + off, bytes + off + len);
        e.oldOffset = off;
        mEntries.push_back(std::move(e));
    }
    return true;
}

void CAppleDouble::Encode(std::vector<uint8_t>& out) const {
    std::vector<SEntry const*> order;
    auto take = [&](uint32_t id) {
        if (auto e = Find(id)) order.push_back(e);
    };
    take(kFinderInfo);
    take(kFileDates);
    take(kMacFileInfo);
    for (auto const& e : mEntries)
        if (e.id != kFinderInfo && e.id != kFileDates && e.id != kMacFileInfo && e.id != kResourceFork)
            order.push_back(&e);
    take(kResourceFork);

    out.clear();
    Append32(out, kMagic);
    Append32(out, kVersion2);
    out.insert(out.end(), mFiller, mFiller + 16);
    out.push_back(uint8_t(order.size() >> 8));
    out.push_back(uint8_t(order.size()));
    size_t tableAt = out.size();
    out.resize(out.size() + order.size() * kDescriptorSize);
    for (size_t i = 0; i < order.size(); ++i) {
        SEntry const* e = order[i];
        // Keep the file alignment of an ATTR block as macOS laid it out.
        if (e->id == kFinderInfo && e->bytes.size() > kFinderInfoSize)
            while (out.size() % 4 != e->oldOffset % 4) out.push_back(0);
        uint32_t off = uint32_t(out.size());
        std::vector<uint8_t> bytes = e->bytes;
        if (e->id == kFinderInfo && bytes.size() > kFinderInfoSize) ShiftAttrBlock(bytes, e->oldOffset, off);
        out.insert(out.end(), bytes.begin(), bytes.end());
        uint8_t* d = out.data() + tableAt + i * kDescriptorSize;
        Put32(d, e->id);
        Put32(d + 4, off);
        Put32(d + 8, uint32_t(bytes.size()));
    }
}

bool CAppleDouble::IsEmpty() const {
    for (auto const& e : mEntries) {
        switch (e.id) {
        case kResourceFork:
            if (!e.bytes.empty()) return false;
            break;
        case kFinderInfo:
            if (e.bytes.size() > kFinderInfoSize) return false;
            if (std::any_of(e.bytes.begin(), e.bytes.end(), [](uint8_t b) { return b != 0; })) return false;
            break;
        case kMacFileInfo:
            if (e.bytes.size() >= 4 && Get32(e.bytes.data()) != 0) return false;
            break;
        case kFileDates:
            if (DateAt(&e, 0) != kUnknownDate || DateAt(&e, 2) != kUnknownDate) return false;
            break;
        default:
            return false;
        }
    }
    return true;
}

CAppleDouble::SEntry const* CAppleDouble::Find(uint32_t id) const {
    for (auto const& e : mEntries)
        if (e.id == id) return &e;
    return nullptr;
}

CAppleDouble::SEntry* CAppleDouble::FindMutable(uint32_t id) {
    for (auto& e : mEntries)
        if (e.id == id) return &e;
    return nullptr;
}

void CAppleDouble::Remove(uint32_t id) {
    mEntries.erase(std::remove_if(mEntries.begin(), mEntries.end(), [id](SEntry const& e) { return e.id == id; }),
                   mEntries.end());
}

void CAppleDouble::Put(uint32_t id, std::vector<uint8_t> bytes) {
    if (auto e = FindMutable(id)) {
        e->bytes = std::move(bytes);
        return;
    }
    SEntry e;
    e.id = id;
    e.bytes = std::move(bytes);
    mEntries.push_back(std::move(e));
}

void CAppleDouble::GetFinderInfo(uint8_t out[32]) const {
    std::memset(out, 0, kFinderInfoSize);
    auto e = Find(kFinderInfo);
    if (e && !e->bytes.empty()) std::memcpy(out, e->bytes.data(), std::min(e->bytes.size(), kFinderInfoSize));
}

void CAppleDouble::SetFinderInfo(uint8_t const in[32]) {
    if (auto e = FindMutable(kFinderInfo)) {
        if (e->bytes.size() < kFinderInfoSize) e->bytes.resize(kFinderInfoSize);
        std::memcpy(e->bytes.data(), in, kFinderInfoSize);  // the attribute tail stays
        return;
    }
    Put(kFinderInfo, std::vector<uint8_t>(in, in + kFinderInfoSize));
}

std::vector<uint8_t> const& CAppleDouble::ResourceFork() const {
    static const std::vector<uint8_t> kNone;
    auto e = Find(kResourceFork);
    return e ? e->bytes : kNone;
}

void CAppleDouble::SetResourceFork(std::vector<uint8_t> bytes) {
    if (bytes.empty())
        Remove(kResourceFork);
    else
        Put(kResourceFork, std::move(bytes));
}

int32_t CAppleDouble::CreateDate() const { return DateAt(Find(kFileDates), 0); }
int32_t CAppleDouble::ModifyDate() const { return DateAt(Find(kFileDates), 1); }
int32_t CAppleDouble::BackupDate() const { return DateAt(Find(kFileDates), 2); }

void CAppleDouble::SetDates(int32_t create, int32_t modify, int32_t backup) {
    if (create == kUnknownDate && backup == kUnknownDate) {
        Remove(kFileDates);
        return;
    }
    std::vector<uint8_t> b(16);
    Put32(b.data(), uint32_t(create));
    Put32(b.data() + 4, uint32_t(modify));
    Put32(b.data() + 8, uint32_t(backup));
    Put32(b.data() + 12, uint32_t(kUnknownDate));
    Put(kFileDates, std::move(b));
}

bool CAppleDouble::Locked() const {
    auto e = Find(kMacFileInfo);
    return e && e->bytes.size() >= 4 && (Get32(e->bytes.data()) & 1) != 0;
}

void CAppleDouble::SetLocked(bool locked) {
    auto e = FindMutable(kMacFileInfo);
    uint32_t v = (e && e->bytes.size() >= 4) ? Get32(e->bytes.data()) : 0;
    v = locked ? (v | 1) : (v & ~uint32_t(1));
    if (v == 0) {
        Remove(kMacFileInfo);
        return;
    }
    std::vector<uint8_t> b(4);
    Put32(b.data(), v);
    Put(kMacFileInfo, std::move(b));
}
