#include "platform/MacFiles.h"
#include "platform/ResourceFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Writer {
    std::vector<uint8_t> b;
    void u8(uint8_t v) { b.push_back(v); }
    void u16(uint16_t v) { u8(uint8_t(v >> 8)); u8(uint8_t(v)); }
    void u24(uint32_t v) { u8(uint8_t(v >> 16)); u16(uint16_t(v)); }
    void u32(uint32_t v) { u16(uint16_t(v >> 16)); u16(uint16_t(v)); }
    void str(std::string const& s) { b.insert(b.end(), s.begin(), s.end()); }
};

// A resource file laid out by hand from the published format: 'STR ' 128
// named "hello", 'STR ' 129 unnamed, 'TEXT' -1 empty and purgeable.
std::vector<uint8_t> Fixture() {
    Writer w;
    uint32_t dataOff = 256, dataLen = 21, mapOff = 277, mapLen = 88;
    w.u32(dataOff); w.u32(mapOff); w.u32(dataLen); w.u32(mapLen);
    w.b.resize(256, 0);
    w.u32(6); w.str("\x05Hello");  // data offset 0
    w.u32(3); w.str("abc");         // 10
    w.u32(0);                       // 17
    // map
    w.u32(dataOff); w.u32(mapOff); w.u32(dataLen); w.u32(mapLen);
    w.u32(0); w.u16(0); w.u16(0);   // next map, file ref, attributes
    w.u16(28); w.u16(82);           // type list, name list
    w.u16(1);                       // two types
    w.str("STR "); w.u16(1); w.u16(18);
    w.str("TEXT"); w.u16(0); w.u16(42);
    w.u16(128); w.u16(0); w.u8(0); w.u24(0); w.u32(0);
    w.u16(129); w.u16(0xFFFF); w.u8(0); w.u24(10); w.u32(0);
    w.u16(0xFFFF); w.u16(0xFFFF); w.u8(resPurgeable); w.u24(17); w.u32(0);
    w.u8(5); w.str("hello");
    return w.b;
}

std::vector<uint8_t> V(std::string const& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(ResourceFile, FixtureDecodesAndEncodesByteForByte) {
    std::vector<uint8_t> in = Fixture();
    ASSERT_EQ(in.size(), 277u + 88u);
    CResourceFile rf;
    std::string why;
    ASSERT_EQ(rf.Decode(in.data(), in.size(), &why), noErr) << why;
    ASSERT_EQ(rf.CountTypes(), 2u);
    EXPECT_EQ(rf.IndType(0), FourCC("STR "));
    EXPECT_EQ(rf.IndType(1), FourCC("TEXT"));
    EXPECT_EQ(rf.CountResources(FourCC("STR ")), 2u);
    auto const* hello = rf.Get(FourCC("STR "), 128);
    ASSERT_NE(hello, nullptr);
    EXPECT_TRUE(hello->hasName);
    EXPECT_EQ(hello->name, "hello");
    EXPECT_EQ(hello->data, V("\x05Hello"));
    auto const* unnamed = rf.IndResource(FourCC("STR "), 1);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->id, 129);
    EXPECT_FALSE(unnamed->hasName);
    auto const* text = rf.Get(FourCC("TEXT"), -1);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->data.empty());
    EXPECT_EQ(text->attributes, resPurgeable);

    std::vector<uint8_t> out;
    ASSERT_EQ(rf.Encode(out, &why), noErr) << why;
    EXPECT_EQ(out, in);
}

TEST(ResourceFile, EditsRoundTrip) {
    CResourceFile rf;
    ASSERT_EQ(rf.Decode(Fixture().data(), Fixture().size()), noErr);
    EXPECT_EQ(rf.Add(FourCC("STR "), 128, nullptr, V("dup")), addResFailed);
    ASSERT_EQ(rf.Put(FourCC("STR "), 128, nullptr, V("new data")), noErr);
    ASSERT_EQ(rf.Add(FourCC("FExp"), 128, "expanded", V("\x01")), noErr);
    ASSERT_EQ(rf.Remove(FourCC("TEXT"), -1), noErr);
    EXPECT_EQ(rf.Remove(FourCC("TEXT"), -1), resNotFound);
    ASSERT_EQ(rf.SetInfo(FourCC("STR "), 129, 130, "renamed"), noErr);
    EXPECT_EQ(rf.SetInfo(FourCC("STR "), 130, 128, nullptr), addResFailed);

    std::vector<uint8_t> bytes;
    ASSERT_EQ(rf.Encode(bytes), noErr);
    CResourceFile back;
    ASSERT_EQ(back.Decode(bytes.data(), bytes.size()), noErr);
    ASSERT_EQ(back.CountTypes(), 2u);  // the emptied type is gone
    EXPECT_EQ(back.Get(FourCC("STR "), 128)->data, V("new data"));
    EXPECT_EQ(back.Get(FourCC("STR "), 128)->name, "hello");
    EXPECT_EQ(back.Get(FourCC("STR "), 130)->name, "renamed");
    EXPECT_EQ(back.Get(FourCC("FExp"), 128)->name, "expanded");
    EXPECT_EQ(back.Get(FourCC("TEXT"), -1), nullptr);
}

TEST(ResourceFile, EmptyForksAsMacOSWritesThem) {
    // 256-byte header area with the usual text, then a 30-byte map with no types.
    Writer w;
    w.u32(256); w.u32(256); w.u32(0); w.u32(30);
    w.b.resize(16 + 112, 0);
    w.str("This resource fork intentionally left blank   ");
    w.b.resize(256, 0);
    w.u32(256); w.u32(256); w.u32(0); w.u32(30);
    w.u32(0); w.u16(0); w.u16(0); w.u16(28); w.u16(30); w.u16(0xFFFF);
    CResourceFile rf;
    ASSERT_EQ(rf.Decode(w.b.data(), w.b.size()), noErr);
    EXPECT_EQ(rf.Count(), 0u);
    std::vector<uint8_t> out;
    ASSERT_EQ(rf.Encode(out), noErr);
    EXPECT_EQ(out, w.b);

    EXPECT_EQ(rf.Decode(nullptr, 0), eofErr);  // no resource fork at all
}

TEST(ResourceFile, DamagedFilesAreRefused) {
    std::vector<uint8_t> good = Fixture();
    uint32_t map = 277, types = map + 28, refs = types + 18;
    auto with = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    struct {
        char const* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 10)},
        {"truncated", std::vector<uint8_t>(good.begin(), good.begin() + 300)},
        {"map length too small", with(12, {0, 0, 0, 10})},
        {"type list outside the map", with(map + 24, {0x7F, 0xFF})},
        {"name list outside the map", with(map + 26, {0x7F, 0xFF})},
        {"too many types", with(types, {0xFF, 0xFE})},
        {"too many references", with(types + 2 + 4, {0xFF, 0xFF})},
        {"reference list outside the map", with(types + 2 + 6, {0x7F, 0x00})},
        {"data offset outside the data", with(refs + 5, {0xFF, 0xFF, 0xFF})},
        {"data length past the data", with(256, {0x00, 0x00, 0x10, 0x00})},
        {"resources overlap", with(refs + 12 + 5, {0, 0, 0})},
        {"name outside the map", with(refs + 2, {0x01, 0x00})},
        {"same ID twice", with(refs + 12, {0x00, 0x80})},
        {"same type twice", with(types + 2 + 8, {'S', 'T', 'R', ' '})},
    };
    for (auto const& c : cases) {
        CResourceFile rf;
        std::string why;
        EXPECT_EQ(rf.Decode(c.bytes.data(), c.bytes.size(), &why), mapReadErr) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
        EXPECT_EQ(rf.Count(), 0u) << c.what;
    }
}

TEST(ResourceFile, RefusesToWriteWhatTheFormatCannotHold) {
    std::string why;
    std::vector<uint8_t> out = {1, 2, 3};
    {
        CResourceFile rf;
        ASSERT_EQ(rf.Add(FourCC("STR "), 1, "n", V("x")), noErr);
        EXPECT_EQ(rf.Add(FourCC("STR "), 2, std::string(256, 'n').c_str(), V("x")), addResFailed);
        rf.GetMutable(FourCC("STR "), 1)->name.assign(256, 'n');
        EXPECT_EQ(rf.Encode(out, &why), mapReadErr);
        EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    }
    {
        // The last resource would start beyond a 24-bit data offset.
        CResourceFile rf;
        for (int16_t i = 0; i < 17; ++i) ASSERT_EQ(rf.Add(FourCC("DATA"), i, nullptr, std::vector<uint8_t>(1 << 20)), noErr);
        EXPECT_EQ(rf.Encode(out, &why), mapReadErr);
        rf.Remove(FourCC("DATA"), 16);
        EXPECT_EQ(rf.Encode(out, &why), noErr) << why;
        CResourceFile back;
        EXPECT_EQ(back.Decode(out.data(), out.size()), noErr);
        EXPECT_EQ(back.Count(), 16u);
    }
    {
        // References beyond the map's 16-bit offsets.
        CResourceFile rf;
        for (uint32_t t = 0; t < 6000; ++t) ASSERT_EQ(rf.Add(0x41000000 + t, 0, nullptr, {}), noErr);
        EXPECT_EQ(rf.Encode(out, &why), mapReadErr);
    }
}

TEST(ResourceFile, ReadAndWriteThroughTheResourceFork) {
    char tmpl[] = "/tmp/fw-resfile-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    std::string root = tmpl;
    int32_t dir = 0;
    ASSERT_EQ(GetDirIDFromPath(root, nullptr, &dir), noErr);
    FSSpec f;
    EXPECT_EQ(FSMakeFSSpec(0, dir, "CVS", &f), fnfErr);
    CResourceFile rf;
    EXPECT_EQ(FSpReadResourceFile(f, rf), fnfErr);
    ASSERT_EQ(FSpCreateResFile(f, FourCC("Fnwr"), FourCC("TEXT"), 0), noErr);
    ASSERT_EQ(FSpReadResourceFile(f, rf), noErr);
    EXPECT_EQ(rf.Count(), 0u);
    ASSERT_EQ(rf.Add(FourCC("FFil"), 128, nullptr, V("00000000,")), noErr);
    ASSERT_EQ(FSpWriteResourceFile(f, rf), noErr);
    CResourceFile back;
    ASSERT_EQ(FSpReadResourceFile(f, back), noErr);
    EXPECT_EQ(back.Get(FourCC("FFil"), 128)->data, V("00000000,"));
    FInfo fi;
    ASSERT_EQ(FSpGetFInfo(f, &fi), noErr);
    EXPECT_EQ(fi.fdCreator, FourCC("Fnwr"));
    ASSERT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
}

}  // namespace
