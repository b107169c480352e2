// The message log and the reporting functions every part of the program uses.
//
// Texts are Mac Roman bytes. Write curly quotes as "\xD2" and "\xD3" and the
// ellipsis as "\xC9" in format strings. Formatting follows the C library's
// printf rules plus "%#s", which takes a length-prefixed string (unsigned
// char*, a length byte then the bytes). Every formatted text is cut at 255
// bytes; nothing is ever written past the caller's buffer.
//
// Levels: 0 information, 1 notable information, 2 warnings, 3 errors with
// single items, 4 serious errors (also shown in a stop alert).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

class CString;

// ---------------------------------------------------------------------------
// Formatting

// Formats into out (outSize bytes including the NUL) and returns the number of
// bytes written before the NUL. Always NUL-terminates when outSize > 0. "%n" is
// refused (prints nothing).
size_t FormatBounded(char* out, size_t outSize, char const* fmt, va_list args);
size_t FormatBoundedF(char* out, size_t outSize, char const* fmt, ...);
// The same rules, into a new CString of at most 255 bytes.
CString FormatCString(char const* fmt, ...);

// Formats into a length-prefixed buffer of 256 bytes; returns the length (at
// most 255).
short psprintf(unsigned char* out, char const* fmt, ...);
short vpsprintf(unsigned char* out, char const* fmt, va_list args);

// ---------------------------------------------------------------------------
// Log entries and the status line

void GLogPrintf(short level, char const* fmt, ...);
void GLogVPrintf(short level, char const* fmt, va_list args);
// Adds the string split into entries of 200 bytes.
void GLogCString(short level, CString const& text);
void GLogStatusPrintf(char const* fmt, ...);

// ---------------------------------------------------------------------------
// Alerts

enum {
    kAlertStop = 0,
    kAlertNote = 1,
    kAlertCaution = 2,
    kAlertOKCancel = 3,     // 1 OK, 2 Cancel
    kAlertQuestion = 4,
    kAlertQuietQuestion = 5,  // 1 yes, 2 no; no sound
    kAlertThreeWay = 6,     // 1 proceed, 2, 3 stop
    kAlertQuiet = -1        // message without sound, 1 OK
};

// Where alerts are shown. The application installs a window-based sink; tests
// install a scripted one. The message is Mac Roman. Returns the button number.
class CAlertSink {
public:
    virtual ~CAlertSink() = default;
    virtual short Alert(short type, std::string const& message) = 0;
};

// Installs a sink (not owned; null restores the default) and returns the old one.
// The default sink writes the message to stderr and answers with the button
// that changes nothing: 1 for the one-button types, 2 for OK/Cancel and the
// questions, 3 (stop) for the three-way question.
CAlertSink* SetAlertSink(CAlertSink* sink);
CAlertSink* GetAlertSink();

// A sink for tests: records every alert and answers from a script (then with
// the default answer).
class CScriptedAlertSink : public CAlertSink {
public:
    explicit CScriptedAlertSink(short defaultAnswer = 1) : mDefault(defaultAnswer) {}
    short Alert(short type, std::string const& message) override;
    void Answer(short button) { mAnswers.push_back(button); }
    std::vector<std::pair<short, std::string>> const& Shown() const { return mShown; }
    void Forget() { mShown.clear(); }

private:
    short mDefault;
    std::deque<short> mAnswers;
    std::vector<std::pair<short, std::string>> mShown;
};

// Installs a sink for the lifetime of a scope.
class StAlertSink {
public:
    explicit StAlertSink(CAlertSink* sink) : mOld(SetAlertSink(sink)) {}
    ~StAlertSink() { SetAlertSink(mOld); }
    StAlertSink(StAlertSink const&) = delete;
    StAlertSink& operator=(StAlertSink const&) = delete;

private:
    CAlertSink* mOld;
};

short GAlert(short type, char const* fmt, ...);
short GAlert(short type, unsigned char const* pstr);

// ---------------------------------------------------------------------------
// Checks

// Return-code check: nothing when code is ok1 or ok2; otherwise asks whether to
// abort (answer 1 ends the program at once), else logs the code at level 3.
void LogAssertVal(short code, char const* file, long line, short ok1, short ok2);
#define FW_ASSERT_VAL(code) LogAssertVal((code), __FILE__, __LINE__, 0, 0)

// Consistency checks guard programming errors. A failed check reports
// "!(" condition ")" with the function and the source file name: as a stop
// alert once SetCheckAlerts(true) was called (after the preferences are
// loaded), else only in the log. The macro evaluates to the condition:
//     if (!FW_CHECK(p)) return -1;
#define FW_CHECK(cond) \
    (static_cast<bool>(cond) ? true : (ReportCheckFailure("!(" #cond ")", __func__, __FILE__), false))
// The same with a text of its own.
#define FW_CHECK_MSG(cond, text) \
    (static_cast<bool>(cond) ? true : (ReportCheckFailure((text), __func__, __FILE__), false))
#define FW_FAIL(text) ReportCheckFailure((text), __func__, __FILE__)

void ReportCheckFailure(char const* text, char const* function, char const* file);
void SetCheckAlerts(bool on);
// Number of failed checks so far (for tests).
unsigned long CheckFailureCount();

// ---------------------------------------------------------------------------
// The current client thread

// Whatever runs a CVS conversation registers itself for its thread, so that
// the log raises that conversation's highest reported level.
class CErrorMinder {
public:
    virtual ~CErrorMinder() = default;
    virtual void RaiseLevel(short level) = 0;
};

// Per system thread; null outside client threads. Returns the old value.
CErrorMinder* SetCurrentErrorMinder(CErrorMinder* minder);
CErrorMinder* CurrentErrorMinder();

class StErrorMinder {
public:
    explicit StErrorMinder(CErrorMinder* minder) : mOld(SetCurrentErrorMinder(minder)) {}
    ~StErrorMinder() { SetCurrentErrorMinder(mOld); }
    StErrorMinder(StErrorMinder const&) = delete;
    StErrorMinder& operator=(StErrorMinder const&) = delete;

private:
    CErrorMinder* mOld;
};

// ---------------------------------------------------------------------------
// The log

// What a log window implements to follow the log. All calls come from the
// thread that changes the log (under the program's baton).
class CConsoleListener {
public:
    virtual ~CConsoleListener() = default;
    // The number of entries grew to count (the view grows its image).
    virtual void LinesChanged(unsigned long count) = 0;
    // New entries to show: scroll to the last line and redraw.
    virtual void Refresh() = 0;
    // The status text changed (length-prefixed).
    virtual void StatusChanged(unsigned char const* status) = 0;
};

class CConsole {
public:
    static constexpr unsigned long kDefaultCapacity = 2000;

    explicit CConsole(unsigned long capacity = kDefaultCapacity);
    ~CConsole();
    CConsole(CConsole const&) = delete;
    CConsole& operator=(CConsole const&) = delete;

    void VPrintf(short level, char const* fmt, va_list args);
    void Printf(short level, char const* fmt, ...);
    void PrintCString(short level, CString const& text);
    // Adds one entry (length is cut at 255).
    void AddEntry(short level, unsigned long length, char const* text);

    unsigned long Count() const { return mCount; }
    unsigned long Capacity() const { return mCapacity; }
    // The entry at a logical index (0 is the oldest) as a length-prefixed
    // string, or null outside 0..Count()-1. level receives the entry's level.
    unsigned char const* AskEntry(unsigned long index, short* level = nullptr) const;
    std::string EntryText(unsigned long index) const;

    void VTellStatus(char const* fmt, va_list args);
    void StrTellStatus(unsigned char const* status);
    unsigned char const* Status() const { return mStatus; }

    // Buffered updates: redraws wait while the depth is above 0.
    void BufferUpdate() { ++mBufferDepth; }
    void UnBufferUpdate();
    void DoRefresh();
    bool Dirty() const { return mDirty; }

    // The window side. A window attaches itself while it exists.
    void SetListener(CConsoleListener* listener);
    CConsoleListener* Listener() const { return mListener; }
    // The window's view is going away: remember its scroll position.
    void ConsoleViewGone(long scrollPosition);
    long RememberedScroll() const { return mRememberedScroll; }
    // Entries arrived while no window showed the bottom.
    bool NewLines() const { return mNewLines; }
    void ClearNewLines() { mNewLines = false; }

    // Saves the log on the desktop as "Fennelwright Log" (or "... N") and
    // returns 0, or reports the failure in an alert and returns its code.
    int DoSave();
    // Writes every entry, oldest first, into a file descriptor as UTF-8 lines.
    int Save(int fd) const;
    // The folder DoSave writes into (exposed for tests).
    static std::string DesktopFolder();
    std::string LastSavedPath() const { return mLastSaved; }

private:
    struct Slot {
        unsigned char* text = nullptr;  // length byte, bytes
        short level = 0;
    };
    unsigned long SlotOf(unsigned long index) const;

    unsigned long mCapacity;
    unsigned long mCount = 0;
    unsigned long mNext = 0;
    Slot* mSlots = nullptr;
    int mBufferDepth = 0;
    bool mDirty = false;
    bool mNewLines = false;
    long mRememberedScroll = 0;
    unsigned char mStatus[256] = {};
    CConsoleListener* mListener = nullptr;
    long mSaveCounter = 0;
    std::string mLastSaved;
};

// The program's log; null until the application creates it. Everything above
// goes to stderr while there is none.
extern CConsole* gConsoleP;
