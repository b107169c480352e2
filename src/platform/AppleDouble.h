// The AppleDouble version 2 codec for the "._name" sidecars.
//
// Layout (all numbers big-endian): magic 0x00051607, version 0x00020000, a
// 16-byte filler, the entry count (16 bits), then one 12-byte descriptor per
// entry (ID, offset, length) and the entries' bytes.
//
// Entries we use:
//   9  Finder information: 32 bytes (FInfo + FXInfo, or DInfo + DXInfo).
//      macOS writes a longer entry on foreign volumes, whose tail holds its
//      extended attributes (an "ATTR" block with offsets counted from the
//      start of the file); the tail is kept, and its offsets are moved when
//      the entry moves.
//   8  File dates: creation, modification, backup, access, signed seconds
//      since 2000-01-01 00:00 GMT (0x80000000 = unknown).
//   10 Macintosh file info: 32 bits, bit 0 the Finder lock (bit 1 protected).
//   2  Resource fork, always written last.
// Any other entry is kept as it is and written back.
//
// Decoding is bounds-checked: every offset and length is checked against the
// bytes given, and nothing is trusted from a file that comes from a foreign
// disk or a server.
#pragma once

#include "platform/MacTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CAppleDouble {
public:
    enum : uint32_t {
        kDataFork = 1,
        kResourceFork = 2,
        kRealName = 3,
        kComment = 4,
        kFileDates = 8,
        kFinderInfo = 9,
        kMacFileInfo = 10,
    };
    static constexpr uint32_t kMagic = 0x00051607;
    static constexpr uint32_t kVersion2 = 0x00020000;
    static constexpr int32_t kUnknownDate = INT32_MIN;  // 0x80000000

    struct SEntry {
        uint32_t id = 0;
        std::vector<uint8_t> bytes;
        uint32_t oldOffset = 0;  // where it was in the decoded file (for ATTR blocks)
    };

    // Decodes `bytes`. On failure returns false, leaves *this empty and, when
    // `why` is given, says what is wrong. Accepts versions 1 and 2.
    bool Decode(uint8_t const* bytes, size_t length, std::string* why = nullptr);

    // Encodes into `out`. Order: Finder information, dates, file info, the
    // other kept entries, the resource fork last.
    void Encode(std::vector<uint8_t>& out) const;

    // True when nothing worth keeping is left: no resource fork bytes, Finder
    // information all zero (and no attribute tail), no lock, no known dates,
    // no other entries.
    bool IsEmpty() const;

    // Finder information: 32 bytes (zeros when absent).
    void GetFinderInfo(uint8_t out[32]) const;
    void SetFinderInfo(uint8_t const in[32]);

    // Resource fork bytes (empty when absent); setting an empty one removes it.
    std::vector<uint8_t> const& ResourceFork() const;
    void SetResourceFork(std::vector<uint8_t> bytes);

    // Dates as seconds since 2000 GMT; kUnknownDate when absent.
    int32_t CreateDate() const;
    int32_t BackupDate() const;
    int32_t ModifyDate() const;
    void SetDates(int32_t create, int32_t modify, int32_t backup);

    bool Locked() const;
    void SetLocked(bool locked);

    // Raw access to the entries (in decoded order).
    std::vector<SEntry> const& Entries() const { return mEntries; }
    SEntry const* Find(uint32_t id) const;
    void Remove(uint32_t id);
    void Put(uint32_t id, std::vector<uint8_t> bytes);

    uint8_t const* Filler() const { return mFiller; }

private:
    SEntry* FindMutable(uint32_t id);

    uint8_t mFiller[16] = {};
    std::vector<SEntry> mEntries;
};
