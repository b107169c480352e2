// Basic Mac OS types and result codes used by the file and resource stand-ins.
#pragma once

#include <cstdint>

typedef int16_t OSErr;
typedef uint32_t OSType;
typedef int16_t ScriptCode;
typedef unsigned char Str255[256];  // length byte + up to 255 bytes (Mac Roman)

// A four-character code from its four bytes in order: FourCC("TEXT").
constexpr OSType FourCC(const char (&s)[5]) {
    return (OSType(uint8_t(s[0])) << 24) | (OSType(uint8_t(s[1])) << 16) |
           (OSType(uint8_t(s[2])) << 8) | OSType(uint8_t(s[3]));
}

constexpr OSErr noErr = 0;
constexpr OSErr unimpErr = -4;
constexpr OSErr dskFulErr = -34;
constexpr OSErr nsvErr = -35;
constexpr OSErr ioErr = -36;
constexpr OSErr bdNamErr = -37;
constexpr OSErr fnOpnErr = -38;
constexpr OSErr eofErr = -39;
constexpr OSErr posErr = -40;
constexpr OSErr tmfoErr = -42;
constexpr OSErr fnfErr = -43;
constexpr OSErr wPrErr = -44;
constexpr OSErr fLckdErr = -45;
constexpr OSErr fBsyErr = -47;
constexpr OSErr dupFNErr = -48;
constexpr OSErr opWrErr = -49;
constexpr OSErr paramErr = -50;
constexpr OSErr rfNumErr = -51;
constexpr OSErr permErr = -54;
constexpr OSErr wrPermErr = -61;
constexpr OSErr memFullErr = -108;
constexpr OSErr dirNFErr = -120;
constexpr OSErr badMovErr = -122;
constexpr OSErr resNotFound = -192;
constexpr OSErr resFNotFound = -193;
constexpr OSErr addResFailed = -194;
constexpr OSErr rmvResFailed = -196;
constexpr OSErr mapReadErr = -199;
constexpr OSErr notAFileErr = -1302;
constexpr OSErr diffVolErr = -1303;
constexpr OSErr errFSNoMoreItems = -1417;
constexpr OSErr buffersTooSmall = -2110;
constexpr OSErr afpAccessDenied = -5000;

// The stand-in's own result for a name on disk that has no exact Mac Roman
// form (an unmapped character, a decomposed (NFD) spelling, bad UTF-8).
// Callers that list folders pass such items over.
constexpr OSErr kNameNotMacRoman = -1311;

// Directory IDs with a fixed meaning.
enum : int32_t {
    fsRtParID = 1,  // the parent of the root folder
    fsRtDirID = 2,  // the root folder "/"
};

// Permissions for opening forks.
enum : int8_t {
    fsCurPerm = 0,
    fsRdPerm = 1,
    fsWrPerm = 2,
    fsRdWrPerm = 3,
};

// Positioning modes for SetFPos / FSRead / FSWrite.
enum : int16_t {
    fsAtMark = 0,
    fsFromStart = 1,
    fsFromLEOF = 2,
    fsFromMark = 3,
};

struct Point {
    int16_t v = 0;
    int16_t h = 0;
};

// Finder information of a file (the first 16 bytes of the 32-byte record).
struct FInfo {
    OSType fdType = 0;
    OSType fdCreator = 0;
    uint16_t fdFlags = 0;
    Point fdLocation;
    int16_t fdFldr = 0;
};

// Extended Finder information of a file (the second 16 bytes).
struct FXInfo {
    int16_t fdIconID = 0;
    int16_t fdReserved[3] = {0, 0, 0};
    int8_t fdScript = 0;
    int8_t fdXFlags = 0;
    int16_t fdComment = 0;
    int32_t fdPutAway = 0;
};

// Finder flags.
enum : uint16_t {
    kIsOnDesk = 0x0001,
    kHasBeenInited = 0x0100,
    kHasCustomIcon = 0x0400,
    kIsStationery = 0x0800,
    kNameLocked = 0x1000,
    kHasBundle = 0x2000,
    kIsInvisible = 0x4000,
    kIsAlias = 0x8000,
};

// Resource attributes.
enum : uint8_t {
    resSysHeap = 0x40,
    resPurgeable = 0x20,
    resLocked = 0x10,
    resProtected = 0x08,
    resPreload = 0x04,
    resChanged = 0x02,
};

// Resource map attributes.
enum : uint16_t {
    mapReadOnly = 0x0080,
    mapCompact = 0x0040,
    mapChanged = 0x0020,
};
