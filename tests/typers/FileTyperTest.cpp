#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "foundation/Log.h"
#include "platform/MacTypes.h"
#include "typers/FileTyper.h"

namespace {

std::string Str(CString const& s) { return s.IsNull() ? std::string("<null>") : std::string(s.c_str()); }

struct ParseCase {
    char const* line;
    unsigned short kind;  // kFTMalformed: must be refused
    unsigned char storage, keyword, lineStyle;
    unsigned long creator, type;
    char const* pattern;
};

TEST(FileTyperText, ParsesLinesToFieldsOrRefusesThem) {
    const ParseCase cases[] = {
        {"2,Filter,I+D,********.DS_Store", 3, 0, 0, 1, 0, 0, ".DS_Store"},
        {"2,Filter,D,MPS TEXT*.c", 2, 0, 0, 1, FourCC("MPS "), FourCC("TEXT"), "*.c"},
        {"2,Im + Ex,Unix,,DF,*********.txt", 24, 0, 0, 1, 0, 0, "*.txt"},
        {"2,Im + Ex,Mac OS,-kkv,DF,*********", 24, 0, 1, 0, 0, 0, "*"},
        {"2,Import,,-ko,RBL,****rsrc*", 8, 2, 3, 1, 0, FourCC("rsrc"), "*"},
        {"2,Export,Unix,,,RSEDrsrc*.rsrc", 16, 0, 0, 1, FourCC("RSED"), FourCC("rsrc"), "*.rsrc"},
        {" \t\n2,Im + Ex,,-kb,ASG,********x", 24, 1, 4, 1, 0, 0, "x"},  // leading white space skipped
        // Commas inside the pattern or the codes belong to them.
        {"2,Im + Ex,Unix,,DF,*********,v", 24, 0, 0, 1, 0, 0, "*,v"},
        {"2,Filter,I,********Foo, Bar.rsrc", 1, 0, 0, 1, 0, 0, "Foo, Bar.rsrc"},
        {"2,Import,,-kb,DF,a,b,c,d,*", 8, 0, 4, 1, FourCC("a,b,"), FourCC("c,d,"), "*"},
        // Empty pattern: the text form may carry one.
        {"2,Filter,I,********", 1, 0, 0, 1, 0, 0, ""},
        // Unparsable options read as the defaults; display-only "any" codes and
        // DOS are not kept in a stored typer.
        {"2,Import,,bogus,XYZ,********a", 8, 0, 0, 1, 0, 0, "a"},
        {"2,Import,,*,*,********a", 8, 0, 0, 1, 0, 0, "a"},
        {"2,Export,weird,,,********a", 16, 0, 0, 1, 0, 0, "a"},
        {"2,Export,DOS,,,********a", 16, 0, 0, 1, 0, 0, "a"},
        // Malformed lines.
        {"1,Filter,I,********a", kFTMalformed},
        {"2,I,********a", kFTMalformed},                 // filter kind without "Filter"
        {"2,Filter,Import,********a", kFTMalformed},     // a filter line needs I, D or I+D
        {"2,Filter,X,********a", kFTMalformed},
        {"2,Im + Ex,Unix,,DF,*******", kFTMalformed},     // fewer than eight characters left
        {"2,Im + Ex,Unix,,DF", kFTMalformed},
        {"2,Bogus,Unix,,DF,********a", kFTMalformed},
        {"2,Filter,I,********a\nb", kFTMalformed},     // a line break inside
        {"garbage", kFTMalformed},
        {"", kFTMalformed},
        {"2", kFTMalformed},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.line);
        CFileTyper t{CString(c.line)};
        EXPECT_EQ(t.mKind, c.kind);
        if (c.kind == kFTMalformed) continue;
        EXPECT_EQ(t.mStorage, c.storage);
        EXPECT_EQ(t.mKeyword, c.keyword);
        EXPECT_EQ(t.mLineStyle, c.lineStyle);
        EXPECT_EQ(t.mCreator, c.creator);
        EXPECT_EQ(t.mType, c.type);
        EXPECT_EQ(Str(t.mPattern), c.pattern);
    }
}

TEST(FileTyperText, ExportsAndReadsBackEveryKind) {
    struct {
        CFileTyper typer;
        char const* text;
    } const cases[] = {
        {CFileTyper(CString("*.c"), 0, 0, kFTFileFilter), "2,Filter,I+D,*********.c"},
        {CFileTyper(CString("a,b"), FourCC("MPS "), FourCC("TEXT"), kFTImportFilter), "2,Filter,I,MPS TEXTa,b"},
        {CFileTyper(CString("*.txt"), 0, 0, kSFDataFork, kKWDefault, kLSUnix, kFTImExportTranslator),
         "2,Im + Ex,Unix,,DF,*********.txt"},
        // Binary and resource files get no line style in the text form.
        {CFileTyper(CString("*.r"), 0, FourCC("rsrc"), kSFResByLine, kKWOldValue, kLSMacOS, kFTImExportTranslator),
         "2,Im + Ex,,-ko,RBL,****rsrc*.r"},
        {CFileTyper(CString("*.png"), 0, 0, kSFDataFork, kKWBinary, kLSMacOS, kFTImExportTranslator),
         "2,Im + Ex,,-kb,DF,*********.png"},
        {CFileTyper(CString("x"), FourCC("ttxt"), 0, kSFAppleSingle, kKWValueOnly, kLSMacOS, kFTImportTranslator),
         "2,Import,,-kv,ASG,ttxt****x"},
        {CFileTyper(CString("x"), 0, 0, kSFDataFork, kKWDefault, kLSMacOS, kFTExportTranslator),
         "2,Export,Mac OS,,,********x"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Str(c.typer.ExportToString()), c.text);
        CFileTyper back{c.typer.ExportToString()};
        EXPECT_EQ(back.mKind, c.typer.mKind);
        EXPECT_EQ(Str(back.mPattern), Str(c.typer.mPattern));
        EXPECT_EQ(back.mType, c.typer.mType);
        EXPECT_EQ(back.mCreator, c.typer.mCreator);
        EXPECT_EQ(Str(back.ExportToString()), c.text);
        if (back.mKind & kFTImportTranslator) {
            EXPECT_EQ(back.mStorage, c.typer.mStorage);
            EXPECT_EQ(back.mKeyword, c.typer.mKeyword);
        }
    }
    // A binary "Im + Ex" typer reads back with line style Unix.
    CFileTyper back{CString("2,Im + Ex,,-kb,DF,*********.png")};
    EXPECT_EQ(back.mLineStyle, kLSUnix);

    CFileTyper bad{CString("nonsense")};
    EXPECT_EQ(Str(bad.ExportToString()), "Malformed file typer cannot be converted to string.");
}

TEST(FileTyperText, BlocksSkipCommentsAndCountMalformedLines) {
    struct {
        char const* text;
        int malformed;
        std::vector<std::string> patterns;
    } const cases[] = {
        {"2,Filter,I,********a\n2,Filter,I,********b\n", 0, {"a", "b"}},
        // CR separates when there is any; a CR LF block reads like a CR block.
        {"# Fennelwright Ignore Filters\r\n2,Filter,I,********a\r\n# comment\r\n\r\n2,Filter,D,********b\r\n",
         0,
         {"a", "b"}},
        {"# Fennelwright Translators\r2,Filter,I,********a\rjunk\r2,Filter,I,****\r2,Filter,I,********c", 2,
         {"a", "c"}},
        {"", 0, {}},
        {"\n\n   \n", 0, {}},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.text);
        TPtrArray<CFileTyper> out(kPArrOwning);
        out.append(new CFileTyper(CString("kept"), 0, 0, kFTImportFilter));
        EXPECT_EQ(FileTypersFromString(out, CString(c.text)), c.malformed);
        ASSERT_EQ(out.Count(), int(c.patterns.size()) + 1);
        EXPECT_EQ(Str(out[0]->mPattern), "kept");  // what was there stays
        for (size_t i = 0; i < c.patterns.size(); ++i) EXPECT_EQ(Str(out[int(i) + 1]->mPattern), c.patterns[i]);
    }
}

TEST(FileTyperText, StoredAndClipboardFormsReadBack) {
    TPtrArray<CFileTyper> list(kPArrOwning);
    list.append(new CFileTyper(CString("*,v"), 0, 0, kSFDataFork, kKWBinary, kLSUnix, kFTImExportTranslator));
    list.append(new CFileTyper(CString("*"), 0, 0, kSFDataFork, kKWDefault, kLSUnix, kFTImExportTranslator));

    CString stored = FileTypersToString(list);
    EXPECT_EQ(Str(stored), "2,Im + Ex,,-kb,DF,*********,v\n2,Im + Ex,Unix,,DF,*********\n");
    CString clip = FileTypersToClipboard(list, false);
    EXPECT_EQ(Str(clip), "# Fennelwright Translators\r2,Im + Ex,,-kb,DF,*********,v\r2,Im + Ex,Unix,,DF,*********\r");
    EXPECT_EQ(Str(FileTyperDisplayText(*list[0])), "2 Im + Ex  -kb DF ********* v");

    for (CString const& text : {stored, clip}) {
        TPtrArray<CFileTyper> back(kPArrOwning);
        EXPECT_EQ(FileTypersFromString(back, text), 0);
        ASSERT_EQ(back.Count(), 2);
        EXPECT_EQ(Str(back[0]->mPattern), "*,v");
        EXPECT_EQ(back[0]->mKeyword, kKWBinary);
    }
}

TEST(FileTyperBinary, ReadsAndWritesTheOlderRecord) {
    // Kind nibble 0 is an export translator; its line style is in bits 3-2.
    const unsigned char exportRec[] = {'C', 'W', 'I', 'E', 'T', 'E', 'X', 'T', 0x24, 0x00 | (0 << 2), 0, 0, '*', '.', 'c', 0};
    CFileTyper ex(exportRec, sizeof exportRec);
    EXPECT_EQ(ex.mKind, kFTExportTranslator);
    EXPECT_EQ(ex.mLineStyle, kLSMacOS);
    EXPECT_EQ(ex.mStorage, kSFDataFork);  // import fields are not taken for an export typer
    EXPECT_EQ(ex.mCreator, FourCC("CWIE"));
    EXPECT_EQ(ex.mType, FourCC("TEXT"));
    EXPECT_EQ(Str(ex.mPattern), "*.c");

    const unsigned char importRec[] = {0, 0, 0, 0, 'r', 's', 'r', 'c', 0x23, 0x80, 0, 0, '*', 0};
    CFileTyper im(importRec, sizeof importRec);
    EXPECT_EQ(im.mKind, kFTImportTranslator);
    EXPECT_EQ(im.mStorage, kSFResByLine);
    EXPECT_EQ(im.mKeyword, kKWOldValue);
    EXPECT_EQ(im.mLineStyle, kLSUnix);

    // Round trip through the writer for the kinds the record can hold.
    for (auto const& t : {ex, im, CFileTyper(CString("x"), 0, FourCC("APPL"), kFTDisplayFilter)}) {
        auto bin = t.ExportToBinary();
        ASSERT_FALSE(bin.empty());
        CFileTyper back(bin.data(), bin.size());
        EXPECT_EQ(Str(back.ExportToString()), Str(t.ExportToString()));
    }
    // "Im + Ex" has no binary form.
    CScriptedAlertSink sink;
    StAlertSink st(&sink);
    EXPECT_TRUE(CFileTyper(CString("x"), 0, 0, 0, 0, 1, kFTImExportTranslator).ExportToBinary().empty());

    // Truncated or unterminated records, unknown kinds and wild codes.
    const unsigned char noNul[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 'a', 'b'};
    EXPECT_TRUE(CFileTyper(noNul, sizeof noNul).IsMalformed());
    EXPECT_TRUE(CFileTyper(importRec, 12).IsMalformed());
    EXPECT_TRUE(CFileTyper(nullptr, 0).IsMalformed());
    const unsigned char oddKind[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, 0, 0, 0};
    EXPECT_TRUE(CFileTyper(oddKind, sizeof oddKind).IsMalformed());
    const unsigned char wild[] = {0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0x8C, 0, 0, 'a', 0};
    CFileTyper w(wild, sizeof wild);
    EXPECT_EQ(w.mStorage, kSFDataFork);
    EXPECT_EQ(w.mKeyword, kKWDefault);
}

TEST(FileTyperMeltIn, MergesOnlySamePatternTypeAndCreator) {
    CFileTyper base(CString("*.c"), 0, FourCC("TEXT"), kSFDataFork, kKWDefault, kLSMacOS, kFTExportTranslator);
    CFileTyper otherType(CString("*.c"), 0, FourCC("BINA"), kSFAppleSingle, kKWBinary, kLSUnix, kFTImportTranslator);
    EXPECT_FALSE(base.MeltIn(otherType));
    EXPECT_EQ(base.mKind, kFTExportTranslator);

    CFileTyper imp(CString("*.c"), 0, FourCC("TEXT"), kSFAppleSingle, kKWBinary, kLSUnix, kFTImportTranslator);
    EXPECT_TRUE(base.MeltIn(imp));
    EXPECT_EQ(base.mKind, kFTImExportTranslator);
    EXPECT_EQ(base.mStorage, kSFAppleSingle);
    EXPECT_EQ(base.mKeyword, kKWBinary);
    EXPECT_EQ(base.mLineStyle, kLSMacOS);  // other has no export bit

    CFileTyper f1(CString("x"), 0, 0, kFTImportFilter), f2(CString("x"), 0, 0, kFTDisplayFilter);
    EXPECT_TRUE(f1.MeltIn(f2));
    EXPECT_EQ(f1.mKind, kFTFileFilter);
}

TEST(FileTyperSet, FirstMatchDecidesWithFixedDefaults) {
    CFileTyperSet set;
    // Empty lists: the fixed defaults.
    EXPECT_EQ(set.ImportStorageFormat(CString("a"), 0, 0), kSFDataFork);
    EXPECT_EQ(set.ImportKeywordOption(CString("a"), 0, 0), kKWDefault);
    EXPECT_EQ(set.ExportLineStyle(CString("a")), kLSMacOS);
    EXPECT_EQ(set.ExportFileType(CString("a")), FourCC("TEXT"));
    EXPECT_EQ(set.ExportFileCreator(CString("a")), FourCC("CWIE"));
    EXPECT_FALSE(set.IgnoreFile(3, CString("a"), 0, 0));

    EXPECT_EQ(set.AddFromText(CString("2,Export,Unix,,,ttxtTEXT*.exp\n"
                                      "2,Import,,-kb,ASG,R*chAPPL*\n"
                                      "2,Import,,-ko,RBL,*********.imp\n"
                                      "2,Im + Ex,Mac OS,-kkv,DF,*********.imp\n"
                                      "2,Im + Ex,Unix,-kk,DF,*********\n"
                                      "2,Filter,D,*********.o\n"
                                      "2,Filter,I,****TEXT*.tmp\n")),
              0);
    ASSERT_EQ(set.mTranslators.Count(), 5);
    ASSERT_EQ(set.mIgnoreFilters.Count(), 2);

    // Export-only never decides an import, import-only never an export.
    EXPECT_EQ(set.ImportKeywordOption(CString("a.exp"), 0, 0), kKWStringsOnly_KK);
    EXPECT_EQ(set.ExportFileType(CString("a.exp")), FourCC("TEXT"));
    EXPECT_EQ(set.ExportFileCreator(CString("a.exp")), FourCC("ttxt"));
    EXPECT_EQ(set.ImportStorageFormat(CString("a.imp"), 0, 0), kSFResByLine);
    EXPECT_EQ(set.ExportLineStyle(CString("a.imp")), kLSMacOS);  // the Im + Ex after the import-only one
    // Type and creator must both fit when set; export ignores them.
    EXPECT_EQ(set.ImportStorageFormat(CString("tool"), FourCC("APPL"), FourCC("R*ch")), kSFAppleSingle);
    EXPECT_EQ(set.ImportStorageFormat(CString("tool"), FourCC("APPL"), FourCC("ttxt")), kSFDataFork);
    EXPECT_EQ(set.ExportLineStyle(CString("tool")), kLSUnix);
    EXPECT_EQ(set.ExportFileType(CString("tool")), 0u);  // "any" gives 0: no type
    // Name matching compares ASCII without regard to case.
    EXPECT_EQ(set.ImportStorageFormat(CString("A.IMP"), 0, 0), kSFResByLine);

    EXPECT_TRUE(set.IgnoreFile(2, CString("x.o"), 0, 0));
    EXPECT_FALSE(set.IgnoreFile(1, CString("x.o"), 0, 0));  // display filter only
    EXPECT_TRUE(set.IgnoreFile(1, CString("x.tmp"), FourCC("TEXT"), 0));
    EXPECT_FALSE(set.IgnoreFile(1, CString("x.tmp"), FourCC("BINA"), 0));

    // Copies are deep.
    CFileTyperSet copy(set);
    set.Clear();
    EXPECT_EQ(copy.mTranslators.Count(), 5);
    EXPECT_EQ(copy.ImportStorageFormat(CString("a.imp"), 0, 0), kSFResByLine);
}

TEST(FileTyperSet, OutOfRangeCodesNeverReachAddOrImport) {
    // Typers built in code (not read from text) can carry display-only codes.
    CScriptedAlertSink sink;
    StAlertSink st(&sink);
    CFileTyperSet set;
    set.mTranslators.append(new CFileTyper(CString("*"), 0, 0, kSFAny, kKWAny, kLSUndefined, kFTImExportTranslator));
    EXPECT_EQ(set.ImportStorageFormat(CString("a"), 0, 0), kSFDataFork);
    EXPECT_EQ(set.ImportKeywordOption(CString("a"), 0, 0), kKWDefault);
    EXPECT_EQ(set.ExportLineStyle(CString("a")), kLSUnix);
}

TEST(FileTyperPaste, AllOrNothingAndMismatchedKindsDropped) {
    CScriptedAlertSink sink;
    StAlertSink st(&sink);

    TPtrArray<CFileTyper> out(kPArrOwning);
    EXPECT_FALSE(TypersForPaste(out, CString("2,Filter,I,********a\rbad line\r2,Filter,I,\r"), true,
                                ETyperSource::kClipboard));
    EXPECT_EQ(out.Count(), 0);
    ASSERT_EQ(sink.Shown().size(), 1u);
    EXPECT_EQ(sink.Shown()[0].second, "There were 2 malformed items in the clipboard. Nothing at all is pasted.");

    sink.Forget();
    EXPECT_FALSE(TypersForPaste(out, CString("x"), false, ETyperSource::kDrag));
    ASSERT_EQ(sink.Shown().size(), 1u);
    EXPECT_EQ(sink.Shown()[0].second, "There was 1 malformed item in this drag. The whole drag is ignored.");

    sink.Forget();
    EXPECT_TRUE(TypersForPaste(out,
                               CString("# Fennelwright Translators\r2,Filter,I,********a\r"
                                       "2,Im + Ex,Unix,,DF,********b\r2,Filter,D,********c\r2,Export,Unix,,,********d\r"),
                               true, ETyperSource::kClipboard));
    ASSERT_EQ(out.Count(), 2);
    EXPECT_EQ(Str(out[0]->mPattern), "a");
    EXPECT_EQ(Str(out[1]->mPattern), "c");
    EXPECT_TRUE(sink.Shown().empty());

    // Unknown option codes are pasted with the defaults, and flagged.
    TPtrArray<CFileTyper> more(kPArrOwning);
    EXPECT_TRUE(TypersForPaste(more, CString("2,Im + Ex,Unix,-kq,XYZ,********a\r2,Im + Ex,,-kb,DF,********b\r"), false,
                               ETyperSource::kClipboard));
    ASSERT_EQ(more.Count(), 2);
    EXPECT_TRUE(more[0]->mOptionsDefaulted);
    EXPECT_EQ(more[0]->mStorage, kSFDataFork);
    EXPECT_EQ(more[0]->mKeyword, kKWDefault);
    EXPECT_FALSE(more[1]->mOptionsDefaulted);  // an empty line style is normal for binary files
}

TEST(FileTyperPaste, DroppedFilesAndEditorRules) {
    struct {
        unsigned long type;
        unsigned char storage, keyword;
    } const drops[] = {
        {FourCC("TEXT"), kSFDataFork, kKWDefault},
        {FourCC("rsrc"), kSFResByLine, kKWDefault},
        {FourCC("RSRC"), kSFResByLine, kKWDefault},
        {FourCC("APPL"), kSFDataFork, kKWBinary},
        {0, kSFDataFork, kKWBinary},
    };
    for (auto const& d : drops) {
        CFileTyper t = TyperForDroppedFile(CString("f"), d.type, FourCC("ABCD"), false);
        EXPECT_EQ(t.mKind, kFTImExportTranslator);
        EXPECT_EQ(t.mStorage, d.storage);
        EXPECT_EQ(t.mKeyword, d.keyword);
        EXPECT_EQ(t.mLineStyle, kLSUnix);
        EXPECT_EQ(t.mCreator, FourCC("ABCD"));
    }
    CFileTyper f = TyperForDroppedFile(CString("f"), FourCC("TEXT"), 0, true);
    EXPECT_EQ(f.mKind, kFTFileFilter);
    EXPECT_EQ(f.mType, FourCC("TEXT"));

    EXPECT_TRUE(TyperEditorAccepts(CString("*"), CString("TEXT"), CString("*.c")));
    EXPECT_FALSE(TyperEditorAccepts(CString("**"), CString("TEXT"), CString("*.c")));
    EXPECT_FALSE(TyperEditorAccepts(CString("*"), CString("TEXTS"), CString("*.c")));
    EXPECT_FALSE(TyperEditorAccepts(CString("*"), CString("*"), CString("")));
    EXPECT_FALSE(TyperEditorAccepts(CString("*"), CString("*"), CString("a\nb")));
}

TEST(FileTyperDefaults, ShippedTextReadsWholeAndSuitsLinux) {
    CString text = DefaultTyperText();
    // The copy built into the program is the shipped file.
    std::ifstream in(FW_RESOURCES_DIR "/default-typers.txt", std::ios::binary);
    std::stringstream disk;
    disk << in.rdbuf();
    ASSERT_EQ(Str(text), disk.str());

    CFileTyperSet set;
    EXPECT_EQ(set.AddFromText(text), 0);
    EXPECT_GT(set.mTranslators.Count(), 0);
    EXPECT_GT(set.mIgnoreFilters.Count(), 0);

    struct {
        char const* name;
        unsigned long type;
        unsigned char storage, keyword;
    } const imports[] = {
        {"main.c", 0, kSFDataFork, kKWDefault},
        {"notes", FourCC("TEXT"), kSFDataFork, kKWDefault},
        {"logo.PNG", 0, kSFDataFork, kKWBinary},
        {"archive.tar.gz", 0, kSFDataFork, kKWBinary},
        {"Dialogs.rsrc", FourCC("rsrc"), kSFResByLine, kKWOldValue},
        {"Tool", FourCC("APPL"), kSFAppleSingle, kKWBinary},
    };
    for (auto const& c : imports) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(set.ImportStorageFormat(CString(c.name), c.type, 0), c.storage);
        EXPECT_EQ(set.ImportKeywordOption(CString(c.name), c.type, 0), c.keyword);
    }
    // Received text files get Unix line ends and no type or creator (no sidecar).
    EXPECT_EQ(set.ExportLineStyle(CString("main.c")), kLSUnix);
    EXPECT_EQ(set.ExportFileType(CString("main.c")), 0u);
    EXPECT_EQ(set.ExportFileCreator(CString("main.c")), 0u);
    EXPECT_EQ(set.ExportFileType(CString("logo.png")), 0u);
    EXPECT_EQ(set.ExportFileType(CString("Dialogs.rsrc")), FourCC("rsrc"));
    EXPECT_TRUE(set.IgnoreFile(2, CString(".DS_Store"), 0, 0));
    EXPECT_TRUE(set.IgnoreFile(1, CString("a.c~"), 0, 0));
    EXPECT_FALSE(set.IgnoreFile(2, CString("a.c~"), 0, 0));
}

}  // namespace
