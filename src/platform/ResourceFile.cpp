#include "platform/ResourceFile.h"
#include "platform/BigEndian.h"

#include "platform/MacFiles.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace {

using namespace fw::be;

constexpr size_t kHeaderSize = 16;
constexpr size_t kSystemAreaSize = 240;  // 112 reserved for the system + 128 for the application
constexpr size_t kMapFixedSize = 28;     // header copy, next map, file ref, attributes, two offsets
constexpr size_t kTypeEntrySize = 8;
constexpr size_t kRefEntrySize = 12;
constexpr uint32_t kMaxDataOffset = 0xFFFFFF;

}  // namespace

void CResourceFile::Clear() {
    mTypes.clear();
    mTypeIndex.clear();
    mFileAttributes = 0;
    mSystemArea.clear();
}

OSErr CResourceFile::Decode(uint8_t const* bytes, size_t length, std::string* why) {
    Clear();
    auto fail = [&](char const* reason) -> OSErr {
        Clear();
        if (why) *why = reason;
        return mapReadErr;
    };
    if (!bytes || length == 0) {
        if (why) *why = "no resource fork";
        return eofErr;
    }
    if (length < kHeaderSize) return fail("shorter than a resource file header");
    uint32_t dataOff = Get32(bytes), mapOff = Get32(bytes + 4);
    uint32_t dataLen = Get32(bytes + 8), mapLen = Get32(bytes + 12);
    if (dataOff > length || dataLen > length - dataOff) return fail("resource data runs past the end");
    if (mapOff > length || mapLen > length - mapOff) return fail("resource map runs past the end");
    if (mapLen < kMapFixedSize) return fail("resource map too short");
    uint8_t const* map = bytes + mapOff;
    uint8_t const* data = bytes + dataOff;
    uint16_t fileAttrs = Get16(map + 22);
    size_t typeListOff = Get16(map + 24);
    size_t nameListOff = Get16(map + 26);
    if (typeListOff + 2 > mapLen) return fail("type list outside the map");
    if (nameListOff > mapLen) return fail("name list outside the map");
    uint8_t const* typeList = map + typeListOff;
    size_t numTypes = (Get16(typeList) + 1) & 0xFFFF;  // stored as count - 1
    if (typeListOff + 2 + numTypes * kTypeEntrySize > mapLen) return fail("type list runs past the map");

    // Reference lists cannot overlap in a sound file; bounding their total by
    // the map (and the data by the data area) keeps a hostile file from
    // making us copy the same bytes over and over.
    size_t totalRefs = 0;
    uint64_t totalData = 0;
    std::vector<SType> decoded;
    std::unordered_set<OSType> seenTypes;
    for (size_t t = 0; t < numTypes; ++t) {
        uint8_t const* te = typeList + 2 + t * kTypeEntrySize;
        OSType type = Get32(te);
        size_t count = size_t(Get16(te + 4)) + 1;
        size_t refOff = Get16(te + 6);
        if (!seenTypes.insert(type).second) return fail("resource type appears twice");
        totalRefs += count;
        if (totalRefs * kRefEntrySize > mapLen) return fail("more references than the map holds");
        if (typeListOff + refOff + count * kRefEntrySize > mapLen) return fail("reference list runs past the map");
        SType st;
        st.type = type;
        std::unordered_set<int16_t> seenIDs;
        for (size_t r = 0; r < count; ++r) {
            uint8_t const* re = typeList + refOff + r * kRefEntrySize;
            SResource res;
            res.type = type;
            res.id = int16_t(Get16(re));
            uint16_t nameOff = Get16(re + 2);
            res.attributes = re[4];
            uint32_t off = Get24(re + 5);
            if (off > dataLen || dataLen - off < 4) return fail("resource data offset outside the data");
            uint32_t len = Get32(data + off);
            if (len > dataLen - off - 4) return fail("resource data runs past the data");
            totalData += uint64_t(len) + 4;
            if (totalData > dataLen) return fail("resources overlap in the data");
            if (nameOff != 0xFFFF) {
                size_t at = nameListOff + nameOff;
                if (at >= mapLen || at + 1 + map[at] > mapLen) return fail("resource name outside the map");
                res.hasName = true;
                res.name.assign(reinterpret_cast<char const*>(map + at + 1), map[at]);
            }
            if (!seenIDs.insert(res.id).second) return fail("resource appears twice");
            res.data.assign(data + off + 4, data + off + 4 + len);
            st.resources.push_back(std::move(res));
        }
        decoded.push_back(std::move(st));
    }
    mTypes = std::move(decoded);
    Reindex();
    mFileAttributes = fileAttrs;
    if (dataOff >= kHeaderSize + kSystemAreaSize && mapOff >= kHeaderSize + kSystemAreaSize)
        mSystemArea.assign(bytes + kHeaderSize, bytes + kHeaderSize + kSystemAreaSize);
    return noErr;
}

OSErr CResourceFile::Encode(std::vector<uint8_t>& out, std::string* why) const {
    auto fail = [&](char const* reason) -> OSErr {
        if (why) *why = reason;
        return mapReadErr;
    };
    if (mTypes.size() > 0x10000) return fail("too many resource types");

    std::vector<uint8_t> data;
    std::vector<uint8_t> names;
    std::vector<uint8_t> types(2 + mTypes.size() * kTypeEntrySize);
    std::vector<uint8_t> refs;
    Put16(types.data(), uint16_t(mTypes.size() - 1));  // 0xFFFF for none
    for (size_t t = 0; t < mTypes.size(); ++t) {
        OSType type = mTypes[t].type;
        size_t count = 0;
        size_t refStart = refs.size();
        for (auto const& r : mTypes[t].resources) {
            ++count;
            uint8_t e[kRefEntrySize] = {};
            Put16(e, uint16_t(r.id));
            if (r.hasName) {
                if (r.name.size() > 255) return fail("resource name longer than 255 bytes");
                if (names.size() > 0xFFFE) return fail("resource names do not fit the map");
                Put16(e + 2, uint16_t(names.size()));
                names.push_back(uint8_t(r.name.size()));
                names.insert(names.end(), r.name.begin(), r.name.end());
            } else {
                Put16(e + 2, 0xFFFF);
            }
            e[4] = uint8_t(r.attributes & ~resChanged);
            if (data.size() > kMaxDataOffset) return fail("resource data beyond 16 MB");
            if (r.data.size() > UINT32_MAX - 4) return fail("resource too large");
            Put24(e + 5, uint32_t(data.size()));
            uint8_t len[4];
            Put32(len, uint32_t(r.data.size()));
            data.insert(data.end(), len, len + 4);
            data.insert(data.end(), r.data.begin(), r.data.end());
            refs.insert(refs.end(), e, e + kRefEntrySize);
        }
        if (count == 0) return fail("resource type without resources");
        if (count > 0x10000) return fail("too many resources of one type");
        uint8_t* te = types.data() + 2 + t * kTypeEntrySize;
        Put32(te, type);
        Put16(te + 4, uint16_t(count - 1));
        size_t refOff = types.size() + refStart;  // from the start of the type list
        if (refOff > 0xFFFF) return fail("resource map too large");
        Put16(te + 6, uint16_t(refOff));
    }
    size_t nameListOff = kMapFixedSize + types.size() + refs.size();
    if (nameListOff > 0xFFFF) return fail("resource map too large");
    size_t mapLen = nameListOff + names.size();
    size_t dataOff = kHeaderSize + kSystemAreaSize;
    if (data.size() > UINT32_MAX - dataOff - mapLen) return fail("resource file too large");
    size_t mapOff = dataOff + data.size();

    std::vector<uint8_t> bytes(mapOff + mapLen);
    uint8_t header[kHeaderSize];
    Put32(header, uint32_t(dataOff));
    Put32(header + 4, uint32_t(mapOff));
    Put32(header + 8, uint32_t(data.size()));
    Put32(header + 12, uint32_t(mapLen));
    std::memcpy(bytes.data(), header, kHeaderSize);
    if (mSystemArea.size() == kSystemAreaSize)
        std::memcpy(bytes.data() + kHeaderSize, mSystemArea.data(), kSystemAreaSize);
    if (!data.empty()) std::memcpy(bytes.data() + dataOff, data.data(), data.size());
    uint8_t* map = bytes.data() + mapOff;
    std::memcpy(map, header, kHeaderSize);
    Put16(map + 22, uint16_t(mFileAttributes & ~mapChanged));
    Put16(map + 24, uint16_t(kMapFixedSize));
    Put16(map + 26, uint16_t(nameListOff));
    std::memcpy(map + kMapFixedSize, types.data(), types.size());
    if (!refs.empty()) std::memcpy(map + kMapFixedSize + types.size(), refs.data(), refs.size());
    if (!names.empty()) std::memcpy(map + nameListOff, names.data(), names.size());
    out = std::move(bytes);
    return noErr;
}

void CResourceFile::Reindex() {
    mTypeIndex.clear();
    for (size_t i = 0; i < mTypes.size(); ++i) mTypeIndex[mTypes[i].type] = i;
}

CResourceFile::SType* CResourceFile::FindType(OSType type) {
    auto it = mTypeIndex.find(type);
    return it == mTypeIndex.end() ? nullptr : &mTypes[it->second];
}

CResourceFile::SType const* CResourceFile::FindType(OSType type) const {
    auto it = mTypeIndex.find(type);
    return it == mTypeIndex.end() ? nullptr : &mTypes[it->second];
}

size_t CResourceFile::Count() const {
    size_t n = 0;
    for (auto const& t : mTypes) n += t.resources.size();
    return n;
}

size_t CResourceFile::CountTypes() const { return mTypes.size(); }

OSType CResourceFile::IndType(size_t index) const { return index < mTypes.size() ? mTypes[index].type : 0; }

size_t CResourceFile::CountResources(OSType type) const {
    auto t = FindType(type);
    return t ? t->resources.size() : 0;
}

CResourceFile::SResource const* CResourceFile::IndResource(OSType type, size_t index) const {
    auto t = FindType(type);
    return t && index < t->resources.size() ? &t->resources[index] : nullptr;
}

CResourceFile::SResource const* CResourceFile::Get(OSType type, int16_t id) const {
    return const_cast<CResourceFile*>(this)->GetMutable(type, id);
}

CResourceFile::SResource* CResourceFile::GetMutable(OSType type, int16_t id) {
    auto t = FindType(type);
    if (!t) return nullptr;
    for (auto& r : t->resources)
        if (r.id == id) return &r;
    return nullptr;
}

OSErr CResourceFile::Add(OSType type, int16_t id, char const* name, std::vector<uint8_t> data, uint8_t attributes) {
    if (Get(type, id)) return addResFailed;
    if (name && std::strlen(name) > 255) return addResFailed;
    SResource r;
    r.type = type;
    r.id = id;
    r.attributes = attributes;
    r.hasName = name != nullptr;
    if (name) r.name = name;
    r.data = std::move(data);
    SType* t = FindType(type);
    if (!t) {
        mTypes.push_back(SType{type, {}});
        mTypeIndex[type] = mTypes.size() - 1;
        t = &mTypes.back();
    }
    t->resources.push_back(std::move(r));
    return noErr;
}

OSErr CResourceFile::Put(OSType type, int16_t id, char const* name, std::vector<uint8_t> data) {
    if (auto r = GetMutable(type, id)) {
        r->data = std::move(data);
        return noErr;
    }
    return Add(type, id, name, std::move(data));
}

OSErr CResourceFile::Remove(OSType type, int16_t id) {
    auto t = FindType(type);
    if (!t) return resNotFound;
    auto it = std::find_if(t->resources.begin(), t->resources.end(), [&](SResource const& r) { return r.id == id; });
    if (it == t->resources.end()) return resNotFound;
    t->resources.erase(it);
    if (t->resources.empty()) {
        mTypes.erase(mTypes.begin() + (t - mTypes.data()));
        Reindex();
    }
    return noErr;
}

OSErr CResourceFile::SetInfo(OSType type, int16_t id, int16_t newID, char const* newName) {
    auto r = GetMutable(type, id);
    if (!r) return resNotFound;
    if (newID != id && Get(type, newID)) return addResFailed;
    if (newName && std::strlen(newName) > 255) return paramErr;
    r->id = newID;
    if (newName) {
        r->hasName = true;
        r->name = newName;
    }
    return noErr;
}

OSErr CResourceFile::SetAttributes(OSType type, int16_t id, uint8_t attributes) {
    auto r = GetMutable(type, id);
    if (!r) return resNotFound;
    r->attributes = attributes;
    return noErr;
}

OSErr FSpReadResourceFile(FSSpec const& spec, CResourceFile& out, std::string* why) {
    out.Clear();
    std::vector<uint8_t> bytes;
    OSErr err = FSpReadFork(spec, true, bytes);
    if (err != noErr) return err;
    return out.Decode(bytes.data(), bytes.size(), why);
}

OSErr FSpWriteResourceFile(FSSpec const& spec, CResourceFile const& file) {
    std::vector<uint8_t> bytes;
    OSErr err = file.Encode(bytes);
    if (err != noErr) return err;
    return FSpWriteResourceFork(spec, bytes);
}

OSErr FSpCreateResFile(FSSpec const& spec, OSType creator, OSType fileType, ScriptCode script) {
    SCatInfo info;
    OSErr err = FSpGetCatInfo(spec, &info);
    if (err == fnfErr) {
        err = FSpCreate(spec, creator, fileType, script);
        if (err != noErr) return err;
        info.rsrcLength = 0;
    } else if (err != noErr) {
        return err;
    } else if (info.kind != ENodeKind::kFile) {
        return notAFileErr;
    }
    if (info.rsrcLength != 0) return noErr;  // a resource fork is already there
    CResourceFile empty;
    return FSpWriteResourceFile(spec, empty);
}
