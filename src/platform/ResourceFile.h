// The classic resource file format: a codec held in memory.
//
// Serves resource forks (sidecar entry 2), resource files in a data fork
// (the preferences file) and the resources of the sandbox information files.
//
// Layout (big-endian): a 16-byte header (offset of the data, offset of the
// map, length of the data, length of the map); the data, each resource as a
// 32-bit length and its bytes; the map: a copy of the header, 4 + 2 bytes
// reserved, the file attributes (16 bits), the offset of the type list and of
// the name list (16 bits each, from the start of the map); the type list: the
// number of types - 1, then per type the type, its number of resources - 1
// and the offset of its reference list (from the start of the type list); a
// reference is 12 bytes: ID, offset of the name in the name list (-1 for
// none), attributes (8 bits), offset of the data (24 bits, from the start of
// the data), 4 reserved bytes; the name list: length-prefixed names.
//
// Decoding checks every offset and length against the bytes given. Encoding
// refuses what the format cannot hold (data beyond 24-bit offsets, a map
// beyond 16-bit offsets, names over 255 bytes) instead of writing a file
// that would read back differently.
#pragma once

#include "platform/MacTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct FSSpec;

class CResourceFile {
public:
    struct SResource {
        OSType type = 0;
        int16_t id = 0;
        uint8_t attributes = 0;
        bool hasName = false;
        std::string name;  // Mac Roman, up to 255 bytes
        std::vector<uint8_t> data;
    };

    // Decodes a whole resource file. An empty input gives eofErr (no resource
    // fork); a damaged one mapReadErr, with the reason in `why` when given.
    // On failure *this is left empty.
    OSErr Decode(uint8_t const* bytes, size_t length, std::string* why = nullptr);

    // Encodes into `out`: header, 240 bytes for the system and application
    // (kept from the decoded file), data, map. mapReadErr when something does
    // not fit the format (then `why` says what), `out` is then untouched.
    OSErr Encode(std::vector<uint8_t>& out, std::string* why = nullptr) const;

    // Types in the order of the file; resources of a type in the order of
    // its reference list. Indexes are 0-based.
    size_t CountTypes() const;
    OSType IndType(size_t index) const;  // 0 when out of range
    size_t CountResources(OSType type) const;
    SResource const* IndResource(OSType type, size_t index) const;
    SResource const* Get(OSType type, int16_t id) const;
    SResource* GetMutable(OSType type, int16_t id);
    size_t Count() const;

    // Adds a resource; addResFailed when one of that type and ID exists or the
    // name is longer than 255 bytes. A null name means "no name".
    OSErr Add(OSType type, int16_t id, char const* name, std::vector<uint8_t> data,
              uint8_t attributes = 0);
    // Replaces the data of an existing resource, or adds it (with `name`).
    OSErr Put(OSType type, int16_t id, char const* name, std::vector<uint8_t> data);
    // rmvResFailed/resNotFound when missing.
    OSErr Remove(OSType type, int16_t id);
    OSErr SetInfo(OSType type, int16_t id, int16_t newID, char const* newName);
    OSErr SetAttributes(OSType type, int16_t id, uint8_t attributes);

    uint16_t FileAttributes() const { return mFileAttributes; }
    void SetFileAttributes(uint16_t attrs) { mFileAttributes = attrs; }
    void Clear();

private:
    struct SType {
        OSType type = 0;
        std::vector<SResource> resources;
    };
    SType* FindType(OSType type);
    SType const* FindType(OSType type) const;
    void Reindex();

    std::vector<SType> mTypes;
    std::unordered_map<OSType, size_t> mTypeIndex;
    uint16_t mFileAttributes = 0;
    std::vector<uint8_t> mSystemArea;  // 240 bytes after the header, when decoded
};

// Reads the resource fork of a file as a resource file: eofErr when it has no
// resource fork, mapReadErr when it is damaged, other File Manager errors.
OSErr FSpReadResourceFile(FSSpec const& spec, CResourceFile& out, std::string* why = nullptr);

// Writes the resource file into the file's resource fork (through the
// sidecar; sets the data file's mtime).
OSErr FSpWriteResourceFile(FSSpec const& spec, CResourceFile const& file);

// Gives a file an empty resource map when its resource fork is empty,
// creating the file with `creator` and `fileType` when it does not exist (a
// file that exists keeps its type and creator).
OSErr FSpCreateResFile(FSSpec const& spec, OSType creator, OSType fileType, ScriptCode script);
