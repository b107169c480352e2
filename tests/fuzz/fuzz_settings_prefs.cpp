// The preferences reader on arbitrary file contents: start-up must never
// crash, and must never replace a file it could not use.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/settings/Preferences.h"
#include "foundation/Log.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    CPreferences::sSyncWrites = false;
    static CScriptedAlertSink sink;
    static StAlertSink quiet(&sink);
    // A plain array, so that it outlives the clean-up at exit.
    static char dirName[] = "/tmp/fw-fuzz-prefs-XXXXXX";
    static bool made = [] {
        if (!mkdtemp(dirName)) std::abort();
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(dirName, ec);
        });
        return true;
    }();
    (void)made;
    std::string dir = dirName;
    sink.Forget();
    fs::remove_all(dir + "/p");
    fs::create_directories(dir + "/p");
    std::string path = dir + "/p/Fennelwright";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<char const*>(data), static_cast<std::streamsize>(size));
    }

    CPreferences prefs(path);
    bool read = prefs.Startup();
    // Whatever happened, the lists and values are usable.
    prefs.mTypers.ImportStorageFormat(CString("a.c"), 0, 0);
    FileTypersToString(prefs.mTypers.mTranslators);
    if (prefs.mProfiles.Count() < 1) std::abort();
    prefs.GetSetting(kSettingLastProfile, 0);
    prefs.LoadComment();

    // A file that was not used must still be there, byte for byte.
    if (!read && size > 0) {
        bool kept = false;
        for (auto const& e : fs::directory_iterator(dir + "/p")) {
            std::ifstream in(e.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            if (bytes.size() == size && std::equal(bytes.begin(), bytes.end(), data)) kept = true;
        }
        if (!kept) std::abort();
    }
    return 0;
}
