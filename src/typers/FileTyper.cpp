#include "typers/FileTyper.h"

#include <cstring>
#include <string>
#include <string_view>

#include "BuildInfo.h"
#include "foundation/Log.h"
#include "foundation/TextUtils.h"
#include "platform/MacTypes.h"

namespace {

char const kBadValue[] = "*** bad value ***";

CString FromView(std::string_view v) {
    CString s;
    s.Init(v.data(), static_cast<int>(v.size()));
    return s;
}

std::string_view ViewOf(CString const& s) {
    return s.IsNull() ? std::string_view() : std::string_view(s.c_str(), static_cast<size_t>(s.Length()));
}

// The next comma-separated field of rest; false when no comma is left.
bool NextField(std::string_view& rest, std::string_view& field) {
    size_t comma = rest.find(',');
    if (comma == std::string_view::npos) return false;
    field = rest.substr(0, comma);
    rest.remove_prefix(comma + 1);
    return true;
}

bool ReadCode(std::string_view four, unsigned long& code) {
    if (four.size() != 4) return false;
    if (four == "****") {
        code = 0;
        return true;
    }
    code = 0;
    for (char c : four) code = (code << 8) | static_cast<unsigned char>(c);
    return true;
}

bool IsLineSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

uint32_t GetBE32(unsigned char const* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void PutBE32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// Stored typers only carry codes that add, import and receiving can use:
// the display-only "any" codes and anything out of range read as the
// default, and "DOS" (which nothing can write) as Unix.
unsigned char StoredStorage(unsigned short code) { return code <= kSFResByLine ? static_cast<unsigned char>(code) : kSFDataFork; }
unsigned char StoredKeyword(unsigned short code) {
    return code <= kKWStringsOnly_KK ? static_cast<unsigned char>(code) : kKWDefault;
}
unsigned char StoredLineStyle(unsigned short code) { return code == kLSMacOS ? kLSMacOS : kLSUnix; }

}  // namespace

// ---------------------------------------------------------------------------
// Conversions

CString OSTypeAsString(unsigned long code, bool textForm) {
    if (code == 0) return CString(textForm ? "****" : "*");
    char buf[4];
    PutBE32(reinterpret_cast<unsigned char*>(buf), static_cast<uint32_t>(code));
    return CString(buf, 4);
}

CString FilterKind(unsigned short kind) {
    switch (kind) {
        case kFTImportFilter: return CString("I");
        case kFTDisplayFilter: return CString("D");
        case kFTFileFilter: return CString("I+D");
        case kFTImportTranslator: return CString("Import");
        case kFTExportTranslator: return CString("Export");
        case kFTImExportTranslator: return CString("Im + Ex");
        default: return CString("undefined");
    }
}

unsigned short FilterKindFromString(CString const& text) {
    std::string_view t = ViewOf(text);
    if (t == "Export") return kFTExportTranslator;
    if (t == "Import") return kFTImportTranslator;
    if (t == "Im + Ex") return kFTImExportTranslator;
    if (t == "Filter") return kFTFileFilter;
    if (t == "I") return kFTImportFilter;
    if (t == "I+D") return kFTFileFilter;
    if (t == "D") return kFTDisplayFilter;
    return kFTMalformed;
}

CString KeywordSubstOption(unsigned short code, bool placeholder) {
    switch (code) {
        case kKWDefault: return CString(placeholder ? "-" : "");
        case kKWKeyValue: return CString("-kkv");
        case kKWKeyValueLocker: return CString("-kkvl");
        case kKWOldValue: return CString("-ko");
        case kKWBinary: return CString("-kb");
        case kKWValueOnly: return CString("-kv");
        case kKWStringsOnly_KK: return CString("-kk");
        case kKWAny: return CString("*");
        default: FW_FAIL("Bad keyword substitution code."); return CString(kBadValue);
    }
}

unsigned short KeywordSubstOptionFromString(CString const& text) {
    std::string_view t = ViewOf(text);
    if (t.empty() || t == "-") return kKWDefault;
    if (t == "-kkv") return kKWKeyValue;
    if (t == "-kkvl") return kKWKeyValueLocker;
    if (t == "-ko") return kKWOldValue;
    if (t == "-kb") return kKWBinary;
    if (t == "-kv") return kKWValueOnly;
    if (t == "-kk") return kKWStringsOnly_KK;
    if (t == "*") return kKWAny;
    return kKWUndefined;
}

CString StorageFormatOption(unsigned short code, bool textForm) {
    switch (code) {
        case kSFDataFork: return CString(textForm ? "DF" : "d");
        case kSFAppleSingle: return CString(textForm ? "ASG" : "a");
        case kSFResByLine: return CString(textForm ? "RBL" : "r");
        case kSFAny: return CString("*");
        case kSFUndefined: return CString("undef");
        default: FW_FAIL("Bad storage format code."); return CString(kBadValue);
    }
}

unsigned short StorageFormatOptionFromString(CString const& text) {
    std::string_view t = ViewOf(text);
    if (t.empty() || t == "DF") return kSFDataFork;
    if (t == "ASG") return kSFAppleSingle;
    if (t == "RBL") return kSFResByLine;
    if (t == "*") return kSFAny;
    return kSFUndefined;
}

CString LineStyleOption(unsigned short code, bool textForm) {
    switch (code) {
        case kLSMacOS: return CString(textForm ? "Mac OS" : "m");
        case kLSUnix: return CString(textForm ? "Unix" : "u");
        case kLSDOS: return CString(textForm ? "DOS" : "d");
        case kLSUndefined: return CString("undef");
        default: FW_FAIL("Bad line style code."); return CString(kBadValue);
    }
}

unsigned short LineStyleOptionFromString(CString const& text) {
    std::string_view t = ViewOf(text);
    if (t == "Mac OS") return kLSMacOS;
    if (t.empty() || t == "Unix") return kLSUnix;
    if (t == "DOS") return kLSDOS;
    return kLSUndefined;
}

// ---------------------------------------------------------------------------
// CFileTyper

CFileTyper::CFileTyper(CString const& pattern, unsigned long creator, unsigned long type, unsigned char storage,
                       unsigned char keyword, unsigned char lineStyle, unsigned short kind)
    : mPattern(pattern), mType(type), mCreator(creator), mStorage(storage), mKeyword(keyword), mKind(kind),
      mLineStyle(lineStyle) {
    FW_CHECK(mKind & kFTImExportTranslator);
}

CFileTyper::CFileTyper(CString const& pattern, unsigned long creator, unsigned long type, unsigned short kind)
    : mPattern(pattern), mType(type), mCreator(creator), mStorage(kSFDataFork), mKeyword(kKWDefault), mKind(kind),
      mLineStyle(kLSUndefined) {
    FW_CHECK(mKind & kFTFileFilter);
}

CFileTyper::CFileTyper(CString const& line) {
    std::string_view rest = ViewOf(line);
    while (!rest.empty() && IsLineSpace(rest.front())) rest.remove_prefix(1);
    // A line break inside would split the typer when it is stored.
    if (rest.find_first_of("\r\n") != std::string_view::npos) return;

    unsigned short kind = kFTMalformed;
    unsigned char storage = kSFDataFork, keyword = kKWDefault, lineStyle = kLSUnix;
    bool defaulted = false;
    std::string_view field;
    if (!NextField(rest, field) || field != "2") return;
    if (!NextField(rest, field)) return;
    kind = FilterKindFromString(FromView(field));
    if (kind == kFTFileFilter) {
        if (!NextField(rest, field)) return;
        kind = FilterKindFromString(FromView(field));
        if (kind < kFTImportFilter || kind > kFTFileFilter) return;
    } else if (kind == kFTImportTranslator || kind == kFTExportTranslator || kind == kFTImExportTranslator) {
        std::string_view ls, kw, sf;
        if (!NextField(rest, ls) || !NextField(rest, kw) || !NextField(rest, sf)) return;
        if (kind & kFTImportTranslator) {
            unsigned short k = KeywordSubstOptionFromString(FromView(kw));
            unsigned short f = StorageFormatOptionFromString(FromView(sf));
            keyword = StoredKeyword(k);
            storage = StoredStorage(f);
            defaulted = defaulted || keyword != k || storage != f;
        }
        if (kind & kFTExportTranslator) {
            unsigned short l = LineStyleOptionFromString(FromView(ls));
            lineStyle = StoredLineStyle(l);
            defaulted = defaulted || lineStyle != l;
        }
    } else {
        return;
    }
    // The option fields are counted, so creator, type and pattern are whatever
    // follows them, commas included.
    if (rest.size() < 8) return;
    unsigned long creator = 0, type = 0;
    if (!ReadCode(rest.substr(0, 4), creator) || !ReadCode(rest.substr(4, 4), type)) return;
    mPattern = FromView(rest.substr(8));
    mCreator = creator;
    mType = type;
    mStorage = storage;
    mKeyword = keyword;
    mLineStyle = lineStyle;
    mKind = kind;
    mOptionsDefaulted = defaulted;
}

CFileTyper::CFileTyper(unsigned char const* data, size_t length) {
    if (data == nullptr || length < 13) return;
    size_t end = 12;
    while (end < length && data[end] != 0) ++end;
    if (end == length) return;  // the pattern is not terminated inside the record
    unsigned short kind = data[9] >> 4;
    if (kind == 0) kind = kFTExportTranslator;
    if (!((kind >= kFTImportFilter && kind <= kFTFileFilter) || kind == kFTImportTranslator ||
          kind == kFTExportTranslator))
        return;
    mCreator = GetBE32(data);
    mType = GetBE32(data + 4);
    mKind = kind;
    mLineStyle = (kind & kFTExportTranslator) ? StoredLineStyle((data[9] >> 2) & 3) : kLSUnix;
    if (kind & kFTImportTranslator) {
        mStorage = StoredStorage(data[8] >> 4);
        mKeyword = StoredKeyword(data[8] & 15);
    } else {
        mStorage = kSFDataFork;
        mKeyword = kKWDefault;
    }
    mPattern.Init(reinterpret_cast<char const*>(data + 12), static_cast<int>(end - 12));
}

unsigned char CFileTyper::Storage() const {
    FW_CHECK(mStorage <= kSFResByLine);
    return mStorage;
}

unsigned char CFileTyper::Keyword() const {
    FW_CHECK(mKeyword <= kKWStringsOnly_KK);
    return mKeyword;
}

unsigned char CFileTyper::LineStyle() const {
    FW_CHECK(mLineStyle <= kLSUnix);
    return mLineStyle;
}

CString CFileTyper::TypeAsString(bool textForm) const { return OSTypeAsString(mType, textForm); }
CString CFileTyper::CreatorAsString(bool textForm) const { return OSTypeAsString(mCreator, textForm); }

bool CFileTyper::Matches(CString const& name) const {
    if (!(mKind & kFTExportTranslator) || mKind == kFTMalformed) return false;
    if (mPattern.IsNull() || name.IsNull()) return false;
    return fw::fnmatch(mPattern.c_str(), name.c_str(), 0) == 0;
}

bool CFileTyper::Matches(unsigned short kindMask, CString const& name, unsigned long type,
                         unsigned long creator) const {
    if (mKind == kFTMalformed) return false;
    if (!(mKind & (kFTImportFilter | kFTDisplayFilter | kFTImportTranslator))) return false;
    if (!(mKind & kindMask)) return false;
    if (mPattern.IsNull() || name.IsNull()) return false;
    if (fw::fnmatch(mPattern.c_str(), name.c_str(), 0) != 0) return false;
    return (mType == 0 || mType == type) && (mCreator == 0 || mCreator == creator);
}

void CFileTyper::TranslatorOptions(CString& lineStyle, CString& keyword, CString& storage) const {
    lineStyle = "";
    keyword = "";
    storage = "";
    if (mKind & kFTImportTranslator) {
        keyword = KeywordSubstOption(mKeyword, false);
        storage = StorageFormatOption(mStorage, true);
    }
    if (mKind & kFTExportTranslator) {
        bool binary = (mKind & kFTImportTranslator) && (mStorage != kSFDataFork || mKeyword == kKWBinary);
        if (!binary) lineStyle = LineStyleOption(mLineStyle, true);
    }
}

CString CFileTyper::ExportToString() const {
    CString out("2,");
    if (IsFilter()) {
        out += "Filter,";
        out += FilterKind(mKind);
        out += ",";
    } else if (IsTranslator()) {
        CString ls, kw, sf;
        TranslatorOptions(ls, kw, sf);
        out += FilterKind(mKind);
        out += ",";
        out += ls;
        out += ",";
        out += kw;
        out += ",";
        out += sf;
        out += ",";
    } else {
        return CString("Malformed file typer cannot be converted to string.");
    }
    out += CreatorAsString(true);
    out += TypeAsString(true);
    out += mPattern.IsNull() ? CString("") : mPattern;
    return out;
}

std::vector<unsigned char> CFileTyper::ExportToBinary() const {
    if (!FW_CHECK(mKind != kFTImExportTranslator)) return {};
    size_t n = mPattern.IsNull() ? 0 : static_cast<size_t>(mPattern.Length());
    std::vector<unsigned char> out(12 + n + 1, 0);
    PutBE32(out.data(), static_cast<uint32_t>(mCreator));
    PutBE32(out.data() + 4, static_cast<uint32_t>(mType));
    out[8] = static_cast<unsigned char>(((mStorage & 15) << 4) | (mKeyword & 15));
    unsigned kindNibble = mKind == kFTExportTranslator ? 0 : (mKind & 15);
    out[9] = static_cast<unsigned char>((kindNibble << 4) | ((mLineStyle & 3) << 2));
    if (n) std::memcpy(out.data() + 12, mPattern.c_str(), n);
    return out;
}

bool CFileTyper::MeltIn(CFileTyper const& other) {
    if (!(mPattern == other.mPattern) || mType != other.mType || mCreator != other.mCreator) return false;
    unsigned short both = mKind | other.mKind;
    if (both & kFTImExportTranslator) {
        mKind = both;
        if (other.mKind & kFTExportTranslator) mLineStyle = other.mLineStyle;
        if (other.mKind & kFTImportTranslator) {
            mStorage = other.mStorage;
            mKeyword = other.mKeyword;
        }
        return true;
    }
    if (both & kFTFileFilter) {
        mKind = both;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Blocks of typer text

int FileTypersFromString(TPtrArray<CFileTyper>& out, CString const& text, std::vector<std::string>* badLines) {
    std::string_view all = ViewOf(text);
    char sep = all.find('\r') != std::string_view::npos ? '\r' : '\n';
    int malformed = 0;
    while (!all.empty()) {
        size_t end = all.find(sep);
        std::string_view line = all.substr(0, end);
        all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
        // A CR LF block leaves the LF at the start of each line.
        while (!line.empty() && IsLineSpace(line.front())) line.remove_prefix(1);
        if (line.empty() || line.front() == '#') continue;
        auto* typer = new CFileTyper(FromView(line));
        if (typer->IsMalformed()) {
            delete typer;
            ++malformed;
            if (badLines) badLines->emplace_back(line);
        } else {
            out.append(typer);
        }
    }
    return malformed;
}

CString FileTypersToString(TPtrArray<CFileTyper> const& typers) {
    CString out("");
    for (CFileTyper* t : typers) {
        out += t->ExportToString();
        out += '\n';
    }
    return out;
}

CString FileTypersToClipboard(TPtrArray<CFileTyper> const& typers, bool filters) {
    CString out(filters ? "# Fennelwright Ignore Filters\r" : "# Fennelwright Translators\r");
    for (CFileTyper* t : typers) {
        out += t->ExportToString();
        out += '\r';
    }
    return out;
}

CString FileTyperDisplayText(CFileTyper const& typer) {
    CString s = typer.ExportToString();
    s.Replace(',', ' ');
    return s;
}

bool TypersForPaste(TPtrArray<CFileTyper>& out, CString const& text, bool filterList, ETyperSource source) {
    bool drag = source == ETyperSource::kDrag;
    TPtrArray<CFileTyper> parsed(kPArrOwning);
    int malformed = FileTypersFromString(parsed, text);
    if (malformed > 0) {
        char const* fmt = drag ? "There %s %d malformed item%s in this drag. The whole drag is ignored."
                               : "There %s %d malformed item%s in the clipboard. Nothing at all is pasted.";
        GAlert(kAlertCaution, fmt, malformed == 1 ? "was" : "were", malformed, malformed == 1 ? "" : "s");
        return false;
    }
    int mismatched = 0, defaulted = 0;
    for (CFileTyper* t : parsed) {
        if (filterList ? t->IsFilter() : t->IsTranslator()) {
            out.append(new CFileTyper(*t));
            if (t->mOptionsDefaulted) ++defaulted;
        } else {
            ++mismatched;
        }
    }
    if (defaulted > 0)
        GLogPrintf(2, "%d pasted item%s an unknown line style, keyword substitution or storage format; the default "
                      "is used instead.",
                   defaulted, defaulted == 1 ? " has" : "s have");
    if (mismatched > 0) {
        char const* what = filterList ? "Ignore Filter" : "Translator";
        if (drag) {
            if (mismatched == 1)
                GLogPrintf(2, "There was 1 non %s item in this drag. This non matching item was ignored.", what);
            else
                GLogPrintf(2, "There were %d non %s items in this drag. These non matching items were ignored.",
                           mismatched, what);
        } else {
            if (mismatched == 1)
                GLogPrintf(2, "There is 1 non %s item in the clipboard. This non matching item was not pasted.",
                           what);
            else
                GLogPrintf(2, "There are %d non %s items in the clipboard. These non matching items were not pasted.",
                           mismatched, what);
        }
    }
    return true;
}

CFileTyper TyperForDroppedFile(CString const& name, unsigned long type, unsigned long creator, bool filterList) {
    if (filterList) return CFileTyper(name, creator, type, kFTFileFilter);
    unsigned char storage = kSFDataFork, keyword = kKWBinary;
    if (type == FourCC("TEXT")) {
        keyword = kKWDefault;
    } else if (type == FourCC("RSRC") || type == FourCC("rsrc")) {
        storage = kSFResByLine;
        keyword = kKWDefault;
    }
    return CFileTyper(name, creator, type, storage, keyword, kLSUnix, kFTImExportTranslator);
}

bool TyperEditorAccepts(CString const& creator, CString const& type, CString const& pattern) {
    auto codeOk = [](CString const& s) { return ViewOf(s) == "*" || s.Length() == 4; };
    if (!codeOk(creator) || !codeOk(type) || pattern.Empty()) return false;
    // A line break would split the stored line.
    return !pattern.HasChars("\r\n");
}

// ---------------------------------------------------------------------------
// CFileTyperSet

CFileTyperSet& CFileTyperSet::operator=(CFileTyperSet const& other) {
    if (this == &other) return *this;
    Clear();
    CopyTypers(mTranslators, other.mTranslators);
    CopyTypers(mIgnoreFilters, other.mIgnoreFilters);
    return *this;
}

CFileTyper const* CFileTyperSet::FirstExport(CString const& name) const {
    for (CFileTyper* t : mTranslators)
        if (t->Matches(name)) return t;
    return nullptr;
}

CFileTyper const* CFileTyperSet::FirstImport(CString const& name, unsigned long type, unsigned long creator) const {
    for (CFileTyper* t : mTranslators)
        if (t->Matches(kFTImportTranslator, name, type, creator)) return t;
    return nullptr;
}

unsigned char CFileTyperSet::ImportStorageFormat(CString const& name, unsigned long type,
                                                 unsigned long creator) const {
    CFileTyper const* t = FirstImport(name, type, creator);
    return t ? StoredStorage(t->Storage()) : kSFDataFork;
}

unsigned char CFileTyperSet::ImportKeywordOption(CString const& name, unsigned long type,
                                                 unsigned long creator) const {
    CFileTyper const* t = FirstImport(name, type, creator);
    return t ? StoredKeyword(t->Keyword()) : kKWDefault;
}

unsigned char CFileTyperSet::ExportLineStyle(CString const& name) const {
    CFileTyper const* t = FirstExport(name);
    return t ? StoredLineStyle(t->LineStyle()) : kLSMacOS;
}

unsigned long CFileTyperSet::ExportFileType(CString const& name) const {
    CFileTyper const* t = FirstExport(name);
    return t ? t->mType : FourCC("TEXT");
}

unsigned long CFileTyperSet::ExportFileCreator(CString const& name) const {
    CFileTyper const* t = FirstExport(name);
    return t ? t->mCreator : FourCC("CWIE");
}

bool CFileTyperSet::IgnoreFile(unsigned short kindMask, CString const& name, unsigned long type,
                               unsigned long creator) const {
    for (CFileTyper* t : mIgnoreFilters)
        if (t->Matches(kindMask, name, type, creator)) return true;
    return false;
}

int CFileTyperSet::AddFromText(CString const& text) {
    TPtrArray<CFileTyper> parsed(0);
    int malformed = FileTypersFromString(parsed, text);
    for (CFileTyper* t : parsed) (t->IsFilter() ? mIgnoreFilters : mTranslators).append(t);
    return malformed;
}

void CopyTypers(TPtrArray<CFileTyper>& to, TPtrArray<CFileTyper> const& from) {
    for (CFileTyper* t : from) to.append(new CFileTyper(*t));
}

// ---------------------------------------------------------------------------
// The shipped defaults, built into the program so that a new installation
// never starts without them.

asm(".pushsection .rodata\n"
    ".balign 1\n"
    ".globl fwDefaultTypersStart\n"
    ".hidden fwDefaultTypersStart\n"
    ".globl fwDefaultTypersEnd\n"
    ".hidden fwDefaultTypersEnd\n"
    "fwDefaultTypersStart:\n"
    ".incbin \"" FW_SOURCE_DIR "/resources/default-typers.txt\"\n"
    "fwDefaultTypersEnd:\n"
    ".popsection\n");
extern "C" char const fwDefaultTypersStart[];
extern "C" char const fwDefaultTypersEnd[];

CString DefaultTyperText() {
    CString s;
    s.Init(fwDefaultTypersStart, static_cast<int>(fwDefaultTypersEnd - fwDefaultTypersStart));
    return s;
}
