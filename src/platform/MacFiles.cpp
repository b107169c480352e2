// Temporary stubs; replaced by the implementation.
#include "platform/MacFiles.h"

std::string FSpName(FSSpec const& spec) { return {}; }
void FSpSetName(FSSpec& spec, std::string_view macName) {  }
OSErr MacNameToDisk(std::string_view macName, std::string& diskName) { return unimpErr; }
OSErr DiskNameToMac(std::string_view diskName, std::string& macName) { return unimpErr; }
bool IsReservedName(std::string_view macName) { return false; }
OSErr GetDirIDFromPath(std::string const& path, int16_t* vRefNum, int32_t* dirID) { return unimpErr; }
OSErr GetDirPath(int32_t dirID, std::string& path) { return unimpErr; }
OSErr GetDirLocation(int32_t dirID, FSSpec* spec) { return unimpErr; }
OSErr FSMakeFSSpec(int16_t vRefNum, int32_t dirID, std::string_view macName, FSSpec* spec) { return unimpErr; }
OSErr FSMakeFSSpecFromPath(std::string const& path, FSSpec* spec) { return unimpErr; }
OSErr FSpGetPath(FSSpec const& spec, std::string& path) { return unimpErr; }
OSErr FSpGetDirID(FSSpec const& spec, int16_t* vRefNum, int32_t* dirID) { return unimpErr; }
OSErr FindTemporaryFolder(int16_t* vRefNum, int32_t* dirID) { return unimpErr; }
OSErr FSpGetCatInfo(FSSpec const& spec, SCatInfo* info) { return unimpErr; }
OSErr FSpCheckSidecar(FSSpec const& spec, std::string* why) { return unimpErr; }
OSErr FSpSetCatDates(FSSpec const& spec, uint32_t const* createDate, uint32_t const* modDate,
                     uint32_t const* backupDate) { return unimpErr; }
OSErr FSpGetFInfo(FSSpec const& spec, FInfo* info) { return unimpErr; }
OSErr FSpSetFInfo(FSSpec const& spec, FInfo const* info) { return unimpErr; }
OSErr FSpGetFinderInfo(FSSpec const& spec, FInfo* info, FXInfo* xinfo) { return unimpErr; }
OSErr FSpSetFinderInfo(FSSpec const& spec, FInfo const* info, FXInfo const* xinfo) { return unimpErr; }
OSErr FSpSetFLock(FSSpec const& spec) { return unimpErr; }
OSErr FSpRstFLock(FSSpec const& spec) { return unimpErr; }
OSErr FSpOpenDF(FSSpec const& spec, int8_t permission, int16_t* refNum) { return unimpErr; }
OSErr FSpOpenRF(FSSpec const& spec, int8_t permission, int16_t* refNum) { return unimpErr; }
OSErr FSRead(int16_t refNum, long* count, void* buffer) { return unimpErr; }
OSErr FSWrite(int16_t refNum, long* count, void const* buffer) { return unimpErr; }
OSErr GetEOF(int16_t refNum, long* logicalEOF) { return unimpErr; }
OSErr SetEOF(int16_t refNum, long logicalEOF) { return unimpErr; }
OSErr GetFPos(int16_t refNum, long* position) { return unimpErr; }
OSErr SetFPos(int16_t refNum, int16_t positionMode, long positionOffset) { return unimpErr; }
OSErr FSClose(int16_t refNum) { return unimpErr; }
OSErr FSpReadFork(FSSpec const& spec, bool resourceFork, std::vector<uint8_t>& bytes) { return unimpErr; }
OSErr FSpWriteResourceFork(FSSpec const& spec, std::vector<uint8_t> const& bytes) { return unimpErr; }
OSErr FSpCreate(FSSpec const& spec, OSType creator, OSType fileType, ScriptCode script) { return unimpErr; }
OSErr FSpDirCreate(FSSpec const& spec, ScriptCode script, int32_t* newDirID) { return unimpErr; }
OSErr FSpDelete(FSSpec const& spec) { return unimpErr; }
OSErr FSpRename(FSSpec const& spec, std::string_view newName) { return unimpErr; }
OSErr FSpCatMove(FSSpec const& spec, FSSpec const& destFolder) { return unimpErr; }
OSErr FSpExchangeFiles(FSSpec const& a, FSSpec const& b) { return unimpErr; }
OSErr OSErrFromErrno(int err) { return unimpErr; }
struct CDirReader::Impl {};
CDirReader::CDirReader() {}
CDirReader::~CDirReader() {}
OSErr CDirReader::Open(int32_t) { return unimpErr; }
OSErr CDirReader::Next(SDirEntry&, bool) { return unimpErr; }
void CDirReader::Close() {}
