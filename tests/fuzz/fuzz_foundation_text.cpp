// Text that arrives from servers, disks and ignore files: entry lines, date and
// revision texts, paths, shell patterns, and format arguments.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/CString.h"
#include "foundation/Log.h"
#include "foundation/TextUtils.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    static bool quiet = [] {
        static CConsole console(16);
        gConsoleP = &console;
        static CScriptedAlertSink sink(2);
        SetAlertSink(&sink);
        return true;
    }();
    (void)quiet;

    std::string all(reinterpret_cast<char const*>(data), size);
    // First byte: flags; then "pattern\0string".
    int flags = size ? data[0] & 7 : 0;
    std::string rest = size ? all.substr(1) : std::string();
    size_t nul = rest.find('\0');
    std::string pattern = rest.substr(0, nul);
    std::string subject = nul == std::string::npos ? std::string() : rest.substr(nul + 1);
    subject = subject.substr(0, subject.find('\0'));

    CString text(pattern.c_str());
    fw::fnmatch(pattern.c_str(), subject.c_str(), flags);

    CString name, rev, ts, opts, tag;
    DecodeCVSEntry(text, name, rev, ts, opts, tag);

    CString id, other;
    MakeComparableRevisionId(text, id, flags & 1);
    MakeComparableRevisionId(CString(subject.c_str()), other, false);
    RevisionIdOnBranchBefore(id, other, flags & 2);

    SecondsFromDD_MMM_YYYY(text);
    SecondsFromYYYY_MM_DD(text);

    CString path(text);
    NormalizePath(path);
    IsNiceCVSRoot(text);
    CString dir, leaf;
    SplitPath(text, dir, leaf);
    CString framed(subject.c_str());
    FrameFileName(text, CString("1.1"), framed, static_cast<unsigned short>(size % 64));

    long pos = 0;
    CString line;
    while (AskLine(pos, text, line)) {
    }

    unsigned char ps[256];
    text.ToPString(ps, static_cast<int>(size % 300));
    char out[256];
    FormatBoundedF(out, sizeof out, "\xD2%s\xD3 %#s %-300s", pattern.c_str(), ps, subject.c_str());
    GLogCString(static_cast<short>(flags), text);
    return 0;
}
