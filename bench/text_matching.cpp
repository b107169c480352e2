// The program's shell-pattern matcher and bounded formatter against the C
// library's (fnmatch with FNM_CASEFOLD, vsnprintf), measured side by side.
//
//   text_matching [rounds, default 200]

#include <fnmatch.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/Log.h"
#include "foundation/TextUtils.h"

namespace {

template <class F>
double Seconds(F&& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

size_t LibcFormat(char* out, size_t size, char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(out, size, fmt, ap);
    va_end(ap);
    return n < 0 ? 0 : static_cast<size_t>(n);
}

volatile size_t gSink;

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    if (rounds <= 0) rounds = 200;

    // The default ignore list of a CVS client against a folder's worth of names.
    std::vector<char const*> patterns = {"RCS", "SCCS", "CVS", "CVS.adm", "RCSLOG", "cvslog.*", "tags", "TAGS",
                                         ".make.state", ".nse_depinfo", "*~", "#*", ".#*", ",*", "_$*", "*$",
                                         "*.old", "*.bak", "*.BAK", "*.orig", "*.rej", ".del-*", "*.a", "*.olb",
                                         "*.o", "*.obj", "*.so", "*.exe", "*.Z", "*.elc", "*.ln", "core"};
    std::vector<std::string> names;
    for (int i = 0; i < 500; ++i) {
        static char const* stems[] = {"main", "Makefile", "README", "util_", "CVS", "x.tar"};
        static char const* exts[] = {".c", ".h", ".o", ".BAK", "", ".cpp~", ".rsrc"};
        names.push_back(std::string(stems[i % 6]) + std::to_string(i) + exts[i % 7]);
    }

    size_t hitsOurs = 0, hitsLibc = 0;
    double ours = Seconds([&] {
        for (int r = 0; r < rounds; ++r)
            for (auto const& n : names)
                for (char const* p : patterns) hitsOurs += fw::fnmatch(p, n.c_str(), 0) == 0;
    });
    double libc = Seconds([&] {
        for (int r = 0; r < rounds; ++r)
            for (auto const& n : names)
                for (char const* p : patterns) hitsLibc += ::fnmatch(p, n.c_str(), FNM_CASEFOLD) == 0;
    });
    std::printf("fnmatch: %zu matches (C library %zu); %.1f ns per match, ratio to the C library %.2f\n", hitsOurs,
                hitsLibc, ours * 1e9 / (static_cast<double>(rounds) * names.size() * patterns.size()), ours / libc);

    unsigned char ps[] = {9, 'p', 'r', 'o', 'f', 'i', 'l', 'e', ' ', '1'};
    char buf[256];
    int formats = rounds * 1000;
    double fmtOurs = Seconds([&] {
        for (int i = 0; i < formats; ++i)
            gSink = FormatBoundedF(buf, sizeof buf, "Connecting to \xD2%s\xD3 port %hu as %#s [error = %ld]",
                                   "cvs.example.org", static_cast<unsigned short>(2401), ps, static_cast<long>(i));
    });
    double fmtLibc = Seconds([&] {
        for (int i = 0; i < formats; ++i)
            gSink = LibcFormat(buf, sizeof buf, "Connecting to \xD2%s\xD3 port %hu as %.*s [error = %ld]",
                               "cvs.example.org", static_cast<unsigned short>(2401), static_cast<int>(ps[0]),
                               reinterpret_cast<char const*>(ps + 1), static_cast<long>(i));
    });
    std::printf("format: %.1f ns per message, ratio to vsnprintf %.2f\n", fmtOurs * 1e9 / formats, fmtOurs / fmtLibc);
    return hitsOurs == hitsLibc ? 0 : 1;
}
