// The commit comment: the one current log message that the comment window
// shows, the preferences keep across runs, and the message dialogs of commit,
// add and import start with; and the conversion of messages between the Mac
// character set and the encoding the repository's users expect.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/CString.h"

// How the message dialogs use the stored comment ("Comment Copy Mode").
constexpr short kCommentCopyWhole = 0;      // offer it all; the message sent becomes the comment
constexpr short kCommentCopySelection = 1;  // offer only what is selected in the comment window
constexpr short kCommentCopyNothing = 2;

// "Comment Text Encoding" values.
constexpr long kCommentEncodingNone = -1;
constexpr long kCommentEncodingISOLatin1 = 0x0201;
constexpr long kCommentEncodingWindowsLatin1 = 0x0500;

// Converts Mac Roman text to the encoding and back. Characters the other side
// cannot carry become "?" and clear *lossless (set to true first), so a message
// is never dropped or cut. Line ends and ASCII pass unchanged.
class CCommentConverter {
public:
    // Null result from Make for kCommentEncodingNone or an unknown encoding.
    static std::optional<CCommentConverter> Make(long encoding, bool toRep);
    std::string Convert(std::string_view text, bool* lossless = nullptr) const;
    long Encoding() const { return mEncoding; }
    bool ToRep() const { return mToRep; }

private:
    CCommentConverter(long encoding, bool toRep) : mEncoding(encoding), mToRep(toRep) {}
    long mEncoding;
    bool mToRep;
};

// Converts a message for sending with the configured encoding: unchanged when
// there is no conversion; otherwise converted, and a level-2 log line when
// characters had to be replaced.
std::string CommentToRep(std::string_view macRoman, long encoding);
// Converts text received from the server (log messages) back to Mac Roman.
std::string CommentFromRep(std::string_view text, long encoding);

// What the comment window offers the comment keeper.
class CCommentWindow {
public:
    virtual ~CCommentWindow() = default;
    virtual std::string Text() const = 0;
    // The selected text; empty when nothing is selected.
    virtual std::string SelectedText() const = 0;
    virtual void SetText(std::string const& text) = 0;
};

// The stored comment and the rules around it. The window, when there is
// one, is attached by the user interface; the saver writes the comment into
// the preferences ('Cmnt' 0).
class CCommentator {
public:
    using Saver = std::function<void(std::optional<std::string> const&)>;

    explicit CCommentator(std::optional<std::string> stored = std::nullopt, Saver saver = {})
        : mComment(std::move(stored)), mSaver(std::move(saver)) {}

    std::optional<std::string> const& Comment() const { return mComment; }

    // The window shows the comment when it is attached; null detaches it
    // (the window's text is taken over first, as when it closes).
    void AttachWindow(CCommentWindow* window);
    CCommentWindow* Window() const { return mWindow; }

    // The stored comment becomes the window's text and is saved (only while a
    // window exists).
    void RefreshComment();
    // The stored comment becomes text; the window shows it; it is saved.
    void TellNewComment(std::string const& text);

    // What a text view gets from the comment: without a stored comment
    // nothing (nullopt); else the whole comment unless selectionOnly; a
    // selection in the open window overrides both.
    std::optional<std::string> CommentForView(bool selectionOnly) const;

    // The starting text of the message dialogs of commit, add and import:
    // takes over the window's text, then offers according to the copy mode.
    std::string DialogStartText(short copyMode);
    // After the dialog's OK: with copy mode 0 the message sent becomes the
    // comment.
    void MessageSent(short copyMode, std::string const& message);

private:
    std::optional<std::string> mComment;
    Saver mSaver;
    CCommentWindow* mWindow = nullptr;
};
