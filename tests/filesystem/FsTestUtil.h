// Small helpers shared by the file system tests: scratch folders and running tools.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fstest {

// A scratch folder from mktemp -d, removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir(const char* base = nullptr) {
        std::string tmpl = std::string(base ? base : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp")) +
                           "/fwfs.XXXXXX";
        char* p = mkdtemp(tmpl.data());
        if (p)
            mPath = p;
    }
    ~ScratchDir() {
        if (!mPath.empty())
            std::system(("chmod -R u+rwX '" + mPath + "' 2>/dev/null; rm -rf '" + mPath + "'").c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return mPath; }
    std::string operator/(const std::string& rel) const { return mPath + "/" + rel; }

private:
    std::string mPath;
};

inline bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
    return static_cast<bool>(f);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

inline std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Runs a shell command and returns its standard output; `status` gets the exit code.
inline std::string RunShell(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        if (status)
            *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int rc = pclose(p);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

}  // namespace fstest
