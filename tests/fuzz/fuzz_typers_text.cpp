// Typer text from the clipboard, drags and the preferences: parse, write back
// and parse again; the second reading must give the same typers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/Log.h"
#include "typers/FileTyper.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    static CScriptedAlertSink sink;
    static StAlertSink quiet(&sink);
    sink.Forget();

    std::string text(reinterpret_cast<char const*>(data), size);
    CString input(text.c_str());  // stops at a NUL byte like any C string
    TPtrArray<CFileTyper> typers(kPArrOwning);
    FileTypersFromString(typers, input);

    CFileTyperSet set;
    set.AddFromText(input);
    set.ImportStorageFormat(CString("a.c"), 0, 0);
    set.ExportLineStyle(CString("a.c"));
    set.IgnoreFile(3, CString("a.c"), 0, 0);

    TPtrArray<CFileTyper> pasted(kPArrOwning);
    TypersForPaste(pasted, input, true, ETyperSource::kClipboard);

    // Whatever was read must survive the stored form unchanged.
    CString stored = FileTypersToString(typers);
    TPtrArray<CFileTyper> again(kPArrOwning);
    if (FileTypersFromString(again, stored) != 0 || again.Count() != typers.Count()) std::abort();
    for (int i = 0; i < typers.Count(); ++i)
        if (!(again[i]->ExportToString() == typers[i]->ExportToString())) std::abort();

    // The binary record reader on the raw bytes.
    CFileTyper bin(data, size);
    if (!bin.IsMalformed() && bin.mKind != kFTImExportTranslator) {
        auto out = bin.ExportToBinary();
        CFileTyper back(out.data(), out.size());
        if (!(back.ExportToString() == bin.ExportToString())) std::abort();
    }
    return 0;
}
