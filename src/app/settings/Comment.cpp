#include "app/settings/Comment.h"

#include "foundation/Log.h"
#include "platform/MacRoman.h"

namespace {

// Windows code page 1252, bytes 0x80..0x9F (0 = not defined).
constexpr char32_t kCP1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The code point of a byte in the encoding; 0 when the byte means nothing
// there (or is a C1 control, which no Mac Roman character maps to).
char32_t FromEncoding(long encoding, unsigned char b) {
    if (b < 0x80) return b;
    if (b >= 0xA0) return b;
    return encoding == kCommentEncodingWindowsLatin1 ? kCP1252High[b - 0x80] : 0;
}

// The byte of a code point in the encoding, or -1.
int ToEncoding(long encoding, char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    if (encoding == kCommentEncodingWindowsLatin1)
        for (int i = 0; i < 32; ++i)
            if (kCP1252High[i] == cp) return 0x80 + i;
    return -1;
}

}  // namespace

std::optional<CCommentConverter> CCommentConverter::Make(long encoding, bool toRep) {
    if (encoding != kCommentEncodingISOLatin1 && encoding != kCommentEncodingWindowsLatin1) return std::nullopt;
    return CCommentConverter(encoding, toRep);
}

std::string CCommentConverter::Convert(std::string_view text, bool* lossless) const {
    if (lossless) *lossless = true;
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto b = static_cast<unsigned char>(ch);
        int converted;
        if (b < 0x80) {
            converted = b;
        } else if (mToRep) {
            converted = ToEncoding(mEncoding, fw::MacRomanToUnicode(b));
        } else {
            char32_t cp = FromEncoding(mEncoding, b);
            converted = cp ? fw::UnicodeToMacRoman(cp) : -1;
        }
        if (converted < 0) {
            converted = '?';
            if (lossless) *lossless = false;
        }
        out += static_cast<char>(converted);
    }
    return out;
}

std::string CommentToRep(std::string_view macRoman, long encoding) {
    auto conv = CCommentConverter::Make(encoding, true);
    if (!conv) return std::string(macRoman);
    bool lossless = true;
    std::string out = conv->Convert(macRoman, &lossless);
    if (!lossless)
        GLogPrintf(2, "Some characters of the log message have no equivalent in the comment text encoding; they are "
                      "sent as \"?\".");
    return out;
}

std::string CommentFromRep(std::string_view text, long encoding) {
    auto conv = CCommentConverter::Make(encoding, false);
    return conv ? conv->Convert(text) : std::string(text);
}

// ---------------------------------------------------------------------------

void CCommentator::AttachWindow(CCommentWindow* window) {
    if (window == nullptr) {
        RefreshComment();
        mWindow = nullptr;
        return;
    }
    mWindow = window;
    mWindow->SetText(mComment.value_or(std::string()));
}

void CCommentator::RefreshComment() {
    if (!mWindow) return;
    mComment = mWindow->Text();
    if (mSaver) mSaver(mComment);
}

void CCommentator::TellNewComment(std::string const& text) {
    mComment = text;
    if (mWindow) mWindow->SetText(text);
    if (mSaver) mSaver(mComment);
}

std::optional<std::string> CCommentator::CommentForView(bool selectionOnly) const {
    if (!mComment) return std::nullopt;
    std::optional<std::string> out;
    if (!selectionOnly) out = *mComment;
    if (mWindow) {
        std::string selected = mWindow->SelectedText();
        if (!selected.empty()) out = selected;
    }
    return out;
}

std::string CCommentator::DialogStartText(short copyMode) {
    RefreshComment();
    if (copyMode != kCommentCopyWhole && copyMode != kCommentCopySelection) return std::string();
    return CommentForView(copyMode == kCommentCopySelection).value_or(std::string());
}

void CCommentator::MessageSent(short copyMode, std::string const& message) {
    if (copyMode == kCommentCopyWhole) TellNewComment(message);
}
