#include "app/settings/Preferences.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "foundation/Log.h"
#include "typers/FileTyperTestEntry.h"

namespace {

constexpr OSType kConf = FourCC("Conf");
constexpr OSType kCfgL = FourCC("CfgL");
constexpr OSType kCfgT = FourCC("CfgT");
constexpr OSType kCmnt = FourCC("Cmnt");
constexpr OSType kGSet = FourCC("GSet");

// An update step that cannot go on; the file is then left as it was.
struct SUpdateError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<uint8_t> BE16(long v) { return {uint8_t(v >> 8), uint8_t(v)}; }
std::vector<uint8_t> BE32(long v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

// A value resource of exactly the expected size, else nothing (a damaged
// value counts as missing).
std::optional<uint16_t> Get16(CResourceFile const& rf, OSType type, int16_t id) {
    auto* r = rf.Get(type, id);
    if (!r || r->data.size() != 2) return std::nullopt;
    return uint16_t((r->data[0] << 8) | r->data[1]);
}

std::optional<uint32_t> Get32(CResourceFile const& rf, OSType type, int16_t id) {
    auto* r = rf.Get(type, id);
    if (!r || r->data.size() != 4) return std::nullopt;
    return (uint32_t(r->data[0]) << 24) | (uint32_t(r->data[1]) << 16) | (uint32_t(r->data[2]) << 8) | r->data[3];
}

short Value16(CResourceFile const& rf, int16_t id, short def) {
    auto v = Get16(rf, kConf, id);
    return v ? static_cast<short>(*v) : def;
}

// A C string resource, read up to its NUL or its end.
CString CStringRes(CResourceFile const& rf, int16_t id, char const* def) {
    auto* r = rf.Get(kConf, id);
    if (!r) return CString(def);
    size_t n = 0;
    while (n < r->data.size() && r->data[n] != 0) ++n;
    CString s;
    s.Init(reinterpret_cast<char const*>(r->data.data()), static_cast<int>(n));
    return s;
}

CString TextRes(CResourceFile const& rf, int16_t id) {
    auto* r = rf.Get(kConf, id);
    if (!r || r->data.empty()) return CString();
    CString s;
    s.Init(reinterpret_cast<char const*>(r->data.data()), static_cast<int>(r->data.size()));
    return s;
}

std::vector<uint8_t> Bytes(CString const& s) {
    if (s.Length() <= 0) return {};
    return std::vector<uint8_t>(s.c_str(), s.c_str() + s.Length());
}

// Reads a list from 'Conf' id; a missing or empty resource leaves it as it is.
// Reads a list from 'Conf' id; a missing or empty resource leaves it as it is.
// Lines that cannot be read are kept aside in unreadable.
void LoadTranslators(CResourceFile const& rf, TPtrArray<CFileTyper>& list, int16_t id,
                     std::vector<std::string>* unreadable = nullptr) {
    CString text = TextRes(rf, id);
    if (text.Empty()) return;
    int bad = FileTypersFromString(list, text, unreadable);
    if (bad > 0)
        GLogPrintf(2, "%d file typer%s of the preferences (%s) cannot be read; kept as %s but not used.", bad,
                   bad == 1 ? "" : "s", id == kPrefTranslators ? "Translators" : "Ignore Filters",
                   bad == 1 ? "it is" : "they are");
}

void SaveTranslators(CResourceFile& rf, TPtrArray<CFileTyper> const& list, int16_t id, char const* name,
                     std::vector<std::string> const* unreadable = nullptr) {
    CString text = FileTypersToString(list);
    if (unreadable)
        for (auto const& line : *unreadable) {
            text += line.c_str();
            text += '\n';
        }
    PutRes(rf, Bytes(text), id, name);
}

bool IsNewFile(CResourceFile const& rf) {
    // A file counts as new only when it holds no preferences of any format;
    // a format 0 file has no "TabWidth" but must still be updated.
    static const int16_t kAny[] = {kPrefVersion,   kPrefTabWidth, kPrefV0Password, kPrefV0User, kPrefV0Server,
                                   kPrefV0Port,    kPrefV0TimeOut, kPrefV0Root,    kPrefV0BufferSize,
                                   kPrefV0FirstTranslator};
    for (int16_t id : kAny)
        if (rf.Get(kConf, id)) return false;
    return true;
}

std::string TimeStamp() {
    char buf[32];
    time_t now = time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tmv);
    return buf;
}

bool MakeFolder(std::string const& dir) {
    if (dir.empty()) return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolder(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string FolderOf(std::string const& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

// ---------------------------------------------------------------------------
// Pieces of the format

bool PutRes(CResourceFile& rf, std::vector<uint8_t> const& data, int16_t id, char const* name) {
    if (rf.Get(kConf, id)) rf.Remove(kConf, id);
    if (data.empty()) return true;
    OSErr err = rf.Add(kConf, id, name, data);
    if (err != noErr) {
        GLogPrintf(2, "Could not add preference %d. [error = %d]", int(id), int(err));
        return false;
    }
    return true;
}

int16_t RemoveResources(CResourceFile& rf, OSType type, int16_t firstId) {
    int16_t id = firstId;
    while (rf.Get(type, id)) {
        rf.Remove(type, id);
        if (id == INT16_MAX) break;
        ++id;
    }
    return id;
}

int16_t LoadTranslatorsPreV4(CResourceFile const& rf, TPtrArray<CFileTyper>& out, int16_t firstId) {
    int16_t id = firstId;
    while (auto* r = rf.Get(kCfgT, id)) {
        CFileTyper t(r->data.data(), r->data.size());
        if (t.IsMalformed())
            GLogPrintf(2, "File typer %d of the old preferences cannot be read and is dropped.", int(id));
        else
            out.append(new CFileTyper(t));
        if (id == INT16_MAX) break;
        ++id;
    }
    return id;
}

int16_t SaveTranslatorsPreV4(CResourceFile& rf, TPtrArray<CFileTyper> const& typers, int16_t firstId) {
    int16_t id = firstId;
    for (CFileTyper* t : typers) {
        auto bin = t->ExportToBinary();
        if (bin.empty()) continue;
        rf.Put(kCfgT, id, "File Translation", bin);
        ++id;
    }
    return id;
}

void StorePreferencesVersion(CResourceFile& rf, unsigned short version) {
    rf.Put(kConf, kPrefVersion, "Preferences Version", BE16(version));
}

unsigned short UpdatePreferencesFromVersion_0(CResourceFile& rf) {
    CString password = CStringRes(rf, kPrefV0Password, "");
    CString user = CStringRes(rf, kPrefV0User, "user");
    CString server = CStringRes(rf, kPrefV0Server, "cvs-server");
    CString root = CStringRes(rf, kPrefV0Root, "/cvs-root");
    unsigned short port = Get16(rf, kConf, kPrefV0Port).value_or(2401);
    unsigned short timeOut = Get16(rf, kConf, kPrefV0TimeOut).value_or(20);
    unsigned short bufferSize = Get16(rf, kConf, kPrefV0BufferSize).value_or(4096);
    for (int16_t id : {kPrefV0Password, kPrefV0User, kPrefV0Server, kPrefV0Port, kPrefV0TimeOut, kPrefV0Root,
                       kPrefV0BufferSize})
        rf.Remove(kConf, id);

    CLoginProfile p;
    p.SetDescription(user + "@" + server + ", " + root);
    p.SetHost(server);
    p.SetPort(port);
    p.SetRoot(root);
    p.SetUser(user);
    p.SetPassword(password);
    p.SetTimeOut(timeOut);
    p.SetBufferSize(bufferSize < 1024 ? 1024 : bufferSize);
    p.SetLoginMethod(kLoginPserver);
    p.SetCompressionLevel(0);
    p.SetThroughputLimit(0);
    rf.Put(kCfgL, 0, "Login Profile", p.Export());

    // Old translators: type, creator, pattern; the binary typer form has
    // creator, type, two option bytes and two zero bytes before the pattern.
    int16_t converted = 0;
    for (int id = kPrefV0FirstTranslator; id <= INT16_MAX; ++id) {
        auto* r = rf.Get(kConf, static_cast<int16_t>(id));
        if (!r) break;
        auto const& d = r->data;
        size_t end = 8;
        while (end < d.size() && d[end] != 0) ++end;
        if (d.size() < 9 || end == d.size()) {
            GLogPrintf(2, "File typer %d of the old preferences cannot be read and is dropped.", int(id));
        } else {
            std::vector<uint8_t> bin(12, 0);
            std::copy(d.begin() + 4, d.begin() + 8, bin.begin());
            std::copy(d.begin(), d.begin() + 4, bin.begin() + 4);
            bin.insert(bin.end(), d.begin() + 8, d.begin() + static_cast<long>(end) + 1);
            rf.Put(kCfgT, converted++, "File Translation", bin);
        }
        rf.Remove(kConf, static_cast<int16_t>(id));
    }

    // The defaults follow the user's translators, each run after a gap.
    CResourceFile const& defaults = CPreferences::DefaultResources();
    TPtrArray<CFileTyper> runs[3] = {TPtrArray<CFileTyper>(kPArrOwning), TPtrArray<CFileTyper>(kPArrOwning),
                                     TPtrArray<CFileTyper>(kPArrOwning)};
    int16_t next = LoadTranslatorsPreV4(defaults, runs[0], 0);
    next = LoadTranslatorsPreV4(defaults, runs[1], static_cast<int16_t>(next + 1));
    LoadTranslatorsPreV4(defaults, runs[2], static_cast<int16_t>(next + 1));
    int16_t end = SaveTranslatorsPreV4(rf, runs[1], static_cast<int16_t>(converted + 1));
    SaveTranslatorsPreV4(rf, runs[2], static_cast<int16_t>(end + 1));

    StorePreferencesVersion(rf, 1);
    return 1;
}

unsigned short UpdatePreferencesFromVersion_1(CResourceFile& rf) {
    rf.Put(kConf, kPrefSplashScreen, "Splash Screen", BE16(300));
    StorePreferencesVersion(rf, 2);
    return 2;
}

unsigned short UpdatePreferencesFromVersion_2(CResourceFile& rf) {
    for (int id = 0; id <= INT16_MAX; ++id) {
        auto* r = rf.GetMutable(kCfgL, static_cast<int16_t>(id));
        if (!r) break;
        CString description;
        auto converted = ConvertLoginProfileFromV0ToV1(r->data.data(), r->data.size(), description);
        if (!converted) {
            GLogPrintf(3, "Failed to convert login profile \xD2%s\xD3. Please check preferences!",
                       description.IsNull() ? "" : description.c_str());
            continue;
        }
        rf.Put(kCfgL, static_cast<int16_t>(id), "Login Profile", *converted);
    }
    StorePreferencesVersion(rf, 3);
    return 3;
}

unsigned short UpdatePreferencesFromVersion_3(CResourceFile& rf) {
    TPtrArray<CFileTyper> user(kPArrOwning), defaults(kPArrOwning), filters(kPArrOwning);
    int16_t next = LoadTranslatorsPreV4(rf, user, 0);
    int16_t secondRun = static_cast<int16_t>(next + 1);
    next = LoadTranslatorsPreV4(rf, defaults, secondRun);
    int16_t thirdRun = static_cast<int16_t>(next + 1);
    LoadTranslatorsPreV4(rf, filters, thirdRun);

    for (CFileTyper* u : user) {
        bool absorbed = false;
        for (CFileTyper* d : defaults)
            if ((absorbed = d->MeltIn(*u))) break;
        if (!absorbed) defaults.append(new CFileTyper(*u));
    }
    RemoveResources(rf, kCfgT, 0);
    RemoveResources(rf, kCfgT, secondRun);
    RemoveResources(rf, kCfgT, thirdRun);
    SaveTranslators(rf, defaults, kPrefTranslators, "Translators");
    SaveTranslators(rf, filters, kPrefIgnoreFilters, "Ignore Filters");
    StorePreferencesVersion(rf, 4);
    return 4;
}

// ---------------------------------------------------------------------------
// The defaults the program carries

CResourceFile const& CPreferences::DefaultResources() {
    static const CResourceFile rf = [] {
        CResourceFile d;
        SPreferenceValues v;
        d.Add(kConf, kPrefVersion, "Version", BE16(sPrefsVersion));
        d.Add(kConf, kPrefTabWidth, "TabWidth", BE16(v.tabWidth));
        d.Add(kConf, kPrefCommentCopyMode, "Comment Copy Mode", BE16(v.commentCopyMode));
        d.Add(kConf, kPrefDiffScrollMode, "Diff Scroll Mode", BE16(v.diffScrollMode));
        d.Add(kConf, kPrefDiffLogMode, "Diff/Log Mode", BE16(v.diffLogMode));
        d.Add(kConf, kPrefIconSize, "Icon Size", BE16(v.iconSize));
        d.Add(kConf, kPrefSplashScreen, "Splash Screen", BE16(v.splashTime));
        d.Add(kConf, kPrefSearchOptions, "Search Options", BE16(v.searchOptions));
        d.Add(kConf, kPrefUseLongFilenames, "Use Long Filenames", BE16(v.useLongFilenames));
        d.Add(kConf, kPrefCaseSensitiveLists, "Sort/Search File Lists Case Sensitive", BE16(v.caseSensitiveFileList));
        d.Add(kConf, kPrefConfirmTrash, "Confirm Trash", BE16(v.confirmTrash));
        d.Add(kConf, kPrefCommentEncoding, "Comment Text Encoding", BE32(v.commentTextEncoding));
        d.Add(kConf, kPrefCVSOption, "CVS Command Option", BE16(0));
        d.Add(kConf, kPrefCVSOption + 1, "CVS Command Option", BE16(0));

        CFileTyperSet set;
        if (set.AddFromText(DefaultTyperText()) != 0) FW_FAIL("The shipped file typers do not read whole.");
        d.Add(kConf, kPrefTranslators, "Translators", Bytes(FileTypersToString(set.mTranslators)));
        d.Add(kConf, kPrefIgnoreFilters, "Ignore Filters", Bytes(FileTypersToString(set.mIgnoreFilters)));

        // The same typers in the older binary runs that updating a format 0
        // file adds: no user translators, the default translators (with
        // import and export kept apart, as that form needs), the filters.
        TPtrArray<CFileTyper> split(kPArrOwning);
        for (CFileTyper* t : set.mTranslators) {
            if (t->mKind != kFTImExportTranslator) {
                split.append(new CFileTyper(*t));
                continue;
            }
            split.append(new CFileTyper(t->mPattern, t->mCreator, t->mType, t->mStorage, t->mKeyword, kLSUnix,
                                        kFTImportTranslator));
            split.append(new CFileTyper(t->mPattern, t->mCreator, t->mType, kSFDataFork, kKWDefault, t->mLineStyle,
                                        kFTExportTranslator));
        }
        int16_t end = SaveTranslatorsPreV4(d, split, 1);
        SaveTranslatorsPreV4(d, set.mIgnoreFilters, static_cast<int16_t>(end + 1));
        return d;
    }();
    return rf;
}

// ---------------------------------------------------------------------------
// CPreferences

std::string CPreferences::DefaultPath() {
    std::string base;
    if (char const* xdg = getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        char const* home = getenv("HOME");
        if (!home || !home[0]) {
            struct passwd* pw = getpwuid(geteuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/fennelwright/Fennelwright";
}

bool CPreferences::sSyncWrites = true;

CPreferences::CPreferences(std::string path) : mPath(std::move(path)) {}

CPreferences::EFileState CPreferences::ReadFile(CResourceFile& rf, std::string& why) const {
    rf.Clear();
    int fd = open(mPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return EFileState::kMissing;
        why = strerror(errno);
        return EFileState::kUnreadable;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = strerror(errno);
            close(fd);
            return EFileState::kUnreadable;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > (64u << 20)) {
            why = "the file is far too large";
            close(fd);
            return EFileState::kDamaged;
        }
    }
    close(fd);
    if (bytes.empty()) return EFileState::kEmpty;
    std::string reason;
    if (rf.Decode(bytes.data(), bytes.size(), &reason) != noErr) {
        why = reason.empty() ? "damaged resource map" : reason;
        rf.Clear();
        return EFileState::kDamaged;
    }
    return EFileState::kRead;
}

bool CPreferences::WriteFile(CResourceFile const& rf, std::string const& linkPath) const {
    // A preferences file that is a symbolic link is replaced where it points.
    std::string path = linkPath;
    struct stat lst;
    if (lstat(linkPath.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = realpath(linkPath.c_str(), nullptr)) {
            path = real;
            free(real);
        }
    }
    std::vector<uint8_t> bytes;
    std::string why;
    if (rf.Encode(bytes, &why) != noErr) {
        GLogPrintf(3, "Could not save the preferences: %s.", why.c_str());
        return false;
    }
    std::string dir = FolderOf(path);
    if (!MakeFolder(dir)) {
        GLogPrintf(3, "Could not create the preferences folder \xD2%s\xD3. [error = %d]", dir.c_str(), errno);
        return false;
    }
    std::string temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back(0);
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        GLogPrintf(3, "Could not save the preferences \xD2%s\xD3. [error = %d]", path.c_str(), errno);
        return false;
    }
    bool ok = fchmod(fd, 0600) == 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    ok = ok && (!sSyncWrites || fsync(fd) == 0);
    int err = errno;
    ok = (close(fd) == 0) && ok;
    if (ok && rename(name.data(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(name.data());
        GLogPrintf(3, "Could not save the preferences \xD2%s\xD3. [error = %d]", path.c_str(), err);
        return false;
    }
    if (int dfd = sSyncWrites ? open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1; dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}

void CPreferences::SetAside(std::string const& why) {
    mReadProblem = true;
    std::string aside = mPath + ".unreadable-" + TimeStamp();
    if (renameat2(AT_FDCWD, mPath.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
        GAlert(kAlertCaution,
               "The Fennelwright preferences could not be read (%s). They were kept as \xD2%s\xD3; the defaults are "
               "used.",
               why.c_str(), aside.c_str());
    } else {
        mWritable = false;
        GAlert(kAlertCaution,
               "The Fennelwright preferences \xD2%s\xD3 could not be read (%s). The defaults are used for this run "
               "and no changes are saved.",
               mPath.c_str(), why.c_str());
    }
}

bool CPreferences::OpenForChange(CResourceFile& rf) const {
    if (!mWritable) return false;
    std::string why;
    switch (ReadFile(rf, why)) {
        case EFileState::kRead:
        case EFileState::kMissing:
        case EFileState::kEmpty: return true;
        default:
            // Damaged since start-up (by someone else): leave it alone.
            GLogPrintf(3, "The preferences \xD2%s\xD3 cannot be read (%s) and are not changed.", mPath.c_str(),
                       why.c_str());
            return false;
    }
}

bool CPreferences::UpdateToCurrent(CResourceFile& rf, unsigned short version) {
    unsigned short from = version;
    try {
        while (version < sPrefsVersion) {
            switch (version) {
                case 0: version = UpdatePreferencesFromVersion_0(rf); break;
                case 1: version = UpdatePreferencesFromVersion_1(rf); break;
                case 2: version = UpdatePreferencesFromVersion_2(rf); break;
                case 3: version = UpdatePreferencesFromVersion_3(rf); break;
                default: throw SUpdateError("unknown version");
            }
        }
    } catch (std::exception const& e) {
        mWritable = false;
        mReadProblem = true;
        GAlert(kAlertCaution,
               "The Fennelwright preferences \xD2%s\xD3 could not be updated (%s). The defaults are used for this run "
               "and no changes are saved.",
               mPath.c_str(), e.what());
        return false;
    }
    // Keep the old file before the updated one replaces it.
    std::string backup = mPath + ".v" + std::to_string(from) + ".bak";
    int in = open(mPath.c_str(), O_RDONLY | O_CLOEXEC);
    bool saved = false;
    if (in >= 0) {
        std::vector<uint8_t> old;
        uint8_t buf[65536];
        ssize_t n;
        while ((n = read(in, buf, sizeof buf)) > 0) old.insert(old.end(), buf, buf + n);
        close(in);
        int out = n == 0 ? open(backup.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600) : -1;
        if (out >= 0) {
            size_t done = 0;
            saved = true;
            while (saved && done < old.size()) {
                ssize_t w = write(out, old.data() + done, old.size() - done);
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) saved = false;
                else done += static_cast<size_t>(w);
            }
            saved = saved && (!sSyncWrites || fsync(out) == 0);
            saved = (close(out) == 0) && saved;
            // A cut-off copy is no backup: leave none behind.
            if (!saved) unlink(backup.c_str());
        }
    }
    if (!saved || !WriteFile(rf, mPath)) {
        mWritable = false;
        GAlert(kAlertCaution,
               "The updated Fennelwright preferences could not be saved. They are used for this run; the file "
               "\xD2%s\xD3 is left as it was.",
               mPath.c_str());
        return true;
    }
    GLogPrintf(1, "The preferences were updated from format %d; the old file is kept as \xD2%s\xD3.", int(from),
               backup.c_str());
    return true;
}

void CPreferences::CopyInitialPreferences() {
    CResourceFile rf;
    std::string why;
    EFileState state = ReadFile(rf, why);
    if (state == EFileState::kDamaged || state == EFileState::kUnreadable) {
        SetAside(why);
        if (!mWritable) return;
        rf.Clear();
    } else if (state == EFileState::kRead && !IsNewFile(rf)) {
        return;
    }
    if (!mWritable) return;
    LoadPreferences(true);
    SavePreferences();
    mTypers.Clear();
    mProfiles.clear();
    mValues = SPreferenceValues();
}

bool CPreferences::LoadPreferences(bool fromApplication) {
    if (fromApplication) {
        ReadAll(DefaultResources());
        return true;
    }
    CResourceFile rf;
    std::string why;
    EFileState state = ReadFile(rf, why);
    if (state == EFileState::kDamaged || state == EFileState::kUnreadable) {
        // Not set aside here: only start-up decides that.
        GLogPrintf(2, "Could not read preferences version. [error = %d]", int(mapReadErr));
        ReadAll(DefaultResources());
        return false;
    }
    if (state != EFileState::kRead) {
        ReadAll(DefaultResources());
        return false;
    }
    unsigned short version = 0;
    if (rf.Get(kConf, kPrefVersion)) {
        auto v = Get16(rf, kConf, kPrefVersion);
        if (!v) {
            GLogPrintf(2, "Could not read preferences version. [error = %d]", int(mapReadErr));
            mReadProblem = true;
            ReadAll(DefaultResources());
            return false;
        }
        version = *v;
    }
    if (version > sPrefsVersion) {
        mWritable = false;
        mReadProblem = true;
        GAlert(kAlertCaution,
               "The Fennelwright preferences \xD2%s\xD3 were written by a newer version of Fennelwright (format %d). "
               "They are left as they are; the defaults are used for this run and no changes are saved.",
               mPath.c_str(), int(version));
        ReadAll(DefaultResources());
        return false;
    }
    if (version < sPrefsVersion && mWritable) {
        if (!UpdateToCurrent(rf, version)) {
            ReadAll(DefaultResources());
            return false;
        }
    } else if (version < sPrefsVersion) {
        ReadAll(DefaultResources());
        return false;
    }
    ReadAll(rf);
    return true;
}

void CPreferences::ReadAll(CResourceFile const& rf) {
    SPreferenceValues d;
    SPreferenceValues& v = mValues;
    v.tabWidth = Value16(rf, kPrefTabWidth, d.tabWidth);
    v.commentCopyMode = Value16(rf, kPrefCommentCopyMode, d.commentCopyMode);
    if (v.commentCopyMode < 0 || v.commentCopyMode > 2) v.commentCopyMode = d.commentCopyMode;
    v.diffScrollMode = Value16(rf, kPrefDiffScrollMode, d.diffScrollMode);
    v.diffLogMode = Value16(rf, kPrefDiffLogMode, d.diffLogMode);
    v.iconSize = Value16(rf, kPrefIconSize, d.iconSize);
    v.splashTime = Value16(rf, kPrefSplashScreen, d.splashTime);
    v.searchOptions = Value16(rf, kPrefSearchOptions, d.searchOptions);
    v.useLongFilenames = Value16(rf, kPrefUseLongFilenames, d.useLongFilenames);
    v.caseSensitiveFileList = Value16(rf, kPrefCaseSensitiveLists, d.caseSensitiveFileList);
    v.confirmTrash = Value16(rf, kPrefConfirmTrash, d.confirmTrash);
    auto enc = Get32(rf, kConf, kPrefCommentEncoding);
    v.commentTextEncoding = enc ? static_cast<long>(static_cast<int32_t>(*enc)) : d.commentTextEncoding;
    CFileTyperTestEntry::sCaseSensitive = v.caseSensitiveFileList != 0;

    mTypers.Clear();
    mUnreadableTypers[0].clear();
    mUnreadableTypers[1].clear();
    LoadTranslators(rf, mTypers.mTranslators, kPrefTranslators, &mUnreadableTypers[0]);
    LoadTranslators(rf, mTypers.mIgnoreFilters, kPrefIgnoreFilters, &mUnreadableTypers[1]);

    v.cvsOptions = 0;
    for (unsigned n = 0; n < 2; ++n) {
        auto o = Get16(rf, kConf, static_cast<int16_t>(kPrefCVSOption + n));
        if (o && (*o & 0xFF)) v.cvsOptions |= 1u << n;
    }

    mProfiles.clear();
    mUnreadableProfiles.clear();
    for (int id = 0; id <= INT16_MAX; ++id) {
        auto* r = rf.Get(kCfgL, static_cast<int16_t>(id));
        if (!r) break;
        auto* p = new CLoginProfile;
        if (p->Import(r->data.data(), r->data.size())) {
            mProfiles.insert(p);
        } else {
            delete p;
            mUnreadableProfiles.push_back(r->data);
            GLogPrintf(3, "Login profile %d of the preferences cannot be read; it is kept as it is but not used.",
                       id);
        }
    }
    if (mProfiles.Count() == 0) mProfiles.insert(new CLoginProfile);
}

void CPreferences::WriteAll(CResourceFile& rf) {
    SPreferenceValues const& v = mValues;
    PutRes(rf, BE16(sPrefsVersion), kPrefVersion, "Version");
    PutRes(rf, BE16(v.tabWidth), kPrefTabWidth, "TabWidth");
    PutRes(rf, BE16(v.commentCopyMode), kPrefCommentCopyMode, "Comment Copy Mode");
    PutRes(rf, BE16(v.diffScrollMode), kPrefDiffScrollMode, "Diff Scroll Mode");
    PutRes(rf, BE16(v.diffLogMode), kPrefDiffLogMode, "Diff/Log Mode");
    PutRes(rf, BE16(v.iconSize), kPrefIconSize, "Icon Size");
    PutRes(rf, BE16(v.splashTime), kPrefSplashScreen, "Splash Screen");
    PutRes(rf, BE16(v.searchOptions), kPrefSearchOptions, "Search Options");
    PutRes(rf, BE16(v.useLongFilenames), kPrefUseLongFilenames, "Use Long Filenames");
    PutRes(rf, BE16(v.caseSensitiveFileList), kPrefCaseSensitiveLists, "Sort/Search File Lists Case Sensitive");
    PutRes(rf, BE16(v.confirmTrash), kPrefConfirmTrash, "Confirm Trash");
    SaveTranslators(rf, mTypers.mTranslators, kPrefTranslators, "Translators", &mUnreadableTypers[0]);
    SaveTranslators(rf, mTypers.mIgnoreFilters, kPrefIgnoreFilters, "Ignore Filters", &mUnreadableTypers[1]);
    PutRes(rf, BE32(v.commentTextEncoding), kPrefCommentEncoding, "Comment Text Encoding");
    for (unsigned n = 0; n < 2; ++n)
        PutRes(rf, BE16((v.cvsOptions >> n) & 1), static_cast<int16_t>(kPrefCVSOption + n), "CVS Command Option");

    RemoveResources(rf, kCfgL, 0);
    int16_t id = 0;
    for (CLoginProfile* p : mProfiles) rf.Put(kCfgL, id++, "Login Profile", p->Export());
    for (auto const& raw : mUnreadableProfiles) rf.Put(kCfgL, id++, "Login Profile", raw);
}

bool CPreferences::SavePreferences() {
    CResourceFile rf;
    if (!OpenForChange(rf)) return false;
    WriteAll(rf);
    if (!WriteFile(rf, mPath)) return false;
    // The file holds no mode-3 passwords; the keychain gets them once the
    // rest is safe.
    for (CLoginProfile* p : mProfiles)
        if (p->PasswordMode() == kPasswordKeychain && !p->StoredPassword().Empty()) p->StorePasswordInKeychain();
    return true;
}

bool CPreferences::Startup() {
    mWritable = true;
    mReadProblem = false;
    CopyInitialPreferences();
    bool read = LoadPreferences(false);
    return read && !mReadProblem;
}

void CPreferences::SetCVSOption(unsigned short n, bool on) {
    if (n >= 32) return;
    if (on)
        mValues.cvsOptions |= 1ul << n;
    else
        mValues.cvsOptions &= ~(1ul << n);
}

void CPreferences::SearchDirection(bool forwards) {
    if (forwards)
        mValues.searchOptions = static_cast<short>(mValues.searchOptions & ~1);
    else
        mValues.searchOptions = static_cast<short>(mValues.searchOptions | 1);
}

void CPreferences::CaseSensitiveFileList(bool on) {
    mValues.caseSensitiveFileList = on ? 1 : 0;
    CFileTyperTestEntry::sCaseSensitive = on;
}

std::optional<std::string> CPreferences::LoadComment() const {
    auto r = GetResource(kCmnt, 0);
    if (!r) return std::nullopt;
    return std::string(r->begin(), r->end());
}

bool CPreferences::SaveComment(std::optional<std::string> const& comment) {
    CResourceFile rf;
    if (!OpenForChange(rf)) return false;
    if (rf.Get(kCmnt, 0)) rf.Remove(kCmnt, 0);
    if (comment) rf.Add(kCmnt, 0, "Comment", std::vector<uint8_t>(comment->begin(), comment->end()));
    return WriteFile(rf, mPath);
}

long CPreferences::GetSetting(int16_t id, long defaultValue) const {
    CResourceFile rf;
    std::string why;
    if (ReadFile(rf, why) != EFileState::kRead) return defaultValue;
    auto v = Get32(rf, kGSet, id);
    return v ? static_cast<long>(static_cast<int32_t>(*v)) : defaultValue;
}

unsigned short CPreferences::LastProfileIndex() const {
    long index = GetSetting(kSettingLastProfile, 0);
    return index >= 0 && index < mProfiles.Count() ? static_cast<unsigned short>(index) : 0;
}

bool CPreferences::PutSetting(int16_t id, long value) { return PutResource(kGSet, id, "Setting", BE32(value)); }

std::optional<std::vector<uint8_t>> CPreferences::GetResource(OSType type, int16_t id) const {
    CResourceFile rf;
    std::string why;
    if (ReadFile(rf, why) != EFileState::kRead) return std::nullopt;
    auto* r = rf.Get(type, id);
    if (!r) return std::nullopt;
    return r->data;
}

bool CPreferences::PutResource(OSType type, int16_t id, char const* name, std::vector<uint8_t> const& data) {
    CResourceFile rf;
    if (!OpenForChange(rf)) return false;
    rf.Put(type, id, name, data);
    return WriteFile(rf, mPath);
}
