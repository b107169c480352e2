#include "platform/AppleDouble.h"
#include "platform/MacClock.h"
#include "platform/MacFiles.h"
#include "platform/ResourceFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Slurp(std::string const& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Spit(std::string const& path, std::string const& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool Exists(std::string const& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<uint8_t> Bytes(std::string const& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

time_t MTime(std::string const& path) {
    struct stat st;
    ::lstat(path.c_str(), &st);
    return st.st_mtim.tv_sec;
}

void SetMTime(std::string const& path, time_t t) {
    struct timespec ts[2] = {{t, 0}, {t, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW);
}

class MacFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fw-macfiles-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        mRoot = tmpl;
        ASSERT_EQ(GetDirIDFromPath(mRoot, &mVol, &mDir), noErr);
    }
    void TearDown() override {
        std::string cmd = "chmod -R u+rwx '" + mRoot + "' 2>/dev/null; rm -rf '" + mRoot + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }

    FSSpec Spec(std::string const& macName, int32_t dir = 0) {
        FSSpec s;
        OSErr err = FSMakeFSSpec(mVol, dir ? dir : mDir, macName, &s);
        EXPECT_TRUE(err == noErr || err == fnfErr) << macName << " " << err;
        return s;
    }
    FSSpec NewFile(std::string const& name, std::string const& data = "", OSType type = 0, OSType creator = 0) {
        FSSpec s = Spec(name);
        EXPECT_EQ(FSpCreate(s, creator, type, 0), noErr);
        if (!data.empty()) Spit(P(name), data);
        return s;
    }
    std::string P(std::string const& diskName) const { return mRoot + "/" + diskName; }
    std::string Side(std::string const& diskName) const { return mRoot + "/._" + diskName; }

    std::string mRoot;
    int16_t mVol = 0;
    int32_t mDir = 0;
};

// ---- Names ----------------------------------------------------------------

TEST(MacNames, EveryMacRomanByteRoundTripsThroughTheDiskName) {
    for (int b = 1; b < 256; ++b) {
        if (b == '/') continue;
        std::string mac = std::string("n") + char(b) + "x";
        std::string disk, back;
        ASSERT_EQ(MacNameToDisk(mac, disk), noErr) << b;
        ASSERT_EQ(DiskNameToMac(disk, back), noErr) << b;
        EXPECT_EQ(back, mac) << b;
    }
}

TEST(MacNames, DiskNamesWithoutAnExactMacRomanFormAreReported) {
    struct {
        char const* disk;
        OSErr err;
        char const* mac;
    } cases[] = {
        {"Caf\xC3\xA9", noErr, "Caf\x8E"},              // NFC e acute
        {"Cafe\xCC\x81", kNameNotMacRoman, ""},         // the same name decomposed (NFD)
        {"\xE6\x97\xA5\xE6\x9C\xAC", kNameNotMacRoman, ""},  // no Mac Roman equivalent
        {"bad\xFF", kNameNotMacRoman, ""},              // not UTF-8
        {"\xE2\x84\xA6", kNameNotMacRoman, ""},         // ohm sign: Mac Roman's Omega is U+03A9
        {"plain.c", noErr, "plain.c"},
    };
    for (auto const& c : cases) {
        std::string mac;
        EXPECT_EQ(DiskNameToMac(c.disk, mac), c.err) << c.disk;
        EXPECT_EQ(mac, c.mac) << c.disk;
    }
}

TEST(MacNames, BadMacNamesAreRefused) {
    std::string longAscii(256, 'a');
    std::string longOnDisk(200, '\x8E');  // 200 bytes, 400 on disk
    for (std::string const& bad : {std::string(""), std::string("."), std::string(".."), std::string("a/b"),
                                   std::string("a\0b", 3), longAscii, longOnDisk}) {
        std::string disk;
        EXPECT_EQ(MacNameToDisk(bad, disk), bdNamErr) << bad;
    }
    std::string disk;
    EXPECT_EQ(MacNameToDisk(std::string(255, 'a'), disk), noErr);
    EXPECT_EQ(MacNameToDisk("a:b", disk), noErr);
    EXPECT_EQ(disk, "a:b");
}

// ---- Locations and the directory-ID table ---------------------------------

TEST_F(MacFiles, LocationsResolveToPathsAndBack) {
    ASSERT_EQ(::mkdir(P("sub").c_str(), 0755), 0);
    FSSpec sub;
    ASSERT_EQ(FSMakeFSSpec(mVol, mDir, "sub", &sub), noErr);
    int32_t subID = 0;
    ASSERT_EQ(FSpGetDirID(sub, nullptr, &subID), noErr);
    FSSpec missing;
    EXPECT_EQ(FSMakeFSSpec(mVol, subID, "Caf\x8E.c", &missing), fnfErr);
    std::string path;
    ASSERT_EQ(FSpGetPath(missing, path), noErr);
    EXPECT_EQ(path, P("sub/Caf\xC3\xA9.c"));

    FSSpec fromPath;
    Spit(P("sub/Caf\xC3\xA9.c"), "x");
    ASSERT_EQ(FSMakeFSSpecFromPath(P("sub/Caf\xC3\xA9.c"), &fromPath), noErr);
    EXPECT_EQ(fromPath.parID, subID);
    EXPECT_EQ(FSpName(fromPath), "Caf\x8E.c");

    // The folder's own location; an empty name denotes the folder itself.
    FSSpec self;
    ASSERT_EQ(FSMakeFSSpec(mVol, subID, "", &self), noErr);
    EXPECT_EQ(self.parID, mDir);
    EXPECT_EQ(FSpName(self), "sub");
    FSSpec root;
    int32_t rootID = 0;
    ASSERT_EQ(GetDirIDFromPath("/", nullptr, &rootID), noErr);
    EXPECT_EQ(rootID, fsRtDirID);
    ASSERT_EQ(GetDirLocation(rootID, &root), noErr);
    EXPECT_EQ(root.parID, fsRtParID);
}

TEST_F(MacFiles, AFolderThatMovedOrWasReplacedGivesDirNotFound) {
    ASSERT_EQ(::mkdir(P("a").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(P("b").c_str(), 0755), 0);
    int32_t a = 0, b = 0;
    ASSERT_EQ(GetDirIDFromPath(P("a"), nullptr, &a), noErr);
    ASSERT_EQ(GetDirIDFromPath(P("b"), nullptr, &b), noErr);
    ASSERT_EQ(::rename(P("a").c_str(), P("a2").c_str()), 0);  // behind our back
    ASSERT_EQ(::rmdir(P("b").c_str()), 0);
    ASSERT_EQ(::mkdir(P("b").c_str(), 0755), 0);  // another folder at the same path
    FSSpec s;
    EXPECT_EQ(FSMakeFSSpec(mVol, a, "x", &s), dirNFErr);
    EXPECT_EQ(FSMakeFSSpec(mVol, b, "x", &s), dirNFErr);
    CDirReader r;
    EXPECT_EQ(r.Open(a), dirNFErr);

    // A folder we rename ourselves keeps its ID, and so do the folders in it.
    ASSERT_EQ(::mkdir(P("c").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(P("c/d").c_str(), 0755), 0);
    int32_t c = 0, d = 0;
    ASSERT_EQ(GetDirIDFromPath(P("c"), nullptr, &c), noErr);
    ASSERT_EQ(GetDirIDFromPath(P("c/d"), nullptr, &d), noErr);
    ASSERT_EQ(FSpRename(Spec("c"), "c2"), noErr);
    std::string path;
    ASSERT_EQ(GetDirPath(c, path), noErr);
    EXPECT_EQ(path, P("c2"));
    ASSERT_EQ(GetDirPath(d, path), noErr);
    EXPECT_EQ(path, P("c2/d"));
}

// ---- Sidecars ---------------------------------------------------------------

TEST_F(MacFiles, SidecarIsWrittenOnlyWhenThereIsSomethingToKeep) {
    FSSpec f = NewFile("plain", "data");
    EXPECT_FALSE(Exists(Side("plain")));

    FInfo fi;
    ASSERT_EQ(FSpGetFInfo(f, &fi), noErr);
    fi.fdType = FourCC("TEXT");
    fi.fdCreator = FourCC("Fnwr");
    ASSERT_EQ(FSpSetFInfo(f, &fi), noErr);
    EXPECT_TRUE(Exists(Side("plain")));
    fi.fdType = fi.fdCreator = 0;
    ASSERT_EQ(FSpSetFInfo(f, &fi), noErr);
    EXPECT_FALSE(Exists(Side("plain")));

    ASSERT_EQ(FSpWriteResourceFork(f, Bytes("fork")), noErr);
    EXPECT_TRUE(Exists(Side("plain")));
    ASSERT_EQ(FSpWriteResourceFork(f, {}), noErr);
    EXPECT_FALSE(Exists(Side("plain")));

    ASSERT_EQ(FSpSetFLock(f), noErr);
    EXPECT_TRUE(Exists(Side("plain")));
    ASSERT_EQ(FSpRstFLock(f), noErr);
    EXPECT_FALSE(Exists(Side("plain")));

    // Created with a type: the sidecar holds it; the data file stays as written.
    FSSpec typed = NewFile("typed", "", FourCC("APPL"), FourCC("Fnwr"));
    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(typed, &ci), noErr);
    EXPECT_EQ(ci.type, FourCC("APPL"));
    EXPECT_EQ(ci.creator, FourCC("Fnwr"));
    EXPECT_TRUE(ci.hasSidecar);
    EXPECT_EQ(Slurp(P("typed")), "");

    // A name too long for a sidecar beside it: metadata fails loudly, and a
    // typed file is not left half made.
    std::string longName(254, 'L');
    FSSpec lf = NewFile(longName, "x");
    EXPECT_EQ(FSpSetFInfo(lf, &fi), noErr);  // all zero: nothing to keep
    fi.fdType = FourCC("TEXT");
    EXPECT_EQ(FSpSetFInfo(lf, &fi), bdNamErr);
    EXPECT_EQ(FSpCreate(Spec(std::string(255, 'M')), FourCC("Fnwr"), FourCC("TEXT"), 0), bdNamErr);
    EXPECT_FALSE(Exists(P(std::string(255, 'M'))));
}

TEST_F(MacFiles, ResourceWriteSetsDataMTimeButFinderInfoWriteDoesNot) {
    FSSpec f = NewFile("f", "data");
    time_t old = time(nullptr) - 100000;
    SetMTime(P("f"), old);
    FInfo fi{};
    fi.fdType = FourCC("TEXT");
    ASSERT_EQ(FSpSetFInfo(f, &fi), noErr);
    ASSERT_EQ(FSpSetFLock(f), noErr);
    ASSERT_EQ(FSpRstFLock(f), noErr);
    EXPECT_EQ(MTime(P("f")), old);

    ASSERT_EQ(FSpWriteResourceFork(f, Bytes("R")), noErr);
    EXPECT_GE(MTime(P("f")), time(nullptr) - 5);

    // The same through an open resource fork: written back on close.
    SetMTime(P("f"), old);
    int16_t ref = 0;
    ASSERT_EQ(FSpOpenRF(f, fsRdWrPerm, &ref), noErr);
    long n = 3;
    ASSERT_EQ(FSWrite(ref, &n, "xyz"), noErr);
    EXPECT_EQ(MTime(P("f")), old);
    ASSERT_EQ(FSClose(ref), noErr);
    EXPECT_GE(MTime(P("f")), time(nullptr) - 5);
    std::vector<uint8_t> rsrc;
    ASSERT_EQ(FSpReadFork(f, true, rsrc), noErr);
    EXPECT_EQ(rsrc, Bytes("xyz"));

    // The modification date is the data file's mtime in Mac seconds.
    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(f, &ci), noErr);
    EXPECT_EQ(ci.modDate, fw::MacSecondsFromUnix(MTime(P("f"))));
    EXPECT_EQ(ci.rsrcLength, 3u);
    EXPECT_EQ(ci.dataLength, 4u);
}

TEST_F(MacFiles, DatesRoundTrip) {
    FSSpec f = NewFile("f", "x");
    uint32_t create = fw::MacSecondsFromUnix(1000000000), mod = fw::MacSecondsFromUnix(1100000000),
             backup = fw::MacSecondsFromUnix(1200000000);
    ASSERT_EQ(FSpSetCatDates(f, &create, &mod, &backup), noErr);
    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(f, &ci), noErr);
    EXPECT_EQ(ci.createDate, create);
    EXPECT_EQ(ci.modDate, mod);
    EXPECT_EQ(ci.backupDate, backup);
    EXPECT_EQ(MTime(P("f")), 1100000000);
}

TEST_F(MacFiles, RenameMoveAndDeleteCarryTheSidecar) {
    ASSERT_EQ(::mkdir(P("dest").c_str(), 0755), 0);
    FSSpec f = NewFile("f", "data", FourCC("TEXT"), FourCC("Fnwr"));
    ASSERT_EQ(FSpWriteResourceFork(f, Bytes("fork")), noErr);

    ASSERT_EQ(FSpRename(f, "g"), noErr);
    EXPECT_FALSE(Exists(P("f")));
    EXPECT_FALSE(Exists(Side("f")));
    FSSpec g = Spec("g");
    std::vector<uint8_t> rsrc;
    ASSERT_EQ(FSpReadFork(g, true, rsrc), noErr);
    EXPECT_EQ(rsrc, Bytes("fork"));

    ASSERT_EQ(FSpCatMove(g, Spec("dest")), noErr);
    EXPECT_FALSE(Exists(Side("g")));
    EXPECT_TRUE(Exists(P("dest/._g")));
    int32_t dest = 0;
    ASSERT_EQ(FSpGetDirID(Spec("dest"), nullptr, &dest), noErr);
    FSSpec moved = Spec("g", dest);
    FInfo fi;
    ASSERT_EQ(FSpGetFInfo(moved, &fi), noErr);
    EXPECT_EQ(fi.fdCreator, FourCC("Fnwr"));

    ASSERT_EQ(FSpDelete(moved), noErr);
    EXPECT_FALSE(Exists(P("dest/g")));
    EXPECT_FALSE(Exists(P("dest/._g")));

    // A stale sidecar at the new name belongs to nothing and is not inherited.
    FSSpec h = NewFile("h", "h");
    Spit(Side("k"), "stale");
    ASSERT_EQ(FSpRename(h, "k"), noErr);
    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(Spec("k"), &ci), noErr);
    EXPECT_FALSE(ci.hasSidecar);
}

TEST_F(MacFiles, RenamesMovesAndCreatesNeverReplace) {
    ASSERT_EQ(::mkdir(P("dest").c_str(), 0755), 0);
    FSSpec a = NewFile("a", "A");
    NewFile("b", "B");
    Spit(P("dest/a"), "D");
    EXPECT_EQ(FSpRename(a, "b"), dupFNErr);
    EXPECT_EQ(FSpCatMove(a, Spec("dest")), dupFNErr);
    EXPECT_EQ(FSpCreate(Spec("b"), 0, 0, 0), dupFNErr);
    ASSERT_EQ(::mkdir(P("emptydir").c_str(), 0755), 0);
    EXPECT_EQ(FSpRename(a, "emptydir"), dupFNErr);
    EXPECT_EQ(Slurp(P("a")), "A");
    EXPECT_EQ(Slurp(P("b")), "B");
    EXPECT_EQ(Slurp(P("dest/a")), "D");

    // A folder cannot move into itself.
    ASSERT_EQ(::mkdir(P("dest/inner").c_str(), 0755), 0);
    int32_t dest = 0;
    ASSERT_EQ(FSpGetDirID(Spec("dest"), nullptr, &dest), noErr);
    EXPECT_EQ(FSpCatMove(Spec("dest"), Spec("inner", dest)), badMovErr);
}

TEST_F(MacFiles, ExchangeSwapsContentsAndKeepsIdentity) {
    FSSpec a = NewFile("a", "aaa", FourCC("AAAA"), FourCC("aaaa"));
    FSSpec b = NewFile("b", "bbbbb", FourCC("BBBB"), FourCC("bbbb"));
    ASSERT_EQ(FSpWriteResourceFork(a, Bytes("RA")), noErr);
    ::chmod(P("a").c_str(), 0600);
    ::chmod(P("b").c_str(), 0644);
    NewFile("c", "ccc");  // no sidecar at all

    ASSERT_EQ(FSpExchangeFiles(a, b), noErr);
    EXPECT_EQ(Slurp(P("a")), "bbbbb");
    EXPECT_EQ(Slurp(P("b")), "aaa");
    std::vector<uint8_t> ra, rb;
    ASSERT_EQ(FSpReadFork(a, true, ra), noErr);
    ASSERT_EQ(FSpReadFork(b, true, rb), noErr);
    EXPECT_TRUE(ra.empty());
    EXPECT_EQ(rb, Bytes("RA"));
    FInfo fa, fb;
    ASSERT_EQ(FSpGetFInfo(a, &fa), noErr);
    ASSERT_EQ(FSpGetFInfo(b, &fb), noErr);
    EXPECT_EQ(fa.fdType, FourCC("AAAA"));
    EXPECT_EQ(fb.fdType, FourCC("BBBB"));
    struct stat st;
    ::stat(P("a").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_EQ(FSpExchangeFiles(b, Spec("c")), noErr);
    EXPECT_EQ(Slurp(P("c")), "aaa");
    std::vector<uint8_t> rc;
    ASSERT_EQ(FSpReadFork(Spec("c"), true, rc), noErr);
    EXPECT_EQ(rc, Bytes("RA"));
    FInfo fc;
    ASSERT_EQ(FSpGetFInfo(Spec("c"), &fc), noErr);
    EXPECT_EQ(fc.fdType, 0u);  // Finder information stays with the name
}

TEST_F(MacFiles, LockedItemsRefuseWritesRenamesDeletesAndExchanges) {
    FSSpec f = NewFile("f", "data");
    FSSpec other = NewFile("other", "o");
    ASSERT_EQ(FSpSetFLock(f), noErr);
    int16_t ref = 0;
    EXPECT_EQ(FSpOpenDF(f, fsRdWrPerm, &ref), fLckdErr);
    EXPECT_EQ(FSpOpenDF(f, fsWrPerm, &ref), fLckdErr);
    EXPECT_EQ(FSpOpenRF(f, fsRdWrPerm, &ref), fLckdErr);
    EXPECT_EQ(FSpWriteResourceFork(f, Bytes("x")), fLckdErr);
    EXPECT_EQ(FSpRename(f, "g"), fLckdErr);
    EXPECT_EQ(FSpDelete(f), fLckdErr);
    EXPECT_EQ(FSpExchangeFiles(other, f), fLckdErr);
    EXPECT_EQ(Slurp(P("f")), "data");
    EXPECT_EQ(Slurp(P("other")), "o");

    // "Whatever it allows" opens a locked file for reading only.
    ASSERT_EQ(FSpOpenDF(f, fsCurPerm, &ref), noErr);
    long one = 1;
    EXPECT_EQ(FSWrite(ref, &one, "x"), wrPermErr);
    EXPECT_EQ(FSClose(ref), noErr);

    // Reading still works.
    ASSERT_EQ(FSpOpenDF(f, fsRdPerm, &ref), noErr);
    char buf[8];
    long n = sizeof buf;
    EXPECT_EQ(FSRead(ref, &n, buf), eofErr);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(FSClose(ref), noErr);

    ASSERT_EQ(::mkdir(P("d").c_str(), 0755), 0);
    ASSERT_EQ(FSpSetFLock(Spec("d")), noErr);
    EXPECT_EQ(FSpDelete(Spec("d")), fLckdErr);
    ASSERT_EQ(FSpRstFLock(Spec("d")), noErr);
    EXPECT_EQ(FSpDelete(Spec("d")), noErr);

    ASSERT_EQ(FSpRstFLock(f), noErr);
    EXPECT_EQ(FSpDelete(f), noErr);
}

TEST_F(MacFiles, DestructiveCallsRefuseTheEmptyNameAndReservedNames) {
    ASSERT_EQ(::mkdir(P("d").c_str(), 0755), 0);
    int32_t d = 0;
    ASSERT_EQ(FSpGetDirID(Spec("d"), nullptr, &d), noErr);
    FSSpec self;
    self.vRefNum = mVol;
    self.parID = d;  // empty name: the folder itself
    int16_t ref = 0;
    EXPECT_EQ(FSpDelete(self), paramErr);
    EXPECT_EQ(FSpRename(self, "e"), paramErr);
    EXPECT_EQ(FSpCatMove(self, Spec("")), paramErr);
    EXPECT_EQ(FSpOpenDF(self, fsRdWrPerm, &ref), paramErr);
    EXPECT_EQ(FSpExchangeFiles(self, self), paramErr);
    EXPECT_EQ(FSpCreate(self, 0, 0, 0), paramErr);
    EXPECT_TRUE(Exists(P("d")));

    // "._" names belong to the sidecars.
    FSSpec f = NewFile("f", "x", FourCC("TEXT"), FourCC("Fnwr"));
    EXPECT_EQ(FSpCreate(Spec("._x"), 0, 0, 0), bdNamErr);
    EXPECT_EQ(FSpRename(f, "._g"), bdNamErr);
    EXPECT_EQ(FSpOpenDF(Spec("._f"), fsRdWrPerm, &ref), bdNamErr);
    EXPECT_EQ(FSpDelete(Spec("._f")), bdNamErr);  // its item is there
    EXPECT_TRUE(Exists(Side("f")));
    Spit(Side("gone"), "orphan");
    EXPECT_EQ(FSpDelete(Spec("._gone")), noErr);  // an orphan may go

    // A folder holding only orphaned sidecars (ours, invisible) can be
    // deleted; anything else keeps it.
    ASSERT_EQ(::mkdir(P("o").c_str(), 0755), 0);
    int32_t o = 0;
    ASSERT_EQ(FSpGetDirID(Spec("o"), nullptr, &o), noErr);
    FSSpec x;
    FSMakeFSSpec(mVol, o, "x", &x);
    ASSERT_EQ(FSpCreate(x, FourCC("Fnwr"), FourCC("TEXT"), 0), noErr);
    ASSERT_EQ(::unlink(P("o/x").c_str()), 0);  // behind our back: "._x" is orphaned
    Spit(P("o/._junk"), "not a sidecar");
    EXPECT_EQ(FSpDelete(Spec("o")), fBsyErr);
    EXPECT_TRUE(Exists(P("o/._x")));
    ASSERT_EQ(::unlink(P("o/._junk").c_str()), 0);
    EXPECT_EQ(FSpDelete(Spec("o")), noErr);
    EXPECT_FALSE(Exists(P("o")));
}

TEST_F(MacFiles, SymbolicLinksAreFilesAndNeverFollowed) {
    char outTmpl[] = "/tmp/fw-outside-XXXXXX";
    ASSERT_NE(::mkdtemp(outTmpl), nullptr);
    std::string outside = outTmpl;
    Spit(outside + "/precious", "keep");
    ASSERT_EQ(::symlink(outside.c_str(), P("link").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/precious").c_str(), P("flink").c_str()), 0);

    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(Spec("link"), &ci), noErr);
    EXPECT_EQ(ci.kind, ENodeKind::kSymlink);
    EXPECT_FALSE(ci.isFolder);
    int32_t id = 0;
    EXPECT_EQ(FSpGetDirID(Spec("link"), nullptr, &id), errFSNotAFolder);
    int16_t ref = 0;
    EXPECT_EQ(FSpOpenDF(Spec("flink"), fsRdPerm, &ref), notAFileErr);
    EXPECT_EQ(FSpOpenDF(Spec("flink"), fsRdWrPerm, &ref), notAFileErr);
    EXPECT_EQ(FSpWriteResourceFork(Spec("flink"), Bytes("x")), notAFileErr);

    EXPECT_EQ(FSpDelete(Spec("link")), noErr);
    EXPECT_EQ(FSpDelete(Spec("flink")), noErr);
    EXPECT_FALSE(Exists(P("link")));
    EXPECT_EQ(Slurp(outside + "/precious"), "keep");
    std::system(("rm -rf '" + outside + "'").c_str());
}

TEST_F(MacFiles, FifosAreReportedAndNeverBlock) {
    ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0644), 0);
    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(Spec("pipe"), &ci), noErr);
    EXPECT_EQ(ci.kind, ENodeKind::kSpecial);
    int16_t ref = 0;
    EXPECT_EQ(FSpOpenDF(Spec("pipe"), fsRdPerm, &ref), notAFileErr);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(FSpReadFork(Spec("pipe"), false, bytes), notAFileErr);
}

TEST_F(MacFiles, ListingHidesSidecarsAndReportsWhatCannotBeUsed) {
    NewFile("typed", "x", FourCC("TEXT"), FourCC("Fnwr"));
    ASSERT_EQ(FSpWriteResourceFork(Spec("typed"), Bytes("12345")), noErr);
    Spit(P("Caf\xC3\xA9"), "nfc");
    Spit(P("Cafe\xCC\x81"), "nfd");
    Spit(Side("orphan"), "x");
    ASSERT_EQ(::mkdir(P("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("/", P("rootlink").c_str()), 0);
    ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0644), 0);

    CDirReader r;
    ASSERT_EQ(r.Open(mDir), noErr);
    std::map<std::string, SDirEntry> seen;
    std::vector<std::string> unusable;
    SDirEntry e;
    for (OSErr err; (err = r.Next(e)) != errFSNoMoreItems;) {
        if (err == noErr)
            seen[e.macName] = e;
        else
            unusable.push_back(e.diskName);
    }
    EXPECT_EQ(unusable, std::vector<std::string>{"Cafe\xCC\x81"});
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_FALSE(seen.count("._typed"));
    EXPECT_TRUE(seen.count("._orphan"));
    EXPECT_TRUE(seen.count("Caf\x8E"));
    EXPECT_EQ(seen["typed"].info.type, FourCC("TEXT"));
    EXPECT_EQ(seen["typed"].info.rsrcLength, 5u);
    EXPECT_EQ(seen["sub"].info.kind, ENodeKind::kFolder);
    EXPECT_EQ(seen["rootlink"].info.kind, ENodeKind::kSymlink);
    EXPECT_EQ(seen["fifo"].info.kind, ENodeKind::kSpecial);
}

// ---- Damaged sidecars --------------------------------------------------

TEST_F(MacFiles, ACorruptSidecarIsReportedAndNeverOverwritten) {
    FSSpec f = NewFile("f", "data");
    std::string garbage = std::string("\x00\x05\x16\x07\x00\x02\x00\x00", 8) + std::string(16, '\0') +
                          std::string("\x00\x01\x00\x00\x00\x02\x00\x00\x00\x20\xFF\xFF\xFF\xFF", 14);
    Spit(Side("f"), garbage);

    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(f, &ci), noErr);  // the item itself stays usable
    EXPECT_EQ(ci.rsrcLength, 0u);
    std::string why;
    EXPECT_EQ(FSpCheckSidecar(f, &why), ioErr);
    EXPECT_FALSE(why.empty());
    std::vector<uint8_t> rsrc;
    EXPECT_EQ(FSpReadFork(f, true, rsrc), ioErr);
    FInfo fi{};
    fi.fdType = FourCC("TEXT");
    EXPECT_EQ(FSpSetFInfo(f, &fi), ioErr);
    EXPECT_EQ(FSpWriteResourceFork(f, Bytes("x")), ioErr);
    EXPECT_EQ(Slurp(Side("f")), garbage);

    // An empty sidecar (cut short by a crash) holds nothing to lose.
    Spit(Side("f"), "");
    EXPECT_EQ(FSpCheckSidecar(f), noErr);
    ASSERT_EQ(FSpSetFInfo(f, &fi), noErr);
    ASSERT_EQ(FSpGetFInfo(f, &fi), noErr);
    EXPECT_EQ(fi.fdType, FourCC("TEXT"));

    // A resource fork that is not a resource file.
    FSSpec g = NewFile("g", "");
    ASSERT_EQ(FSpWriteResourceFork(g, Bytes("this is not a resource map at all")), noErr);
    CResourceFile rf;
    EXPECT_EQ(FSpReadResourceFile(g, rf, &why), mapReadErr);
}

// A sidecar as macOS writes it on foreign volumes: filler "Mac OS X", a Finder
// information entry with an extended-attribute block, the resource fork last,
// and an entry we do not know (a comment).
std::vector<uint8_t> MacOSSidecar() {
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v) { for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s)); };
    auto u16 = [&](uint16_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); };
    auto str = [&](std::string const& s) { b.insert(b.end(), s.begin(), s.end()); };
    // Header: 3 entries -> data at 26 + 36 = 62.
    u32(0x00051607); u32(0x00020000); str("Mac OS X        "); u16(3);
    // Finder info at 62: 32 bytes, pad to 96, ATTR header (36) at 96, one entry
    // "com.apple.test" (11 + 15 = 26, rounded to 28) at 132, data "hello" at 160.
    uint32_t fiOff = 62, attrAt = 96, valueAt = 160, fiEnd = 165;  // the attribute entry is at 132
    u32(9); u32(fiOff); u32(fiEnd - fiOff);
    u32(4); u32(fiEnd); u32(7);                 // comment "comment" at 165..172
    u32(2); u32(fiEnd + 7); u32(4);             // resource fork "RSRC"
    str("TEXTttxt"); u16(0x0100); u16(0); u16(0); u16(0); b.resize(fiOff + 32, 0);
    b.resize(attrAt, 0);
    u32(0x41545452); u32(0); u32(fiEnd); u32(valueAt); u32(5); u32(0); u32(0); u32(0); u16(0); u16(1);
    u32(valueAt); u32(5); u16(0); b.push_back(15); str(std::string("com.apple.test") + '\0');
    b.resize(valueAt, 0);
    str("hello");
    str("comment");
    str("RSRC");
    return b;
}

TEST(AppleDouble, MacOSLayoutReadsAndRewritesWithUnknownEntriesAndAttributes) {
    std::vector<uint8_t> in = MacOSSidecar();
    CAppleDouble ad;
    std::string why;
    ASSERT_TRUE(ad.Decode(in.data(), in.size(), &why)) << why;
    uint8_t fi[32];
    ad.GetFinderInfo(fi);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(fi), 8), "TEXTttxt");
    EXPECT_EQ(ad.ResourceFork(), Bytes("RSRC"));
    EXPECT_FALSE(ad.IsEmpty());

    // Adding the lock and dates moves the Finder information entry: the
    // attribute block's file offsets must move with it.
    ad.SetLocked(true);
    ad.SetDates(1000, 2000, CAppleDouble::kUnknownDate);
    std::vector<uint8_t> out;
    ad.Encode(out);
    CAppleDouble back;
    ASSERT_TRUE(back.Decode(out.data(), out.size(), &why)) << why;
    EXPECT_TRUE(back.Locked());
    EXPECT_EQ(back.CreateDate(), 1000);
    ASSERT_NE(back.Find(CAppleDouble::kComment), nullptr);
    EXPECT_EQ(back.Find(CAppleDouble::kComment)->bytes, Bytes("comment"));
    EXPECT_EQ(std::memcmp(back.Filler(), "Mac OS X        ", 16), 0);
    // Follow the attribute entry's absolute offset to its value.
    auto const* fie = back.Find(CAppleDouble::kFinderInfo);
    ASSERT_NE(fie, nullptr);
    uint32_t fiOff = 0;
    for (size_t i = 0; i < 5; ++i) {
        uint8_t const* d = out.data() + 26 + 12 * i;
        if (((d[0] << 24) | (d[1] << 16) | (d[2] << 8) | d[3]) == 9) fiOff = (d[4] << 24) | (d[5] << 16) | (d[6] << 8) | d[7];
    }
    size_t attrAt = fiOff + 32;
    while (attrAt % 4) ++attrAt;
    ASSERT_EQ(std::string(reinterpret_cast<char const*>(out.data() + attrAt), 4), "ATTR");
    size_t entryAt = attrAt + 36;
    uint32_t valueOff = (out[entryAt] << 24) | (out[entryAt + 1] << 16) | (out[entryAt + 2] << 8) | out[entryAt + 3];
    ASSERT_LE(valueOff + 5, out.size());
    EXPECT_EQ(std::string(reinterpret_cast<char const*>(out.data() + valueOff), 5), "hello");
    // The resource fork is written last.
    EXPECT_EQ(std::string(out.end() - 4, out.end()), "RSRC");
}

TEST_F(MacFiles, MacOSSidecarSurvivesChangesThroughTheStandIn) {
    FSSpec f = NewFile("doc", "text");
    std::vector<uint8_t> side = MacOSSidecar();
    Spit(Side("doc"), std::string(side.begin(), side.end()));
    FInfo fi;
    ASSERT_EQ(FSpGetFInfo(f, &fi), noErr);
    EXPECT_EQ(fi.fdType, FourCC("TEXT"));
    EXPECT_EQ(fi.fdCreator, FourCC("ttxt"));
    fi.fdCreator = FourCC("Fnwr");
    ASSERT_EQ(FSpSetFInfo(f, &fi), noErr);
    ASSERT_EQ(FSpSetFLock(f), noErr);
    std::string now = Slurp(Side("doc"));
    CAppleDouble ad;
    ASSERT_TRUE(ad.Decode(reinterpret_cast<uint8_t const*>(now.data()), now.size()));
    EXPECT_NE(ad.Find(CAppleDouble::kComment), nullptr);
    EXPECT_EQ(ad.ResourceFork(), Bytes("RSRC"));
    EXPECT_GT(ad.Find(CAppleDouble::kFinderInfo)->bytes.size(), 32u);
}

TEST(AppleDouble, DamagedInputIsRefused) {
    std::vector<uint8_t> good = MacOSSidecar();
    auto with = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    struct {
        char const* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 20)},
        {"AppleSingle magic", with(0, {0x00, 0x05, 0x16, 0x00})},
        {"unknown version", with(4, {0x00, 0x03, 0x00, 0x00})},
        {"too many entries", with(24, {0xFF, 0xFF})},
        {"entry past the end", with(26 + 12 + 8, {0x7F, 0xFF, 0xFF, 0xFF})},
        {"offset past the end", with(26 + 4, {0xFF, 0xFF, 0xFF, 0x00})},
        {"entry twice", with(26 + 12, {0, 0, 0, 9})},
        {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 1)},
    };
    for (auto const& c : cases) {
        CAppleDouble ad;
        std::string why;
        EXPECT_FALSE(ad.Decode(c.bytes.data(), c.bytes.size(), &why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
        EXPECT_TRUE(ad.Entries().empty()) << c.what;
    }
}

// ---- Forks and the temporary folder ------------------------------------

TEST_F(MacFiles, ForkPositioningAndLengths) {
    FSSpec f = NewFile("f", "0123456789");
    int16_t ref = 0;
    ASSERT_EQ(FSpOpenDF(f, fsRdWrPerm, &ref), noErr);
    long eof = 0;
    ASSERT_EQ(GetEOF(ref, &eof), noErr);
    EXPECT_EQ(eof, 10);
    ASSERT_EQ(SetFPos(ref, fsFromLEOF, -3), noErr);
    char buf[8] = {};
    long n = 8;
    EXPECT_EQ(FSRead(ref, &n, buf), eofErr);
    EXPECT_EQ(std::string(buf, size_t(n)), "789");
    EXPECT_EQ(SetFPos(ref, fsFromStart, 11), eofErr);
    ASSERT_EQ(SetEOF(ref, 4), noErr);
    ASSERT_EQ(SetFPos(ref, fsFromStart, 4), noErr);
    n = 2;
    ASSERT_EQ(FSWrite(ref, &n, "ab"), noErr);
    ASSERT_EQ(FSClose(ref), noErr);
    EXPECT_EQ(Slurp(P("f")), "0123ab");
    EXPECT_EQ(FSClose(ref), rfNumErr);

    // One writer at a time for a resource fork.
    int16_t r1 = 0, r2 = 0;
    ASSERT_EQ(FSpOpenRF(f, fsRdWrPerm, &r1), noErr);
    EXPECT_EQ(FSpOpenRF(f, fsRdWrPerm, &r2), opWrErr);
    ASSERT_EQ(FSClose(r1), noErr);
    EXPECT_FALSE(Exists(Side("f")));  // nothing was written
}

TEST_F(MacFiles, TemporaryFolderIsPrivate) {
    std::string saved = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    bool had = std::getenv("XDG_CACHE_HOME") != nullptr;
    ::setenv("XDG_CACHE_HOME", (mRoot + "/cache").c_str(), 1);
    ASSERT_EQ(::mkdir(P("cache").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(P("cache/fennelwright").c_str(), 0755), 0);  // too open: tightened
    int16_t vol = 0;
    int32_t id = 0;
    ASSERT_EQ(FindTemporaryFolder(&vol, &id), noErr);
    std::string path;
    ASSERT_EQ(GetDirPath(id, path), noErr);
    EXPECT_EQ(path, P("cache/fennelwright/tmp"));
    struct stat st;
    ::stat(P("cache/fennelwright").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A link planted in place of our folder is refused.
    ::setenv("XDG_CACHE_HOME", (mRoot + "/cache2").c_str(), 1);
    ASSERT_EQ(::mkdir(P("cache2").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(P("cache/fennelwright").c_str(), P("cache2/fennelwright").c_str()), 0);
    EXPECT_NE(FindTemporaryFolder(&vol, &id), noErr);
    if (had)
        ::setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CACHE_HOME");
}

TEST(MacErrors, ErrnoMapsToTheResultCodesCallersExpect) {
    struct {
        int err;
        OSErr code;
    } cases[] = {{ENOENT, fnfErr}, {EEXIST, dupFNErr}, {EACCES, permErr}, {EPERM, permErr}, {EROFS, wPrErr},
                 {ENOSPC, dskFulErr}, {ENAMETOOLONG, bdNamErr}, {ENOTEMPTY, fBsyErr}, {ENOTDIR, dirNFErr},
                 {EISDIR, notAFileErr}, {EXDEV, diffVolErr}, {EMFILE, tmfoErr}, {EIO, ioErr}};
    for (auto const& c : cases) EXPECT_EQ(OSErrFromErrno(c.err), c.code) << c.err;
}

}  // namespace
