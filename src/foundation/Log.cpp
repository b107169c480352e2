#include "foundation/Log.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "foundation/CString.h"
#include "platform/MacFiles.h"
#include "platform/MacRoman.h"
#include "platform/MacTypes.h"

CConsole* gConsoleP = nullptr;

namespace {

constexpr size_t kSplitLength = 200;

// ---------------------------------------------------------------------------
// Alerts

class CStderrAlertSink : public CAlertSink {
public:
    short Alert(short type, std::string const& message) override {
        std::fprintf(stderr, "[alert %d] %s\n", type, MacRomanToUtf8(message).c_str());
        switch (type) {
        case kAlertOKCancel:
        case kAlertQuestion:
        case kAlertQuietQuestion:
            return 2;
        case kAlertThreeWay:
            return 3;
        default:
            return 1;
        }
    }
};

CStderrAlertSink gStderrSink;
std::atomic<CAlertSink*> gAlertSink{nullptr};

// ---------------------------------------------------------------------------
// Checks

std::atomic<bool> gCheckAlerts{false};
std::atomic<unsigned long> gCheckFailures{0};
thread_local bool tInCheck = false;
thread_local CErrorMinder* tErrorMinder = nullptr;

char const* BaseName(char const* path) {
    if (!path) return "";
    char const* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void ToStderr(short level, char const* text, size_t n) {
    std::string utf8 = MacRomanToUtf8(std::string_view(text, n));
    std::fprintf(stderr, "[%d] %s\n", level, utf8.c_str());
}

bool WriteAll(int fd, char const* data, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

std::string HomeFolder() {
    if (char const* h = std::getenv("HOME"); h && *h) return h;
    if (passwd const* pw = getpwuid(geteuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

// Creates a folder and its missing parents.
int MakeFolders(std::string const& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        int err = MakeFolders(path.substr(0, slash));
        if (err) return err;
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return errno;
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Alerts

CAlertSink* SetAlertSink(CAlertSink* sink) {
    return gAlertSink.exchange(sink);
}

CAlertSink* GetAlertSink() {
    CAlertSink* s = gAlertSink.load();
    return s ? s : &gStderrSink;
}

short CScriptedAlertSink::Alert(short type, std::string const& message) {
    mShown.emplace_back(type, message);
    if (mAnswers.empty()) return mDefault;
    short a = mAnswers.front();
    mAnswers.pop_front();
    return a;
}

short GAlert(short type, unsigned char const* pstr) {
    if (type < -1 || type > 6) {
        FW_FAIL("GAlert() : unknown alert type");
        return -1;
    }
    std::string message;
    if (pstr) message.assign(reinterpret_cast<char const*>(pstr + 1), pstr[0]);
    return GetAlertSink()->Alert(type, message);
}

short GAlert(short type, char const* fmt, ...) {
    unsigned char text[256];
    va_list ap;
    va_start(ap, fmt);
    vpsprintf(text, fmt, ap);
    va_end(ap);
    return GAlert(type, text);
}

// ---------------------------------------------------------------------------
// Checks

void LogAssertVal(short code, char const* file, long line, short ok1, short ok2) {
    if (code == ok1 || code == ok2) return;
    // The message names the source file without folder and extension.
    std::string unit = BaseName(file);
    if (size_t dot = unit.rfind('.'); dot != std::string::npos && dot > 0) unit.erase(dot);
    file = unit.c_str();
    short answer = GAlert(kAlertQuietQuestion,
                          "Unexpected return code %d in file %s, line %ld. You should restart Fennelwright soon. "
                          "Do you want to abort the application now?",
                          code, file, line);
    if (answer == 1) {
        std::fflush(nullptr);
        std::_Exit(EXIT_FAILURE);
    }
    GLogPrintf(3, "Unexpected return code %d in file %s, line %ld.", code, file, line);
}

void ReportCheckFailure(char const* text, char const* function, char const* file) {
    ++gCheckFailures;
    if (tInCheck) return;  // a check failing while one is reported
    tInCheck = true;
    char message[256];
    FormatBoundedF(message, sizeof message, "%s in %s() of %s", text ? text : "", function ? function : "?",
                   BaseName(file));
    // Strip a trailing line end some check texts carry.
    size_t n = std::strlen(message);
    while (n > 0 && (message[n - 1] == '\n' || message[n - 1] == '\r')) message[--n] = 0;
    if (gConsoleP)
        gConsoleP->AddEntry(2, n, message);
    else
        ToStderr(2, message, n);
    if (gCheckAlerts.load()) {
        unsigned char ps[256];
        psprintf(ps, "%s", message);
        GAlert(kAlertStop, ps);
    }
    tInCheck = false;
}

void SetCheckAlerts(bool on) {
    gCheckAlerts.store(on);
}

unsigned long CheckFailureCount() {
    return gCheckFailures.load();
}

CErrorMinder* SetCurrentErrorMinder(CErrorMinder* minder) {
    CErrorMinder* old = tErrorMinder;
    tErrorMinder = minder;
    return old;
}

CErrorMinder* CurrentErrorMinder() {
    return tErrorMinder;
}

// ---------------------------------------------------------------------------
// Free log functions

void GLogVPrintf(short level, char const* fmt, va_list args) {
    if (gConsoleP) {
        gConsoleP->VPrintf(level, fmt, args);
        return;
    }
    char text[256];
    size_t n = FormatBounded(text, sizeof text, fmt, args);
    ToStderr(level, text, n);
}

void GLogPrintf(short level, char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    GLogVPrintf(level, fmt, ap);
    va_end(ap);
}

void GLogCString(short level, CString const& text) {
    if (gConsoleP) {
        gConsoleP->PrintCString(level, text);
        return;
    }
    if (text.IsNull()) return;
    ToStderr(level, text.c_str(), static_cast<size_t>(text.Length()));
}

void GLogStatusPrintf(char const* fmt, ...) {
    if (!gConsoleP) return;
    va_list ap;
    va_start(ap, fmt);
    gConsoleP->VTellStatus(fmt, ap);
    va_end(ap);
}

// ---------------------------------------------------------------------------
// CConsole

CConsole::CConsole(unsigned long capacity) : mCapacity(capacity ? capacity : 1) {
    mSlots = new Slot[mCapacity];
    static char const kOffLine[] = "off line.";
    mStatus[0] = sizeof kOffLine - 1;
    std::memcpy(mStatus + 1, kOffLine, sizeof kOffLine - 1);
}

CConsole::~CConsole() {
    for (unsigned long i = 0; i < mCapacity; ++i) delete[] mSlots[i].text;
    delete[] mSlots;
    if (gConsoleP == this) gConsoleP = nullptr;
}

unsigned long CConsole::SlotOf(unsigned long index) const {
    return mCount == mNext ? index : (index + mNext) % mCapacity;
}

void CConsole::VPrintf(short level, char const* fmt, va_list args) {
    char text[256];
    size_t n = FormatBounded(text, sizeof text, fmt, args);
    AddEntry(level, n, text);
}

void CConsole::Printf(short level, char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    VPrintf(level, fmt, ap);
    va_end(ap);
}

void CConsole::PrintCString(short level, CString const& text) {
    if (text.IsNull()) return;
    size_t len = static_cast<size_t>(text.Length());
    char const* p = text.c_str();
    if (len == 0) {
        AddEntry(level, 0, p);
        return;
    }
    for (size_t at = 0; at < len; at += kSplitLength) {
        size_t n = len - at < kSplitLength ? len - at : kSplitLength;
        AddEntry(level, n, p + at);
    }
}

void CConsole::AddEntry(short level, unsigned long length, char const* text) {
    if (length > 255) length = 255;
    if (!text) length = 0;
    if (level < 0) level = 0;
    if (level > 31) level = 31;

    // The new text is ready before the ring changes, so an allocation failure
    // leaves the log as it was.
    auto* block = new unsigned char[length + 1];
    block[0] = static_cast<unsigned char>(length);
    if (length) std::memcpy(block + 1, text, length);

    bool grew = mCount < mCapacity;
    if (grew) ++mCount;
    Slot& slot = mSlots[mNext];
    delete[] slot.text;
    slot.text = block;
    slot.level = level;
    // Told after the slot holds its text, so a view may read it at once.
    if (grew && mListener) mListener->LinesChanged(mCount);

    if (CErrorMinder* minder = CurrentErrorMinder()) minder->RaiseLevel(level);

    mNext = (mNext + 1) % mCapacity;
    mDirty = true;
    mNewLines = true;
    if (mBufferDepth == 0) DoRefresh();

    // The stop alert comes last, from a copy: while it is up other entries
    // may arrive and reuse this slot.
    if (level >= 4) {
        unsigned char copy[256];
        std::memcpy(copy, block, length + 1);
        GAlert(kAlertStop, copy);
    }
}

unsigned char const* CConsole::AskEntry(unsigned long index, short* level) const {
    if (index >= mCount) return nullptr;
    Slot const& slot = mSlots[SlotOf(index)];
    if (level) *level = slot.level;
    return slot.text;
}

std::string CConsole::EntryText(unsigned long index) const {
    unsigned char const* p = AskEntry(index);
    if (!p) return {};
    return std::string(reinterpret_cast<char const*>(p + 1), p[0]);
}

void CConsole::VTellStatus(char const* fmt, va_list args) {
    unsigned char text[256];
    vpsprintf(text, fmt, args);
    StrTellStatus(text);
}

void CConsole::StrTellStatus(unsigned char const* status) {
    if (!status) {
        mStatus[0] = 0;
    } else if (status != mStatus) {
        std::memcpy(mStatus, status, static_cast<size_t>(status[0]) + 1);
    }
    if (mListener) mListener->StatusChanged(mStatus);
}

void CConsole::UnBufferUpdate() {
    if (mBufferDepth > 0) --mBufferDepth;
    if (mBufferDepth == 0) DoRefresh();
}

void CConsole::DoRefresh() {
    if (mListener && mDirty) {
        mDirty = false;
        mListener->Refresh();
    }
}

void CConsole::SetListener(CConsoleListener* listener) {
    mListener = listener;
}

void CConsole::ConsoleViewGone(long scrollPosition) {
    mRememberedScroll = scrollPosition;
    mNewLines = false;
    mListener = nullptr;
}

std::string CConsole::DesktopFolder() {
    std::string home = HomeFolder();
    std::string config;
    if (char const* c = std::getenv("XDG_CONFIG_HOME"); c && *c == '/')
        config = c;
    else
        config = home + "/.config";
    std::ifstream dirs(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos || line.compare(i, 16, "XDG_DESKTOP_DIR=") != 0) continue;
        std::string value = line.substr(i + 16);
        if (value.size() >= 2 && value.front() == '"') {
            size_t close = value.find('"', 1);
            if (close == std::string::npos) continue;
            value = value.substr(1, close - 1);
        }
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        else if (value.empty() || value[0] != '/')
            continue;  // only absolute paths or $HOME-relative ones are valid
        while (value.size() > 1 && value.back() == '/') value.pop_back();
        return value;
    }
    return home + "/Desktop";
}

int CConsole::Save(int fd) const {
    std::string out;
    for (unsigned long i = 0; i < mCount; ++i) {
        out += MacRomanToUtf8(EntryText(i));
        out += '\n';
    }
    return WriteAll(fd, out.data(), out.size()) ? 0 : errno;
}

int CConsole::DoSave() {
    std::string folder = DesktopFolder();
    if (int err = MakeFolders(folder)) {
        GAlert(kAlertStop, "Could not find desktop folder to save log file. [error = %hd]", static_cast<short>(err));
        return err;
    }
    for (;;) {
        char name[64];
        if (mSaveCounter == 0)
            FormatBoundedF(name, sizeof name, "Fennelwright Log");
        else
            FormatBoundedF(name, sizeof name, "Fennelwright Log %ld", mSaveCounter + 1);
        ++mSaveCounter;
        std::string path = folder + "/" + MacRomanToUtf8(name);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST) continue;  // taken: try the next name
        unsigned char pname[256];
        psprintf(pname, "%s", name);
        if (fd < 0) {
            // Anything but "exists" will not get better with another name.
            int err = errno;
            GAlert(kAlertStop, "Could not open log file \xD2%#s\xD3 in desktop folder.", pname);
            return err;
        }
        int err = Save(fd);
        if (::close(fd) != 0 && err == 0) err = errno;
        if (err) {
            // A cut-off copy of the log is worse than none.
            ::unlink(path.c_str());
            GAlert(kAlertStop, "Could not write log file \xD2%#s\xD3 in desktop folder. [error = %hd]", pname,
                   static_cast<short>(err));
            return err;
        }
        // A text file of the rich-text editor, as the Finder knows it.
        FSSpec spec;
        OSErr ferr = FSMakeFSSpecFromPath(path, &spec);
        FInfo info;
        if (ferr == noErr) ferr = FSpGetFInfo(spec, &info);
        if (ferr == noErr) {
            info.fdType = FourCC("TEXT");
            info.fdCreator = FourCC("R*ch");
            ferr = FSpSetFInfo(spec, &info);
        }
        LogAssertVal(ferr, "CConsole", __LINE__, noErr, noErr);
        mLastSaved = path;
        return 0;
    }
}
