// Unique and cryptic names, path components and mode texts.
#include "filesystem/FSNames.h"

#include "foundation/CString.h"
#include "foundation/Log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

namespace {

std::string P2S(unsigned char const* p) { return std::string(reinterpret_cast<char const*>(p + 1), p[0]); }

void S2P(std::string const& s, unsigned char* p) {
    p[0] = static_cast<unsigned char>(s.size());
    std::memcpy(p + 1, s.data(), s.size());
}

// Collects the log while a test runs.
class LogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        mOld = gConsoleP;
        gConsoleP = &mConsole;
    }
    void TearDown() override { gConsoleP = mOld; }
    std::string LastEntry(short* level = nullptr) {
        if (mConsole.Count() == 0)
            return std::string();
        mConsole.AskEntry(mConsole.Count() - 1, level);
        return mConsole.EntryText(mConsole.Count() - 1);
    }
    CConsole mConsole;
    CConsole* mOld = nullptr;
};

TEST(UniqueNames, CandidatesFollowTheWholeNameAndFitTheLimit) {
    unsigned char base[256], out[256];
    S2P("a.c", base);
    unsigned long counter = 1;
    NewUniqueName(base, 255, counter, out);
    EXPECT_EQ("a.c", P2S(out));
    EXPECT_EQ(2u, counter);
    NewUniqueName(base, 255, counter, out);
    EXPECT_EQ("a.c 2", P2S(out));
    NewUniqueName(base, 255, counter, out);
    EXPECT_EQ("a.c 3", P2S(out));

    // Cut so that name, blank and number fit: 255 - 2 - 1 = 252 bytes of the base.
    S2P(std::string(255, 'n'), base);
    counter = 10;
    NewUniqueName(base, 255, counter, out);
    EXPECT_EQ(std::string(252, 'n') + " 10", P2S(out));
    counter = 10;
    NewUniqueName(base, 31, counter, out);
    EXPECT_EQ(std::string(28, 'n') + " 10", P2S(out));

    // A limit above 255 is a caller's error, taken as 255.
    unsigned long before = CheckFailureCount();
    counter = 10;
    NewUniqueName(base, 1000, counter, out);
    EXPECT_EQ(255, out[0]);
    EXPECT_EQ(before + 1, CheckFailureCount());
}

TEST(UniqueNames, CrypticNamesAreFreshAndWellFormed) {
    unsigned char a[256], b[256];
    NewCrypticName(a);
    NewCrypticName(b);
    std::regex form("Fennel\\.[0-9a-f]+\\.[0-9a-f]+\\.[0-9a-f]+");
    EXPECT_TRUE(std::regex_match(P2S(a), form)) << P2S(a);
    EXPECT_TRUE(std::regex_match(P2S(b), form)) << P2S(b);
    EXPECT_NE(P2S(a), P2S(b));
}

TEST_F(LogFixture, PathComponents) {
    struct Case {
        std::string path;
        unsigned short max;
        short result;
        std::string component;
    } const cases[] = {
        {"src/lib/file.c", 255, 3, "src"},
        {"file.c", 255, 6, "file.c"},
        {"", 255, 0, ""},
        {"/abs", 255, 0, ""},
        {std::string(255, 'x') + "/y", 255, 255, std::string(255, 'x')},
        {"abcd/e", 4, 4, "abcd"},
        {std::string(300, 'x'), 255, -1, ""},
        {"abcde/e", 4, -1, ""},
    };
    for (auto const& c : cases) {
        CString component;
        EXPECT_EQ(c.result, BiteOffPathComponent(c.path.c_str(), component, c.max)) << c.path;
        if (c.result >= 0) {
            EXPECT_STREQ(c.component.c_str(), component.c_str()) << c.path;
        }
    }
    short level = -1;
    std::string msg = LastEntry(&level);
    EXPECT_EQ(2, level);
    EXPECT_NE(std::string::npos, msg.find("abcde/e\xD3 is longer than 4 characters.")) << msg;
}

TEST_F(LogFixture, ModeTexts) {
    struct Case {
        char const* text;
        unsigned short bits;
    } const toBits[] = {
        {"u=rw,g=r,o=r", 0644}, {"u=rwx,g=rx,o=", 0750}, {"u=rw,g=rw,o=rw", 0666},
        {"rw", 06},             {"", 0},                 {"u=,g=,o=", 0},
    };
    for (auto const& c : toBits)
        EXPECT_EQ(c.bits, PrivsString2Bits(CString(c.text))) << c.text;
    EXPECT_EQ(0, PrivsString2Bits(CString()));

    // An unknown letter is reported and passed over.
    EXPECT_EQ(0640, PrivsString2Bits(CString("u=rw,a,g=r")));
    short level = -1;
    std::string msg = LastEntry(&level);
    EXPECT_EQ(2, level);
    EXPECT_EQ("Funny character 'a' (0x61) found in file privilege string.", msg);

    struct Back {
        unsigned short bits;
        unsigned char compact;
        char const* text;
    } const toText[] = {
        {0644, 0, "u=rw,g=r,o=r"}, {0, 0, "u=,g=,o="}, {0777, 0, "u=rwx,g=rwx,o=rwx"},
        {0644, 1, "rwrr"},         {0700, 1, "rwx"},   {050, 1, "rx"},
    };
    for (auto const& b : toText)
        EXPECT_STREQ(b.text, PrivsBits2String(b.bits, b.compact).c_str()) << b.bits;
    // Text and bits agree both ways for every mode.
    for (unsigned short m = 0; m <= 0777; ++m)
        EXPECT_EQ(m, PrivsString2Bits(PrivsBits2String(m, 0)));
}

}  // namespace
