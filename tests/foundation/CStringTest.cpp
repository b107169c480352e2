#include "foundation/CString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/Log.h"

namespace {

// Null and empty are different states: describe a string with both visible.
std::string Show(CString const& s) {
    return s.IsNull() ? std::string("<null>") : "'" + std::string(s.c_str()) + "'";
}

CString Null() { return CString(); }

struct CheckCounter {
    unsigned long start = CheckFailureCount();
    unsigned long Failed() const { return CheckFailureCount() - start; }
};

}  // namespace

TEST(CString, StatesAndLength) {
    CString null;
    CString empty("");
    CString fromNullPtr(static_cast<char const*>(nullptr));
    EXPECT_EQ(null.Length(), -1);
    EXPECT_EQ(fromNullPtr.Length(), -1);
    EXPECT_EQ(empty.Length(), 0);
    EXPECT_TRUE(null.Empty());
    EXPECT_TRUE(empty.Empty());
    EXPECT_FALSE(empty.IsNull());
    EXPECT_FALSE(null == empty);
    CString copy(empty);
    EXPECT_FALSE(copy.IsNull());
    EXPECT_NE(copy.c_str(), empty.c_str());  // deep copy
}

TEST(CString, ConcatenationWithNullOperands) {
    struct { CString left; CString right; char const* plus; char const* plusEq; } cases[] = {
        {"abc", Null(), nullptr, "abc"},
        {Null(), "abc", nullptr, nullptr},
        {"", "abc", "abc", "abc"},
        {"abc", "", "abc", "abc"},
        {"ab", "cd", "abcd", "abcd"},
        {Null(), Null(), nullptr, nullptr},
    };
    for (auto& c : cases) {
        CString sum = c.left + c.right;
        EXPECT_EQ(Show(sum), Show(CString(c.plus))) << Show(c.left) << " + " << Show(c.right);
        CString acc = c.left;
        acc += c.right;
        EXPECT_EQ(Show(acc), Show(CString(c.plusEq))) << Show(c.left) << " += " << Show(c.right);
        CString acc2 = c.left;
        acc2 += c.right.c_str();  // the char* forms behave alike
        EXPECT_EQ(Show(acc2), Show(CString(c.plusEq)));
    }
    CString null;
    null += 'x';
    EXPECT_TRUE(null.IsNull());
    CString self("ab");
    self += self;  // appending itself reads before the old block goes
    EXPECT_EQ(Show(self), "'abab'");
}

TEST(CString, AppendBuildsLists) {
    CString list;
    list.append("a", ", ");
    list.append("", ", ");
    list.append(Null(), ", ");
    list.append("b", ", ");
    list.append("c", ", ");
    EXPECT_EQ(Show(list), "'a, b, c'");
}

TEST(CString, HasPrefix) {
    struct { CString self; char const* prefix; bool proper; bool expected; } cases[] = {
        {Null(), "", true, true},
        {Null(), nullptr, false, true},
        {Null(), "a", false, false},
        {"", "a", false, false},
        {"abc", "ab", true, true},
        {"abc", "abc", true, false},
        {"abc", "abc", false, true},
        {"abc", "abd", false, false},
        {"ab", "abc", false, false},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.self.HasPrefix(c.prefix, c.proper), c.expected)
            << Show(c.self) << " prefix " << (c.prefix ? c.prefix : "<null>") << " proper " << c.proper;
}

TEST(CString, Shortening) {
    CString s("abcd");
    s.ShortenBy(10);
    EXPECT_TRUE(s.IsNull());
    s = "abcd";
    s.ShortenBy(4);
    EXPECT_EQ(Show(s), "''");
    s = "abcdef";
    s.ShortenTo(3);
    EXPECT_EQ(Show(s), "'abc'");
    s.ShortenTo(10);
    EXPECT_EQ(Show(s), "'abc'");

    s = "abcdef";
    s.ShortenAtFrontTo(3, true);
    EXPECT_EQ(Show(s), "'\xC9" "ef'");
    s = "abcdef";
    s.ShortenAtFrontTo(3, false);
    EXPECT_EQ(Show(s), "'def'");
    s = "abcdef";
    s.ShortenAtFrontTo(0, true);  // no room for the ellipsis: it must not replace the NUL
    EXPECT_EQ(Show(s), "''");
}

TEST(CString, ToPStringCutsAtTheFrontWithinItsBuffer) {
    std::string text(300, 'x');
    for (int i = 0; i < 300; ++i) text[i] = static_cast<char>('a' + i % 26);
    CString s(text.c_str());

    unsigned char buf[260];
    std::memset(buf, 0xEE, sizeof buf);
    s.ToPString(buf, 255);
    EXPECT_EQ(buf[0], 255);
    EXPECT_EQ(buf[1], 0xC9);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf + 2), 254), text.substr(300 - 254));
    EXPECT_EQ(buf[256], 0xEE);

    struct { int max; int expectedLength; } limits[] = {{0, 0}, {1, 1}, {1000, 255}, {-5, 0}};
    for (auto const& l : limits) {
        std::memset(buf, 0xEE, sizeof buf);
        s.ToPString(buf, l.max);
        EXPECT_EQ(buf[0], l.expectedLength) << l.max;
        EXPECT_EQ(buf[l.expectedLength + 1], 0xEE) << "wrote past max for " << l.max;
    }

    CString("hi").ToPString(buf, 255);
    EXPECT_EQ(buf[0], 2);
    EXPECT_EQ(std::memcmp(buf + 1, "hi", 2), 0);
    Null().ToPString(buf, 255);
    EXPECT_EQ(buf[0], 0);
}

TEST(CString, SetChecksItsPosition) {
    CheckCounter checks;
    CString s("abc");
    s.Set(1, 'X');
    EXPECT_EQ(Show(s), "'aXc'");
    s.Set(3, 'Y');   // the terminator
    s.Set(-1, 'Y');
    s.Set(100, 'Y');
    EXPECT_EQ(Show(s), "'aXc'");
    CString null;
    null.Set(0, 'Y');
    EXPECT_TRUE(null.IsNull());
    EXPECT_EQ(checks.Failed(), 4u);
}

TEST(CString, AssignmentForms) {
    unsigned char ps[] = {3, 'a', 0xD2, 'c', 'z'};
    CString s;
    s = ps;
    EXPECT_EQ(Show(s), "'a\xD2" "c'");
    s = static_cast<char const*>(nullptr);
    EXPECT_TRUE(s.IsNull());
    s = "x";
    s = s;  // self-assignment keeps the text
    CString& alias = s;
    s = alias;
    EXPECT_EQ(Show(s), "'x'");
    s = s.c_str();
    EXPECT_EQ(Show(s), "'x'");

    CheckCounter checks;
    CString p;
    p.Init(4);
    p.Buffer()[0] = 2;
    p.Buffer()[1] = 'q';
    p.Buffer()[2] = 'r';
    p = reinterpret_cast<unsigned char const*>(p.c_str());  // its own block: refused
    EXPECT_EQ(checks.Failed(), 1u);

    CString part("abcdef", 3);
    EXPECT_EQ(Show(part), "'abc'");
    CString bytes;
    bytes.Init(static_cast<char const*>(nullptr), 3);
    EXPECT_TRUE(bytes.IsNull());
    EXPECT_EQ(checks.Failed(), 2u);
}

TEST(CString, ExtendByKeepsTextAndGivesRoom) {
    CString s("abc");
    s.ExtendBy(100);
    EXPECT_EQ(Show(s), "'abc'");
    ASSERT_GE(s.Capacity(), 103);
    std::memcpy(s.Buffer() + 3, "defg", 5);
    EXPECT_EQ(Show(s), "'abcdefg'");
    CString null;
    null.ExtendBy(10);
    EXPECT_EQ(Show(null), "''");
    EXPECT_GE(null.Capacity(), 10);
}

TEST(CString, ByteHelpers) {
    CString s("Hello \xC9 World");
    s.ToLower();
    EXPECT_EQ(Show(s), "'hello \xC9 world'");  // only ASCII letters change
    s.Replace('o', '0');
    EXPECT_EQ(Show(s), "'hell0 \xC9 w0rld'");
    EXPECT_TRUE(s.HasChars("xyz\xC9"));
    EXPECT_FALSE(s.HasChars("xyz"));
    EXPECT_FALSE(s.HasChars(nullptr));
    EXPECT_FALSE(Null().HasChars("a"));
    EXPECT_EQ(s[0], 'h');
    EXPECT_EQ(s[1000], 0);
    EXPECT_EQ(Null()[0], 0);
}

TEST(CString, SortOrderComparesBytesUnsigned) {
    CString a("a"), high("\xE9"), null;
    EXPECT_LT(parr_compare(a, high), 0);  // 0xE9 sorts after ASCII
    EXPECT_LT(parr_compare(null, a), 0);
    EXPECT_EQ(parr_compare(null, null), 0);
}
