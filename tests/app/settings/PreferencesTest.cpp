#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings/Preferences.h"
#include "foundation/Log.h"

namespace fs = std::filesystem;

namespace {

constexpr OSType kConf = FourCC("Conf");
constexpr OSType kCfgL = FourCC("CfgL");
constexpr OSType kCfgT = FourCC("CfgT");

std::string Str(CString const& s) { return s.IsNull() ? std::string("<null>") : std::string(s.c_str()); }

std::vector<uint8_t> ReadBytes(std::string const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(std::string const& path, std::vector<uint8_t> const& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<char const*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteResources(std::string const& path, CResourceFile const& rf) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(rf.Encode(bytes), noErr);
    WriteBytes(path, bytes);
}

CResourceFile ReadResources(std::string const& path) {
    CResourceFile rf;
    auto bytes = ReadBytes(path);
    EXPECT_EQ(rf.Decode(bytes.data(), bytes.size()), noErr);
    return rf;
}

std::vector<uint8_t> BE16(int v) { return {uint8_t(v >> 8), uint8_t(v)}; }

std::vector<uint8_t> CStr(char const* s) {
    std::vector<uint8_t> v(s, s + std::strlen(s));
    v.push_back(0);
    return v;
}

// Every test gets its own folder; nothing else is written.
class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fw-prefs-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        mDir = tmpl;
        mPath = mDir + "/config/fennelwright/Fennelwright";
    }
    void TearDown() override { fs::remove_all(mDir); }

    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        for (auto const& e : fs::directory_iterator(fs::path(mPath).parent_path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string mDir;
    std::string mPath;
    CScriptedAlertSink mAlerts;
    StAlertSink mQuiet{&mAlerts};
};

TEST_F(PreferencesTest, DefaultPathFollowsXdg) {
    char const* old = getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
    EXPECT_EQ(CPreferences::DefaultPath(), "/x/cfg/fennelwright/Fennelwright");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_NE(CPreferences::DefaultPath().rfind("/.config/fennelwright/Fennelwright"), std::string::npos);
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}

TEST_F(PreferencesTest, FirstStartWritesThePrivateDefaults) {
    CPreferences prefs(mPath);
    EXPECT_TRUE(prefs.Startup());
    EXPECT_TRUE(mAlerts.Shown().empty());

    struct stat st;
    ASSERT_EQ(stat(mPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(fs::path(mPath).parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"Fennelwright"});  // no temporary left

    EXPECT_EQ(prefs.mValues.tabWidth, 4);
    EXPECT_EQ(prefs.mValues.commentCopyMode, 1);
    EXPECT_EQ(prefs.mValues.iconSize, 16);
    EXPECT_EQ(prefs.mValues.splashTime, 300);
    EXPECT_EQ(prefs.mValues.commentTextEncoding, -1);
    EXPECT_TRUE(prefs.SearchDirection());
    EXPECT_EQ(prefs.mProfiles.Count(), 1);

    CFileTyperSet shipped;
    shipped.AddFromText(DefaultTyperText());
    EXPECT_EQ(Str(FileTypersToString(prefs.mTypers.mTranslators)), Str(FileTypersToString(shipped.mTranslators)));
    EXPECT_EQ(Str(FileTypersToString(prefs.mTypers.mIgnoreFilters)),
              Str(FileTypersToString(shipped.mIgnoreFilters)));

    CResourceFile rf = ReadResources(mPath);
    ASSERT_NE(rf.Get(kConf, -1), nullptr);
    EXPECT_EQ(rf.Get(kConf, -1)->data, BE16(4));
    ASSERT_NE(rf.Get(kConf, 7), nullptr);
    EXPECT_EQ(rf.Get(kConf, 7)->name, "TabWidth");
    EXPECT_NE(rf.Get(kCfgL, 0), nullptr);
    EXPECT_EQ(rf.Get(kCfgT, 1), nullptr);  // no older-format runs in a new file
}

TEST_F(PreferencesTest, EverythingSurvivesASaveAndAReload) {
    {
        CPreferences prefs(mPath);
        ASSERT_TRUE(prefs.Startup());
        prefs.mValues.tabWidth = 8;
        prefs.mValues.commentCopyMode = 0;
        prefs.mValues.iconSize = 12;
        prefs.mValues.commentTextEncoding = 0x0500;
        prefs.SearchDirection(false);
        prefs.SetCVSOption(1, true);
        prefs.mTypers.Clear();
        prefs.mTypers.AddFromText(CString("2,Im + Ex,,-kb,DF,*********,v\n2,Filter,D,********a, b\n"));
        prefs.mProfiles.clear();
        auto* p = new CLoginProfile;
        p->SetDescription(CString("anon@cvs.example.org"));
        p->SetHost(CString("cvs.example.org"));
        p->SetRoot(CString("/cvsroot"));
        p->SetUser(CString("anon"));
        p->SetPassword(CString("secret"));
        prefs.mProfiles.insert(p);
        ASSERT_TRUE(prefs.SavePreferences());
        ASSERT_TRUE(prefs.PutSetting(kSettingLastProfile, 3));
        ASSERT_TRUE(prefs.SaveComment(std::string("Fixed the \x8E" "clair.\rSecond line")));
    }
    CPreferences again(mPath);
    ASSERT_TRUE(again.Startup());
    EXPECT_EQ(again.mValues.tabWidth, 8);
    EXPECT_EQ(again.mValues.commentCopyMode, 0);
    EXPECT_EQ(again.mValues.iconSize, 12);
    EXPECT_EQ(again.mValues.commentTextEncoding, 0x0500);
    EXPECT_FALSE(again.SearchDirection());
    EXPECT_FALSE(again.CVSOption(0));
    EXPECT_TRUE(again.CVSOption(1));
    ASSERT_EQ(again.mTypers.mTranslators.Count(), 1);
    EXPECT_EQ(Str(again.mTypers.mTranslators[0]->mPattern), "*,v");
    ASSERT_EQ(again.mTypers.mIgnoreFilters.Count(), 1);
    EXPECT_EQ(Str(again.mTypers.mIgnoreFilters[0]->mPattern), "a, b");
    ASSERT_EQ(again.mProfiles.Count(), 1);
    EXPECT_EQ(Str(again.mProfiles[0]->Password()), "secret");
    EXPECT_EQ(again.GetSetting(kSettingLastProfile, 0), 3);
    EXPECT_EQ(again.GetSetting(kSettingInspectorTab, 1), 1);
    EXPECT_EQ(again.LoadComment().value_or("<none>"), "Fixed the \x8E" "clair.\rSecond line");
    EXPECT_TRUE(again.SaveComment(std::nullopt));
    EXPECT_FALSE(again.LoadComment().has_value());
}

TEST_F(PreferencesTest, StoredValuesAreReadCarefully) {
    CPreferences first(mPath);
    ASSERT_TRUE(first.Startup());
    CResourceFile rf = ReadResources(mPath);
    rf.Put(kConf, 1000, "CVS Command Option", BE16(0x0100));  // only the low byte counts
    rf.Put(kConf, 1001, "CVS Command Option", BE16(0x0001));
    rf.Put(kConf, 15, "Search Options", BE16(1));
    rf.Put(kConf, 7, "TabWidth", {0, 0, 9});                  // wrong size: the default
    rf.Put(FourCC("GSet"), 2, "Setting", {1, 2});             // wrong size: the default
    rf.Put(kCfgL, 1, "Login Profile", {0, 9, 1, 2, 3});       // unreadable profile record
    std::string filters = "2,Filter,I,********a\n2,Filter,Q,********b\n";
    rf.Put(kConf, 21, "Ignore Filters", std::vector<uint8_t>(filters.begin(), filters.end()));
    WriteResources(mPath, rf);

    CPreferences prefs(mPath);
    ASSERT_TRUE(prefs.Startup());
    EXPECT_FALSE(prefs.CVSOption(0));
    EXPECT_TRUE(prefs.CVSOption(1));
    EXPECT_FALSE(prefs.SearchDirection());
    EXPECT_EQ(prefs.mValues.tabWidth, 4);
    EXPECT_EQ(prefs.GetSetting(kSettingLastProfile, 7), 7);
    EXPECT_EQ(prefs.mProfiles.Count(), 1);
    ASSERT_EQ(prefs.mTypers.mIgnoreFilters.Count(), 1);
    // What could not be read is written back, not lost.
    prefs.mTypers.mIgnoreFilters.append(new CFileTyper(CString("c"), 0, 0, kFTDisplayFilter));
    ASSERT_TRUE(prefs.SavePreferences());
    CResourceFile after = ReadResources(mPath);
    ASSERT_NE(after.Get(kCfgL, 1), nullptr);
    EXPECT_EQ(after.Get(kCfgL, 1)->data, (std::vector<uint8_t>{0, 9, 1, 2, 3}));
    auto const& f = after.Get(kConf, 21)->data;
    EXPECT_EQ(std::string(f.begin(), f.end()),
              "2,Filter,I,********a\n2,Filter,D,********c\n2,Filter,Q,********b\n");

    // A remembered profile index past the list names the first profile.
    ASSERT_TRUE(prefs.PutSetting(kSettingLastProfile, 5));
    EXPECT_EQ(prefs.LastProfileIndex(), 0);
}

TEST_F(PreferencesTest, DamagedFilesAreSetAsideNeverOverwritten) {
    CPreferences good(mPath);
    ASSERT_TRUE(good.Startup());
    std::vector<uint8_t> valid = ReadBytes(mPath);
    std::vector<uint8_t> truncated(valid.begin(), valid.begin() + static_cast<long>(valid.size() / 2));
    std::vector<uint8_t> garbage = {'h', 'e', 'l', 'l', 'o', '\n'};
    std::vector<uint8_t> badMap = valid;
    badMap[7] ^= 0x40;  // map offset points past the end
    for (auto const& bytes : {truncated, garbage, badMap}) {
        fs::remove_all(fs::path(mPath).parent_path());
        WriteBytes(mPath, bytes);
        mAlerts.Forget();

        CPreferences prefs(mPath);
        EXPECT_FALSE(prefs.Startup());
        ASSERT_EQ(mAlerts.Shown().size(), 1u);
        EXPECT_NE(mAlerts.Shown()[0].second.find("could not be read"), std::string::npos);
        EXPECT_EQ(prefs.mValues.tabWidth, 4);
        EXPECT_GT(prefs.mTypers.mTranslators.Count(), 0);
        // The damaged file is kept byte for byte beside a fresh one.
        auto names = FilesInFolder();
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(names[0], "Fennelwright");
        EXPECT_EQ(names[1].rfind("Fennelwright.unreadable-", 0), 0u);
        EXPECT_EQ(ReadBytes(fs::path(mPath).parent_path() / names[1]), bytes);
        CPreferences fresh(mPath);
        EXPECT_TRUE(fresh.Startup());
    }
}

TEST_F(PreferencesTest, NewerFilesAreLeftAlone) {
    CPreferences first(mPath);
    ASSERT_TRUE(first.Startup());
    CResourceFile rf = ReadResources(mPath);
    rf.Put(kConf, -1, "Version", BE16(5));
    rf.Put(kConf, 7, "TabWidth", BE16(2));
    rf.Put(FourCC("NeWr"), 0, "Something new", {1, 2, 3});
    WriteResources(mPath, rf);
    std::vector<uint8_t> before = ReadBytes(mPath);

    CPreferences prefs(mPath);
    EXPECT_FALSE(prefs.Startup());
    ASSERT_EQ(mAlerts.Shown().size(), 1u);
    EXPECT_NE(mAlerts.Shown()[0].second.find("newer version"), std::string::npos);
    EXPECT_EQ(prefs.mValues.tabWidth, 4);  // the defaults for this run
    EXPECT_FALSE(prefs.Writable());
    EXPECT_FALSE(prefs.SavePreferences());
    EXPECT_FALSE(prefs.PutSetting(1, 2));
    EXPECT_FALSE(prefs.SaveComment(std::string("x")));
    EXPECT_FALSE(prefs.PutResource(FourCC("WGeo"), 1, "Window Geometry", std::vector<uint8_t>(8, 1)));
    EXPECT_EQ(ReadBytes(mPath), before);
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"Fennelwright"});
}

TEST_F(PreferencesTest, AFailedSaveLeavesThePreviousFileWhole) {
    CPreferences prefs(mPath);
    ASSERT_TRUE(prefs.Startup());
    std::vector<uint8_t> before = ReadBytes(mPath);

    // Make the new file larger than the file size limit lets us write.
    for (int i = 0; i < 200; ++i)
        prefs.mTypers.mIgnoreFilters.append(
            new CFileTyper(CString(("pattern-number-" + std::to_string(i)).c_str()), 0, 0, kFTImportFilter));
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit lim = old;
    lim.rlim_cur = before.size() + 64;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    bool saved = prefs.SavePreferences();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(mPath), before);
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"Fennelwright"});
    EXPECT_TRUE(prefs.SavePreferences());  // and works again once there is room
    EXPECT_NE(ReadBytes(mPath), before);
}

TEST_F(PreferencesTest, AFormat0FileIsUpdatedNotReplaced) {
    // Only a user, a server and a root, and one old translator.
    CResourceFile rf;
    rf.Add(kConf, 3, "User", CStr("joe"));
    rf.Add(kConf, 4, "Server", CStr("cvs.example.org"));
    rf.Add(kConf, 8, "Root", CStr("/home/cvs"));
    std::vector<uint8_t> old = {'T', 'E', 'X', 'T', 'M', 'P', 'S', ' '};
    for (char c : std::string("*.p")) old.push_back(uint8_t(c));
    old.push_back(0);
    rf.Add(kConf, 100, "Translator", old);
    WriteResources(mPath, rf);
    std::vector<uint8_t> original = ReadBytes(mPath);

    CPreferences prefs(mPath);
    EXPECT_TRUE(prefs.Startup());
    ASSERT_EQ(prefs.mProfiles.Count(), 1);
    CLoginProfile const& p = *prefs.mProfiles[0];
    EXPECT_EQ(Str(p.Description()), "joe@cvs.example.org, /home/cvs");
    EXPECT_EQ(Str(p.Host()), "cvs.example.org");
    EXPECT_EQ(Str(p.User()), "joe");
    EXPECT_EQ(Str(p.Root()), "/home/cvs");
    EXPECT_EQ(p.LoginMethod(), kLoginPserver);
    EXPECT_EQ(p.Port(true), 2401);
    EXPECT_TRUE(p.UseDefaultPort());
    EXPECT_EQ(p.TimeOut(), 20);
    EXPECT_EQ(p.BufferSize(), 4096);
    EXPECT_EQ(prefs.mValues.splashTime, 300);
    EXPECT_EQ(prefs.mValues.tabWidth, 4);

    // The user's translator ends the list; the defaults come first.
    ASSERT_GT(prefs.mTypers.mTranslators.Count(), 1);
    CFileTyper const& last = *prefs.mTypers.mTranslators[prefs.mTypers.mTranslators.Count() - 1];
    EXPECT_EQ(Str(last.mPattern), "*.p");
    EXPECT_EQ(last.mKind, kFTExportTranslator);
    EXPECT_EQ(last.mType, FourCC("TEXT"));
    EXPECT_EQ(last.mCreator, FourCC("MPS "));
    EXPECT_GT(prefs.mTypers.mIgnoreFilters.Count(), 0);

    CResourceFile now = ReadResources(mPath);
    EXPECT_EQ(now.Get(kConf, -1)->data, BE16(4));
    EXPECT_EQ(now.Get(kConf, 3), nullptr);
    EXPECT_EQ(now.Get(kConf, 100), nullptr);
    EXPECT_EQ(now.CountResources(kCfgT), 0u);
    EXPECT_EQ(ReadBytes(mPath + ".v0.bak"), original);
}

TEST_F(PreferencesTest, AnUpdateWhoseBackupCannotBeWrittenChangesNothing) {
    CResourceFile rf;
    rf.Add(kConf, 3, "User", CStr("joe"));
    rf.Add(kConf, 4, "Server", CStr("cvs.example.org"));
    rf.Add(kConf, 8, "Root", CStr("/home/cvs"));
    WriteResources(mPath, rf);
    std::vector<uint8_t> original = ReadBytes(mPath);
    ASSERT_GT(original.size(), 64u);

    // The disk takes only the first bytes of any file written.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 64;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    {
        CPreferences prefs(mPath);
        prefs.Startup();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(ReadBytes(mPath), original);
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"Fennelwright"});
}

TEST_F(PreferencesTest, Format3TranslatorsMeltIntoTheDefaults) {
    auto bin = [](CFileTyper const& t) { return t.ExportToBinary(); };
    CResourceFile rf;
    rf.Add(kConf, -1, "Version", BE16(3));
    rf.Add(kConf, 7, "TabWidth", BE16(3));
    // User translators 0-1, gap, default translators 3-4, gap, filters 6.
    rf.Add(kCfgT, 0, "File Translation",
           bin(CFileTyper(CString("*.c"), 0, FourCC("TEXT"), kSFDataFork, kKWKeyValue, 1, kFTImportTranslator)));
    rf.Add(kCfgT, 1, "File Translation",
           bin(CFileTyper(CString("*.z"), 0, 0, kSFDataFork, kKWBinary, 1, kFTImportTranslator)));
    rf.Add(kCfgT, 3, "File Translation",
           bin(CFileTyper(CString("*.h"), 0, 0, kSFDataFork, 0, kLSUnix, kFTExportTranslator)));
    rf.Add(kCfgT, 4, "File Translation",
           bin(CFileTyper(CString("*.c"), 0, FourCC("TEXT"), kSFDataFork, 0, kLSMacOS, kFTExportTranslator)));
    rf.Add(kCfgT, 6, "File Translation", bin(CFileTyper(CString("*.o"), 0, 0, kFTImportFilter)));
    WriteResources(mPath, rf);

    CPreferences prefs(mPath);
    ASSERT_TRUE(prefs.Startup());
    EXPECT_EQ(prefs.mValues.tabWidth, 3);
    EXPECT_EQ(Str(FileTypersToString(prefs.mTypers.mTranslators)),
              "2,Export,Unix,,,*********.h\n"
              "2,Im + Ex,Mac OS,-kkv,DF,****TEXT*.c\n"
              "2,Import,,-kb,DF,*********.z\n");
    EXPECT_EQ(Str(FileTypersToString(prefs.mTypers.mIgnoreFilters)), "2,Filter,I,*********.o\n");
    EXPECT_EQ(ReadResources(mPath).CountResources(kCfgT), 0u);
}

TEST_F(PreferencesTest, Format2ProfilesAreConverted) {
    // An older profile record: fields at 2-12, flags byte at 16 (password
    // saved), seven strings from 18.
    std::vector<uint8_t> v0 = {0, 0, 0x10, 0, 0, 30, 0x09, 0x61, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0};
    for (char const* s : {"old", "host", "/root", "me", "pw", "", ""}) {
        auto c = CStr(s);
        v0.insert(v0.end(), c.begin(), c.end());
    }
    CResourceFile rf;
    rf.Add(kConf, -1, "Version", BE16(2));
    rf.Add(kConf, 7, "TabWidth", BE16(4));
    rf.Add(kCfgL, 0, "Login Profile", v0);
    rf.Add(kCfgL, 1, "Login Profile", {0, 0, 1});  // cannot be converted
    WriteResources(mPath, rf);

    CPreferences prefs(mPath);
    ASSERT_TRUE(prefs.Startup());
    ASSERT_EQ(prefs.mProfiles.Count(), 1);
    EXPECT_EQ(Str(prefs.mProfiles[0]->Description()), "old");
    EXPECT_EQ(Str(prefs.mProfiles[0]->Password()), "pw");
    EXPECT_EQ(prefs.mProfiles[0]->TimeOut(), 30);
    EXPECT_EQ(prefs.mValues.splashTime, 300);  // not set by a format 2 file: the default
    // The record that could not be converted is still there.
    EXPECT_NE(ReadResources(mPath).Get(kCfgL, 1), nullptr);
}

TEST_F(PreferencesTest, ALinkedFileIsReadAndReplacedWhereItPoints) {
    std::string target = mDir + "/dotfiles/Fennelwright";
    {
        CPreferences elsewhere(target);
        ASSERT_TRUE(elsewhere.Startup());
        elsewhere.mValues.tabWidth = 6;
        ASSERT_TRUE(elsewhere.SavePreferences());
    }
    fs::create_directories(fs::path(mPath).parent_path());
    fs::create_symlink(target, mPath);
    CPreferences prefs(mPath);
    ASSERT_TRUE(prefs.Startup());
    EXPECT_EQ(prefs.mValues.tabWidth, 6);
    prefs.mValues.tabWidth = 7;
    ASSERT_TRUE(prefs.SavePreferences());
    EXPECT_TRUE(fs::is_symlink(mPath));
    CPreferences viaTarget(target);
    ASSERT_TRUE(viaTarget.Startup());
    EXPECT_EQ(viaTarget.mValues.tabWidth, 7);
}

TEST_F(PreferencesTest, WindowResourcesAndSettingsKeepOtherResources) {
    CPreferences prefs(mPath);
    ASSERT_TRUE(prefs.Startup());
    std::vector<uint8_t> rect = {0, 10, 0, 20, 1, 0, 2, 0};
    ASSERT_TRUE(prefs.PutResource(FourCC("WGeo"), 5, "Window Geometry", rect));
    ASSERT_TRUE(prefs.PutSetting(kSettingInspectorTab, -2));
    ASSERT_TRUE(prefs.SavePreferences());
    EXPECT_EQ(prefs.GetResource(FourCC("WGeo"), 5).value_or(std::vector<uint8_t>{}), rect);
    EXPECT_FALSE(prefs.GetResource(FourCC("WGeo"), 6).has_value());
    EXPECT_EQ(prefs.GetSetting(kSettingInspectorTab, 1), -2);
}

}  // namespace
