// File typers: the user's rules that decide how Mac files are stored in the
// repository (translators) and which files are left out (ignore filters).
//
// A typer matches by a shell pattern on the name and, for import and filter
// matching, by Finder type and creator (0 = any). The application keeps two
// ordered lists; the first typer that matches decides (CFileTyperSet).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/CString.h"
#include "foundation/TPtrArray.h"

// Kind bits.
constexpr unsigned short kFTImportFilter = 1;    // "I": left out of imports
constexpr unsigned short kFTDisplayFilter = 2;   // "D": left out of the sandbox display
constexpr unsigned short kFTFileFilter = 3;      // mask of the filter bits; also "I+D" and "Filter"
constexpr unsigned short kFTImportTranslator = 8;
constexpr unsigned short kFTExportTranslator = 16;
constexpr unsigned short kFTImExportTranslator = 24;  // mask of the translator bits; also "Im + Ex"
constexpr unsigned short kFTMalformed = 15;            // a typer that could not be read

// Storage format codes.
constexpr unsigned char kSFDataFork = 0;    // "DF" / "d"
constexpr unsigned char kSFAppleSingle = 1; // "ASG" / "a"
constexpr unsigned char kSFResByLine = 2;   // "RBL" / "r"
constexpr unsigned char kSFAny = 4;         // "*": decide per file (dialogs and display only)
constexpr unsigned char kSFUndefined = 15;

// Keyword substitution codes.
constexpr unsigned char kKWDefault = 0;
constexpr unsigned char kKWKeyValue = 1;        // -kkv
constexpr unsigned char kKWKeyValueLocker = 2;  // -kkvl
constexpr unsigned char kKWOldValue = 3;        // -ko
constexpr unsigned char kKWBinary = 4;          // -kb
constexpr unsigned char kKWValueOnly = 5;       // -kv
constexpr unsigned char kKWStringsOnly_KK = 6;  // -kk
constexpr unsigned char kKWAny = 8;             // "*": decide per file (dialogs and display only)
constexpr unsigned char kKWUndefined = 15;

// Line style codes.
constexpr unsigned char kLSMacOS = 0;
constexpr unsigned char kLSUnix = 1;
constexpr unsigned char kLSDOS = 2;  // only recognised when parsing
constexpr unsigned char kLSUndefined = 3;

class CFileTyper {
public:
    // A translator; kind must hold a translator bit.
    CFileTyper(CString const& pattern, unsigned long creator, unsigned long type, unsigned char storage,
               unsigned char keyword, unsigned char lineStyle, unsigned short kind);
    // An ignore filter; kind must hold a filter bit.
    CFileTyper(CString const& pattern, unsigned long creator, unsigned long type, unsigned short kind);
    CFileTyper(CFileTyper const&) = default;
    CFileTyper& operator=(CFileTyper const&) = default;
    // Parses one line of the text form; a line that cannot be read gives
    // kind kFTMalformed.
    explicit CFileTyper(CString const& line);
    // Reads the binary form of older preferences (length bytes at data); a
    // record that is too short or has no terminated pattern gives kind
    // kFTMalformed.
    CFileTyper(unsigned char const* data, size_t length);

    bool IsMalformed() const { return mKind == kFTMalformed; }
    bool IsFilter() const { return mKind >= 1 && mKind <= kFTFileFilter; }
    bool IsTranslator() const {
        return mKind == kFTImportTranslator || mKind == kFTExportTranslator || mKind == kFTImExportTranslator;
    }

    unsigned char Storage() const;
    unsigned char Keyword() const;
    unsigned char LineStyle() const;
    CString TypeAsString(bool textForm) const;
    CString CreatorAsString(bool textForm) const;

    // Export matching: an export translator whose pattern matches name.
    bool Matches(CString const& name) const;
    // Import and filter matching.
    bool Matches(unsigned short kindMask, CString const& name, unsigned long type, unsigned long creator) const;

    void TranslatorOptions(CString& lineStyle, CString& keyword, CString& storage) const;
    CString ExportToString() const;
    // The binary form; empty when the typer cannot be represented (kind 24).
    std::vector<unsigned char> ExportToBinary() const;
    // Takes over other's settings when both have the same pattern, type and
    // creator; returns whether it did.
    bool MeltIn(CFileTyper const& other);

    CString mPattern;
    unsigned long mType = 0;
    unsigned long mCreator = 0;
    unsigned char mStorage = kSFDataFork;
    unsigned char mKeyword = kKWDefault;
    unsigned short mKind = kFTMalformed;
    unsigned char mLineStyle = kLSUnix;
    // Set by the text reader when an option it found was unknown (or only
    // meaningful for display) and the default was taken instead. Not stored.
    bool mOptionsDefaulted = false;
};

// ---------------------------------------------------------------------------
// Conversions. textForm true: the form used in stored and copied typers;
// false: the short display form.

CString OSTypeAsString(unsigned long code, bool textForm);
CString FilterKind(unsigned short kind);
unsigned short FilterKindFromString(CString const& text);
CString KeywordSubstOption(unsigned short code, bool placeholder);
unsigned short KeywordSubstOptionFromString(CString const& text);
CString StorageFormatOption(unsigned short code, bool textForm);
unsigned short StorageFormatOptionFromString(CString const& text);
CString LineStyleOption(unsigned short code, bool textForm);
unsigned short LineStyleOptionFromString(CString const& text);

// Parses a block of typer lines and appends the valid typers to out in order.
// Returns the number of lines that could not be read (they are dropped).
// The lines themselves go to badLines when given.
int FileTypersFromString(TPtrArray<CFileTyper>& out, CString const& text,
                         std::vector<std::string>* badLines = nullptr);

// The stored form of a list: every typer's text form followed by LF.
CString FileTypersToString(TPtrArray<CFileTyper> const& typers);

// The clipboard and drag form: a "# Fennelwright Translators" or
// "# Fennelwright Ignore Filters" line, then one typer per line, each line
// ended by CR.
CString FileTypersToClipboard(TPtrArray<CFileTyper> const& typers, bool filters);

// The text a list shows for typing-to-select: the text form with spaces for
// the commas.
CString FileTyperDisplayText(CFileTyper const& typer);

// ---------------------------------------------------------------------------
// Pasting and dropping into a typer list

enum class ETyperSource { kClipboard, kDrag };

// Reads pasted or dropped text for one of the two lists. When any line is
// malformed, nothing is taken and the user is told (alert); typers of the
// other list's kind are dropped and reported at warning level. The typers to
// insert are appended to out. Returns false when nothing may be inserted.
bool TypersForPaste(TPtrArray<CFileTyper>& out, CString const& text, bool filterList, ETyperSource source);

// The typer made for a file dropped onto a list.
CFileTyper TyperForDroppedFile(CString const& name, unsigned long type, unsigned long creator, bool filterList);

// Whether the typer editor can take its fields: creator and type "*" or
// exactly four characters, a non-empty pattern without line breaks.
bool TyperEditorAccepts(CString const& creator, CString const& type, CString const& pattern);

// ---------------------------------------------------------------------------
// The two ordered lists and the look-ups over them. First match wins.

class CFileTyperSet {
public:
    CFileTyperSet() : mTranslators(kPArrOwning), mIgnoreFilters(kPArrOwning) {}
    CFileTyperSet(CFileTyperSet const& other) : CFileTyperSet() { *this = other; }
    CFileTyperSet& operator=(CFileTyperSet const& other);

    unsigned char ImportStorageFormat(CString const& name, unsigned long type, unsigned long creator) const;
    unsigned char ImportKeywordOption(CString const& name, unsigned long type, unsigned long creator) const;
    unsigned char ExportLineStyle(CString const& name) const;
    unsigned long ExportFileType(CString const& name) const;
    unsigned long ExportFileCreator(CString const& name) const;
    bool IgnoreFile(unsigned short kindMask, CString const& name, unsigned long type, unsigned long creator) const;

    // Reads typer text (the shipped defaults or a stored list): translators
    // go to the translators, filters to the ignore filters. Returns the
    // number of malformed lines.
    int AddFromText(CString const& text);
    void Clear() {
        mTranslators.clear();
        mIgnoreFilters.clear();
    }

    TPtrArray<CFileTyper> mTranslators;
    TPtrArray<CFileTyper> mIgnoreFilters;

private:
    CFileTyper const* FirstExport(CString const& name) const;
    CFileTyper const* FirstImport(CString const& name, unsigned long type, unsigned long creator) const;
};

// Copies every typer of from to the end of to.
void CopyTypers(TPtrArray<CFileTyper>& to, TPtrArray<CFileTyper> const& from);

// The typer text a new installation starts with (shipped with the program).
CString DefaultTyperText();
