// The preferences: one resource file per user holding the preference values,
// the file typers, the login profiles, the last commit comment, remembered
// dialog settings and window geometry.
//
// The file lives at $XDG_CONFIG_HOME/fennelwright/Fennelwright (mode 0600 in
// a 0700 folder). It is read whole, changed in memory and written back
// through a temporary file in the same folder that replaces it by rename, so
// a crash while saving leaves the previous file whole. Older formats (0 to 3)
// are brought up to format 4 in memory and written once, after a copy of the
// old file has been kept beside it. A file that cannot be read is set aside
// (never overwritten); one written by a newer program is left alone for the
// run. Either way the user is told and the defaults are used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/LoginProfile.h"
#include "foundation/CString.h"
#include "platform/MacTypes.h"
#include "platform/ResourceFile.h"
#include "typers/FileTyper.h"

// 'Conf' resource IDs.
enum : int16_t {
    kPrefVersion = -1,
    kPrefV0Password = 2,
    kPrefV0User = 3,
    kPrefV0Server = 4,
    kPrefV0Port = 5,
    kPrefV0TimeOut = 6,
    kPrefTabWidth = 7,
    kPrefV0Root = 8,
    kPrefCommentCopyMode = 9,
    kPrefDiffScrollMode = 10,
    kPrefDiffLogMode = 11,
    kPrefIconSize = 12,
    kPrefV0BufferSize = 13,
    kPrefSplashScreen = 14,
    kPrefSearchOptions = 15,
    kPrefUseLongFilenames = 16,
    kPrefCaseSensitiveLists = 17,
    kPrefConfirmTrash = 18,
    kPrefTranslators = 20,
    kPrefIgnoreFilters = 21,
    kPrefCommentEncoding = 22,
    kPrefV0FirstTranslator = 100,
    kPrefCVSOption = 1000
};

// 'GSet' settings.
enum : int16_t { kSettingInspectorTab = 1, kSettingLastProfile = 2 };

// The values of the preferences with their defaults.
struct SPreferenceValues {
    short tabWidth = 4;
    short commentCopyMode = 1;
    short diffScrollMode = 0;
    short diffLogMode = 0;
    short iconSize = 16;
    short splashTime = 300;
    short searchOptions = 0;
    short useLongFilenames = 1;
    short caseSensitiveFileList = 1;
    short confirmTrash = 1;
    long commentTextEncoding = -1;
    unsigned long cvsOptions = 0;  // bit n = CVS command option n
};

class CPreferences {
public:
    static constexpr unsigned short sPrefsVersion = 4;

    // Where the preferences file is (XDG_CONFIG_HOME, else ~/.config).
    static std::string DefaultPath();

    explicit CPreferences(std::string path = DefaultPath());
    CPreferences(CPreferences const&) = delete;
    CPreferences& operator=(CPreferences const&) = delete;

    std::string const& Path() const { return mPath; }

    // Start-up: a new file is filled from the defaults, an older one updated;
    // then everything is read. Problems are told to the user; the program then
    // runs with the defaults. Returns whether the user's file was read.
    bool Startup();

    // First-start copy of the defaults into a new preferences file.
    void CopyInitialPreferences();
    // Reads everything, from the preferences file or (fromApplication) from
    // the program's own defaults.
    bool LoadPreferences(bool fromApplication);
    // Writes the values, typers and login profiles (and stores keychain
    // passwords). False when nothing could be written.
    bool SavePreferences();

    // Whether this run may write the file (false after it was found to be
    // from a newer program, or could not be updated or set aside).
    bool Writable() const { return mWritable; }

    // ---- Values
    SPreferenceValues mValues;
    CFileTyperSet mTypers;
    CLoginProfileList mProfiles{kPArrOwning | kPArrSorted};

    bool CVSOption(unsigned short n) const { return n < 32 && (mValues.cvsOptions >> n) & 1; }
    void SetCVSOption(unsigned short n, bool on);
    // True = search forwards (bit 0 of the search options clear).
    bool SearchDirection() const { return (mValues.searchOptions & 1) == 0; }
    void SearchDirection(bool forwards);
    void ConfirmTrash(bool on) { mValues.confirmTrash = on ? 1 : 0; }
    void CaseSensitiveFileList(bool on);

    // ---- Things stored on their own, straight into the file
    std::optional<std::string> LoadComment() const;
    bool SaveComment(std::optional<std::string> const& comment);
    long GetSetting(int16_t id, long defaultValue) const;
    bool PutSetting(int16_t id, long value);
    // The remembered login profile (setting 2) as an index into the list;
    // 0 when the stored value does not name a profile.
    unsigned short LastProfileIndex() const;
    // Window geometry, visibility, column and separator settings ('WGeo',
    // 'WVis', 'VCaS', 'MOse'): the bytes, or nothing when missing.
    std::optional<std::vector<uint8_t>> GetResource(OSType type, int16_t id) const;
    bool PutResource(OSType type, int16_t id, char const* name, std::vector<uint8_t> const& data);

    // Whether saves wait for the disk (fsync) before replacing the file. Only
    // throw-away runs (the fuzzer) turn this off.
    static bool sSyncWrites;

    // The program's own default resources: every value, the typers in text
    // form (and, for updating format 0 files, the older binary runs).
    static CResourceFile const& DefaultResources();

private:
    enum class EFileState { kMissing, kEmpty, kRead, kDamaged, kUnreadable };
    EFileState ReadFile(CResourceFile& rf, std::string& why) const;
    bool WriteFile(CResourceFile const& rf, std::string const& path) const;
    // Reads the file for a change of one resource; false when it must not be
    // written now.
    bool OpenForChange(CResourceFile& rf) const;
    void SetAside(std::string const& why);
    bool UpdateToCurrent(CResourceFile& rf, unsigned short version);
    void ReadAll(CResourceFile const& rf);
    void WriteAll(CResourceFile& rf);

    std::string mPath;
    bool mWritable = true;
    bool mReadProblem = false;  // the user's file could not be used this run
    // Profile records and typer lines that could not be read; written back
    // unchanged so that nothing stored is lost.
    std::vector<std::vector<uint8_t>> mUnreadableProfiles;
    std::vector<std::string> mUnreadableTypers[2];
};

// ---- Pieces of the format, used by the updates and open for tests

// Stores a 'Conf' resource; with empty data only removes it.
bool PutRes(CResourceFile& rf, std::vector<uint8_t> const& data, int16_t id, char const* name);
// Removes the resources of a type from firstId on until one is missing;
// returns that ID.
int16_t RemoveResources(CResourceFile& rf, OSType type, int16_t firstId);
// Appends typers read from 'CfgT' resources with consecutive IDs from firstId
// until one is missing; returns that ID. Unreadable records are skipped.
int16_t LoadTranslatorsPreV4(CResourceFile const& rf, TPtrArray<CFileTyper>& out, int16_t firstId);
// Writes typers as 'CfgT' from firstId on; returns the next free ID.
int16_t SaveTranslatorsPreV4(CResourceFile& rf, TPtrArray<CFileTyper> const& typers, int16_t firstId);
// The update steps; each returns the new version.
unsigned short UpdatePreferencesFromVersion_0(CResourceFile& rf);
unsigned short UpdatePreferencesFromVersion_1(CResourceFile& rf);
unsigned short UpdatePreferencesFromVersion_2(CResourceFile& rf);
unsigned short UpdatePreferencesFromVersion_3(CResourceFile& rf);
void StorePreferencesVersion(CResourceFile& rf, unsigned short version);
