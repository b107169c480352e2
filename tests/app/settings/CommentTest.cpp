#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/settings/Comment.h"
#include "app/settings/Preferences.h"
#include "foundation/Log.h"

namespace {

TEST(CommentEncoding, ConvertsBetweenMacRomanAndTheLatinSets) {
    struct {
        long encoding;
        char const* macRoman;
        char const* rep;
        bool lossless;
    } const cases[] = {
        // e acute, line ends and ASCII.
        {kCommentEncodingISOLatin1, "caf\x8E\rok\n", "caf\xE9\rok\n", true},
        {kCommentEncodingWindowsLatin1, "caf\x8E", "caf\xE9", true},
        // Bullet, en dash, euro, ellipsis: Windows Latin 1 has them, ISO Latin 1 not.
        {kCommentEncodingWindowsLatin1, "\xA5\xD0\xDB\xC9", "\x95\x96\x80\x85", true},
        {kCommentEncodingISOLatin1, "a\xA5" "b", "a?b", false},
        // Delta and the Apple logo exist in neither.
        {kCommentEncodingWindowsLatin1, "\xC6\xF0", "??", false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.macRoman);
        auto to = CCommentConverter::Make(c.encoding, true);
        ASSERT_TRUE(to.has_value());
        bool lossless = false;
        EXPECT_EQ(to->Convert(c.macRoman, &lossless), c.rep);
        EXPECT_EQ(lossless, c.lossless);
        if (c.lossless) {
            EXPECT_EQ(CommentFromRep(c.rep, c.encoding), c.macRoman);
        }
    }
    // Bytes that mean nothing in the encoding come back as "?".
    EXPECT_EQ(CommentFromRep("\x81\x9D", kCommentEncodingWindowsLatin1), "??");
    EXPECT_EQ(CommentFromRep("\x85", kCommentEncodingISOLatin1), "?");

    // No conversion: bytes pass unchanged.
    EXPECT_FALSE(CCommentConverter::Make(kCommentEncodingNone, true).has_value());
    EXPECT_FALSE(CCommentConverter::Make(0x1234, true).has_value());
    EXPECT_EQ(CommentToRep("\x8E\xA5", kCommentEncodingNone), "\x8E\xA5");
    EXPECT_EQ(CommentFromRep("\xE9", kCommentEncodingNone), "\xE9");
}

class FakeWindow : public CCommentWindow {
public:
    std::string Text() const override { return text; }
    std::string SelectedText() const override { return selected; }
    void SetText(std::string const& t) override {
        text = t;
        selected.clear();
    }
    std::string text, selected;
};

TEST(Commentator, CopyModesOfferWhatTheDialogsStartWith) {
    std::vector<std::optional<std::string>> saved;
    auto saver = [&](std::optional<std::string> const& c) { saved.push_back(c); };

    // No stored comment: every mode starts empty.
    CCommentator none(std::nullopt, saver);
    for (short mode : {kCommentCopyWhole, kCommentCopySelection, kCommentCopyNothing})
        EXPECT_EQ(none.DialogStartText(mode), "");

    CCommentator c(std::string("whole comment"), saver);
    EXPECT_EQ(c.DialogStartText(kCommentCopyWhole), "whole comment");
    EXPECT_EQ(c.DialogStartText(kCommentCopySelection), "");  // no window, no selection
    EXPECT_EQ(c.DialogStartText(kCommentCopyNothing), "");
    EXPECT_TRUE(saved.empty());  // nothing to take over without a window

    FakeWindow w;
    c.AttachWindow(&w);
    EXPECT_EQ(w.text, "whole comment");
    w.text = "typed in the window";
    w.selected = "the window";
    // The window's text is taken over and saved; a selection wins in mode 0 too.
    EXPECT_EQ(c.DialogStartText(kCommentCopyWhole), "the window");
    EXPECT_EQ(c.Comment().value_or(""), "typed in the window");
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved.back().value_or(""), "typed in the window");
    EXPECT_EQ(c.DialogStartText(kCommentCopySelection), "the window");
    w.selected.clear();
    EXPECT_EQ(c.DialogStartText(kCommentCopyWhole), "typed in the window");
    EXPECT_EQ(c.DialogStartText(kCommentCopySelection), "");

    // After sending: mode 0 remembers the message, the others do not.
    c.MessageSent(kCommentCopySelection, "not kept");
    EXPECT_EQ(c.Comment().value_or(""), "typed in the window");
    c.MessageSent(kCommentCopyWhole, "message sent");
    EXPECT_EQ(c.Comment().value_or(""), "message sent");
    EXPECT_EQ(w.text, "message sent");
    EXPECT_EQ(saved.back().value_or(""), "message sent");

    // Closing the window takes its last text over.
    w.text = "last words";
    c.AttachWindow(nullptr);
    EXPECT_EQ(c.Comment().value_or(""), "last words");
    EXPECT_EQ(c.Window(), nullptr);
}

TEST(Commentator, TheCommentSurvivesARestart) {
    char tmpl[] = "/tmp/fw-comment-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string path = std::string(tmpl) + "/fennelwright/Fennelwright";
    CScriptedAlertSink alerts;
    StAlertSink quiet(&alerts);
    {
        CPreferences prefs(path);
        ASSERT_TRUE(prefs.Startup());
        CCommentator c(prefs.LoadComment(), [&](auto const& text) { prefs.SaveComment(text); });
        c.MessageSent(kCommentCopyWhole, "sent \x8E");
    }
    CPreferences prefs(path);
    ASSERT_TRUE(prefs.Startup());
    CCommentator c(prefs.LoadComment());
    EXPECT_EQ(c.Comment().value_or(""), "sent \x8E");
    std::filesystem::remove_all(tmpl);
}

}  // namespace
