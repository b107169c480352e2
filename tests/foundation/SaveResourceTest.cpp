#include "foundation/SaveResource.h"

#include "platform/ResourceFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

class SaveResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fw-saveres-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        mRoot = tmpl;
        ASSERT_EQ(GetDirIDFromPath(mRoot, nullptr, &mDir), noErr);
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + mRoot + "'").c_str()), 0); }

    FSSpec Spec(char const* name) {
        FSSpec s;
        FSMakeFSSpec(0, mDir, name, &s);
        return s;
    }
    std::vector<uint8_t> Data(FSSpec const& f, OSType type, short id) {
        CResourceFile rf;
        if (FSpReadResourceFile(f, rf) != noErr) return {};
        auto r = rf.Get(type, id);
        return r ? r->data : std::vector<uint8_t>{};
    }

    std::string mRoot;
    int32_t mDir = 0;
};

std::vector<uint8_t> V(std::string const& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST_F(SaveResourceTest, CreatesTheForkThenReplacesAndAdds) {
    FSSpec f = Spec("CVS");
    unsigned char name[] = "\x04" "Expd";
    ASSERT_TRUE(SaveResource(f, false, FourCC("Fnwr"), FourCC("TEXT"), 0, FourCC("FExp"), 128, name, 1, "\x01"));
    FInfo fi;
    ASSERT_EQ(FSpGetFInfo(f, &fi), noErr);
    EXPECT_EQ(fi.fdType, FourCC("TEXT"));
    EXPECT_EQ(fi.fdCreator, FourCC("Fnwr"));

    ASSERT_TRUE(SaveResource(f, false, 0, 0, 0, FourCC("FExp"), 128, nullptr, 3, "abc"));  // replaced, resized
    ASSERT_TRUE(SaveResource(f, false, 0, 0, 0, FourCC("FFil"), 128, nullptr, 2, "xy"));   // added
    EXPECT_EQ(Data(f, FourCC("FExp"), 128), V("abc"));
    EXPECT_EQ(Data(f, FourCC("FFil"), 128), V("xy"));
    CResourceFile rf;
    ASSERT_EQ(FSpReadResourceFile(f, rf), noErr);
    EXPECT_EQ(rf.Get(FourCC("FExp"), 128)->name, "Expd");  // the name stays
}

TEST_F(SaveResourceTest, WithoutTypeAndCreatorNoForkIsCreated) {
    FSSpec f = Spec("plain");
    ASSERT_EQ(FSpCreate(f, 0, 0, 0), noErr);
    EXPECT_FALSE(SaveResource(f, false, 0, FourCC("TEXT"), 0, FourCC("FExp"), 128, nullptr, 1, "x"));
    std::vector<uint8_t> rsrc;
    ASSERT_EQ(FSpReadFork(f, true, rsrc), noErr);
    EXPECT_TRUE(rsrc.empty());
}

TEST_F(SaveResourceTest, LockedFilesAreUnlockedAndRelockedAsAsked) {
    FSSpec f = Spec("locked");
    ASSERT_EQ(FSpCreate(f, FourCC("Fnwr"), FourCC("TEXT"), 0), noErr);
    ASSERT_EQ(FSpSetFLock(f), noErr);
    ASSERT_TRUE(SaveResource(f, true, FourCC("Fnwr"), FourCC("TEXT"), 0, FourCC("WGeo"), 128, nullptr, 2, "ab"));
    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(f, &ci), noErr);
    EXPECT_TRUE(ci.locked);
    EXPECT_EQ(Data(f, FourCC("WGeo"), 128), V("ab"));
    ASSERT_TRUE(SaveResource(f, false, FourCC("Fnwr"), FourCC("TEXT"), 0, FourCC("WGeo"), 128, nullptr, 1, "c"));
    ASSERT_EQ(FSpGetCatInfo(f, &ci), noErr);
    EXPECT_FALSE(ci.locked);
}

TEST_F(SaveResourceTest, ADamagedForkIsLeftAlone) {
    FSSpec f = Spec("damaged");
    ASSERT_EQ(FSpCreate(f, FourCC("Fnwr"), FourCC("TEXT"), 0), noErr);
    std::vector<uint8_t> junk = V("not a resource file, but someone's bytes");
    ASSERT_EQ(FSpWriteResourceFork(f, junk), noErr);
    EXPECT_FALSE(SaveResource(f, true, FourCC("Fnwr"), FourCC("TEXT"), 0, FourCC("FExp"), 128, nullptr, 1, "x"));
    std::vector<uint8_t> rsrc;
    ASSERT_EQ(FSpReadFork(f, true, rsrc), noErr);
    EXPECT_EQ(rsrc, junk);
    SCatInfo ci;
    ASSERT_EQ(FSpGetCatInfo(f, &ci), noErr);
    EXPECT_TRUE(ci.locked);  // relocked as asked even though it failed
}

}  // namespace
