#include "foundation/Log.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/CString.h"
#include "platform/MacFiles.h"
#include "platform/MacTypes.h"

namespace fs = std::filesystem;

namespace {

std::string Fmt(char const* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    size_t n = FormatBounded(buf, sizeof buf, fmt, ap);
    va_end(ap);
    EXPECT_EQ(n, std::strlen(buf));
    return std::string(buf, n);
}

std::string P(unsigned char const* ps) {
    return std::string(reinterpret_cast<char const*>(ps + 1), ps[0]);
}

// A log installed as the program's log for one test.
class LogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        mOldConsole = gConsoleP;
        gConsoleP = &mConsole;
        mOldSink = SetAlertSink(&mSink);
    }
    void TearDown() override {
        SetAlertSink(mOldSink);
        gConsoleP = mOldConsole;
    }
    CConsole mConsole;
    CScriptedAlertSink mSink;
    CConsole* mOldConsole = nullptr;
    CAlertSink* mOldSink = nullptr;
};

// A sink that runs code while its alert is up.
class CallbackSink : public CAlertSink {
public:
    std::function<void(short, std::string const&)> onAlert;
    short Alert(short type, std::string const& message) override {
        onAlert(type, message);
        return 1;
    }
};

class RecordingListener : public CConsoleListener {
public:
    void LinesChanged(unsigned long count) override {
        lines = count;
        newest = gConsoleP ? gConsoleP->EntryText(count - 1) : std::string();  // readable at once
    }
    void Refresh() override { ++refreshes; }
    void StatusChanged(unsigned char const* status) override { status_ = P(status); }
    unsigned long lines = 0;
    int refreshes = 0;
    std::string status_;
    std::string newest;
};

class Minder : public CErrorMinder {
public:
    void RaiseLevel(short level) override {
        if (level > highest) highest = level;
    }
    short highest = 0;
};

}  // namespace

TEST(Format, CLibraryRulesPlusLengthPrefixedStrings) {
    unsigned char ps[] = {5, 'h', 'e', 'l', 'l', 'o'};
    unsigned char empty[] = {0};
    EXPECT_EQ(Fmt("%d %ld %hd %hu %lu", -1, 123456789012L, (short)-2, (unsigned short)65535, 7UL),
              "-1 123456789012 -2 65535 7");
    EXPECT_EQ(Fmt("%02x %08x %X %o %c %%", 10, 0xbeef, 255, 8, 'z'), "0a 0000beef FF 10 z %");
    EXPECT_EQ(Fmt("[%#s] [%#s] [%#8s] [%-#7s] [%#.3s]", ps, empty, ps, ps, ps),
              "[hello] [] [   hello] [hello  ] [hel]");
    EXPECT_EQ(Fmt("%#x %#o", 255, 8), "0xff 010");  // "#" keeps its meaning for numbers
    EXPECT_EQ(Fmt("%*d|%-*.*s|", 5, 42, 6, 2, "abcdef"), "   42|ab    |");
    EXPECT_EQ(Fmt("%s", static_cast<char const*>(nullptr)), "(null)");
    EXPECT_EQ(Fmt("%lld %zu %.2f", -5LL, static_cast<size_t>(9), 1.5), "-5 9 1.50");
    EXPECT_EQ(Fmt("%y%", 1), "%y%");  // unknown conversions stand as written
    int n = 77;
    EXPECT_EQ(Fmt("ab%ncd", &n), "abcd");
    EXPECT_EQ(n, 77);  // "%n" never writes
    EXPECT_EQ(Fmt("curly \xD2%s\xD3", "x"), "curly \xD2x\xD3");
}

TEST(Format, NeverWritesPastItsBuffer) {
    std::string server(5000, 'S');
    char buf[300];
    std::memset(buf, 0x5A, sizeof buf);
    size_t n = FormatBoundedF(buf, 256, "CVS server says \xD2%s\xD3 and %d", server.c_str(), 5);
    EXPECT_EQ(n, 255u);
    EXPECT_EQ(buf[255], 0);
    EXPECT_EQ(static_cast<unsigned char>(buf[256]), 0x5A);
    EXPECT_EQ(std::string(buf, 16), "CVS server says ");

    // Wide fields are cut too.
    std::memset(buf, 0x5A, sizeof buf);
    n = FormatBoundedF(buf, 10, "%200d|%-300s|%#s", 1, "x", reinterpret_cast<unsigned char const*>("\x03" "abc"));
    EXPECT_EQ(n, 9u);
    EXPECT_EQ(static_cast<unsigned char>(buf[10]), 0x5A);
    EXPECT_EQ(FormatBoundedF(buf, 1, "abc"), 0u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(FormatBoundedF(nullptr, 0, "abc"), 0u);

    unsigned char ps[300];
    std::memset(ps, 0x5A, sizeof ps);
    EXPECT_EQ(psprintf(ps, "%s%s", server.c_str(), "tail"), 255);
    EXPECT_EQ(ps[0], 255);
    EXPECT_EQ(ps[256], 0x5A);  // a Str255 holds 256 bytes: nothing after them
}

TEST_F(LogFixture, RingKeepsTheLastEntries) {
    CConsole small(3);
    for (int i = 1; i <= 4; ++i) small.Printf(0, "entry %d", i);
    EXPECT_EQ(small.Count(), 3u);
    EXPECT_EQ(small.EntryText(0), "entry 2");
    EXPECT_EQ(small.EntryText(2), "entry 4");
    EXPECT_EQ(small.AskEntry(3), nullptr);

    for (int i = 1; i <= 2001; ++i) GLogPrintf(static_cast<short>(i % 3), "line %d", i);
    EXPECT_EQ(mConsole.Count(), 2000u);
    EXPECT_EQ(mConsole.EntryText(0), "line 2");
    EXPECT_EQ(mConsole.EntryText(1999), "line 2001");
    short level = -1;
    mConsole.AskEntry(0, &level);
    EXPECT_EQ(level, 2);
}

TEST_F(LogFixture, LongStringsAreSplitAndLongFormatsCut) {
    std::string text(450, 'a');
    text[199] = 'X';
    text[200] = 'Y';
    GLogCString(1, CString(text.c_str()));
    ASSERT_EQ(mConsole.Count(), 3u);
    EXPECT_EQ(mConsole.EntryText(0).size(), 200u);
    EXPECT_EQ(mConsole.EntryText(0).back(), 'X');
    EXPECT_EQ(mConsole.EntryText(1).front(), 'Y');
    EXPECT_EQ(mConsole.EntryText(2).size(), 50u);

    GLogCString(1, CString());
    EXPECT_EQ(mConsole.Count(), 3u);

    std::string huge(1000, 'h');
    GLogPrintf(0, "%s", huge.c_str());
    EXPECT_EQ(mConsole.EntryText(3).size(), 255u);
    mConsole.AddEntry(0, 100000, huge.c_str());
    EXPECT_EQ(mConsole.EntryText(4).size(), 255u);
}

TEST_F(LogFixture, SeriousEntriesAlertAfterTheyAreStored) {
    CConsole small(2);
    gConsoleP = &small;
    CallbackSink sink;
    StAlertSink scoped(&sink);
    std::vector<std::string> alerts;
    sink.onAlert = [&](short type, std::string const& message) {
        EXPECT_EQ(type, kAlertStop);
        alerts.push_back(message);
        // While the alert is up the entry is already in the log...
        EXPECT_EQ(small.EntryText(small.Count() - 1), "disk on fire");
        // ...and others may log meanwhile without touching it.
        GLogPrintf(0, "meanwhile");
    };
    GLogPrintf(4, "disk on fire");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "disk on fire");
    EXPECT_EQ(small.Count(), 2u);
    EXPECT_EQ(small.EntryText(0), "disk on fire");
    EXPECT_EQ(small.EntryText(1), "meanwhile");
    GLogPrintf(3, "only an error");
    EXPECT_EQ(alerts.size(), 1u);
}

TEST_F(LogFixture, ClientThreadLearnsItsHighestLevel) {
    Minder minder;
    {
        StErrorMinder scope(&minder);
        GLogPrintf(2, "warning");
        GLogPrintf(1, "note");
        EXPECT_EQ(minder.highest, 2);
        EXPECT_EQ(CurrentErrorMinder(), &minder);
    }
    GLogPrintf(3, "not in the thread");
    EXPECT_EQ(minder.highest, 2);
    EXPECT_EQ(CurrentErrorMinder(), nullptr);
}

TEST_F(LogFixture, WindowFollowsTheLogWithBufferedRedraws) {
    RecordingListener window;
    mConsole.SetListener(&window);
    EXPECT_EQ(P(mConsole.Status()), "off line.");
    GLogStatusPrintf("Connecting to \xD2%s\xD3\xC9", "host");
    EXPECT_EQ(window.status_, "Connecting to \xD2host\xD3\xC9");

    GLogPrintf(0, "one");
    EXPECT_EQ(window.lines, 1u);
    EXPECT_EQ(window.newest, "one");
    EXPECT_EQ(window.refreshes, 1);

    mConsole.BufferUpdate();
    mConsole.BufferUpdate();
    GLogPrintf(0, "two");
    GLogPrintf(0, "three");
    EXPECT_EQ(window.lines, 3u);
    EXPECT_EQ(window.refreshes, 1);
    mConsole.UnBufferUpdate();
    EXPECT_EQ(window.refreshes, 1);
    mConsole.UnBufferUpdate();
    EXPECT_EQ(window.refreshes, 2);
    mConsole.UnBufferUpdate();  // not below 0; nothing new to show
    EXPECT_EQ(window.refreshes, 2);

    mConsole.ConsoleViewGone(42);
    EXPECT_FALSE(mConsole.NewLines());
    EXPECT_EQ(mConsole.RememberedScroll(), 42);
    GLogPrintf(0, "while closed");
    EXPECT_TRUE(mConsole.NewLines());
    EXPECT_EQ(window.lines, 3u);  // the closed window hears nothing
}

TEST_F(LogFixture, AlertTypesAndAnswers) {
    mSink.Answer(2);
    EXPECT_EQ(GAlert(kAlertOKCancel, "Really delete \xD2%s\xD3?", "x"), 2);
    EXPECT_EQ(GAlert(kAlertNote, "note"), 1);  // script exhausted: default answer
    unsigned char ps[] = {3, 'a', 'b', 'c'};
    EXPECT_EQ(GAlert(kAlertQuiet, ps), 1);
    ASSERT_EQ(mSink.Shown().size(), 3u);
    EXPECT_EQ(mSink.Shown()[0].first, kAlertOKCancel);
    EXPECT_EQ(mSink.Shown()[0].second, "Really delete \xD2x\xD3?");
    EXPECT_EQ(mSink.Shown()[2].second, "abc");

    unsigned long checks = CheckFailureCount();
    EXPECT_EQ(GAlert(7, "bad type"), -1);
    EXPECT_EQ(GAlert(-2, ps), -1);
    EXPECT_EQ(mSink.Shown().size(), 3u);
    EXPECT_EQ(CheckFailureCount() - checks, 2u);

    std::string huge(600, 'q');
    GAlert(kAlertStop, "%s", huge.c_str());
    EXPECT_EQ(mSink.Shown().back().second.size(), 255u);
}

TEST_F(LogFixture, DefaultSinkAnswersWithTheHarmlessButton) {
    SetAlertSink(nullptr);
    EXPECT_EQ(GAlert(kAlertStop, "stop"), 1);
    EXPECT_EQ(GAlert(kAlertOKCancel, "ok?"), 2);
    EXPECT_EQ(GAlert(kAlertQuietQuestion, "yes?"), 2);
    EXPECT_EQ(GAlert(kAlertThreeWay, "go on?"), 3);
    SetAlertSink(&mSink);
}

TEST_F(LogFixture, ReturnCodeCheck) {
    LogAssertVal(0, "CFoo", 12, 0, 0);
    LogAssertVal(-43, "CFoo", 13, 0, -43);
    EXPECT_TRUE(mSink.Shown().empty());
    EXPECT_EQ(mConsole.Count(), 0u);

    mSink.Answer(2);
    LogAssertVal(-36, "CFoo", 14, 0, 0);
    ASSERT_EQ(mSink.Shown().size(), 1u);
    EXPECT_EQ(mSink.Shown()[0].first, kAlertQuietQuestion);
    EXPECT_EQ(mSink.Shown()[0].second,
              "Unexpected return code -36 in file CFoo, line 14. You should restart Fennelwright soon. "
              "Do you want to abort the application now?");
    short level = 0;
    ASSERT_EQ(mConsole.Count(), 1u);
    mConsole.AskEntry(0, &level);
    EXPECT_EQ(level, 3);
    EXPECT_EQ(mConsole.EntryText(0), "Unexpected return code -36 in file CFoo, line 14.");
    mSink.Answer(2);
    FW_ASSERT_VAL(-50);
    EXPECT_EQ(mConsole.EntryText(1).rfind("Unexpected return code -50 in file LogTest, line ", 0), 0u)
        << mConsole.EntryText(1);
}

TEST(LogDeathTest, AbortAnswerEndsTheProgram) {
    EXPECT_EXIT(
        {
            CScriptedAlertSink sink;
            sink.Answer(1);
            SetAlertSink(&sink);
            LogAssertVal(-1, "CFoo", 1, 0, 0);
            std::exit(0);  // not reached
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "");
}

TEST_F(LogFixture, ChecksReportTheConditionAndAlertOnlyWhenEnabled) {
    int* p = nullptr;
    unsigned long before = CheckFailureCount();
    EXPECT_FALSE(FW_CHECK(p != nullptr));
    EXPECT_TRUE(FW_CHECK(p == nullptr));
    EXPECT_EQ(CheckFailureCount() - before, 1u);
    ASSERT_EQ(mConsole.Count(), 1u);
    std::string text = mConsole.EntryText(0);
    EXPECT_NE(text.find("!(p != nullptr)"), std::string::npos) << text;
    EXPECT_NE(text.find("TestBody"), std::string::npos) << text;
    EXPECT_NE(text.find("LogTest.cpp"), std::string::npos) << text;
    EXPECT_TRUE(mSink.Shown().empty());  // silently before the preferences are loaded

    SetCheckAlerts(true);
    FW_CHECK_MSG(false, "Shucks! Very long file name.");
    SetCheckAlerts(false);
    ASSERT_EQ(mSink.Shown().size(), 1u);
    EXPECT_EQ(mSink.Shown()[0].first, kAlertStop);
    EXPECT_EQ(mSink.Shown()[0].second.rfind("Shucks! Very long file name.", 0), 0u);
}

// ---------------------------------------------------------------------------
// Saving the log

namespace {

class SaveFixture : public LogFixture {
protected:
    void SetUp() override {
        LogFixture::SetUp();
        std::string tmpl = (fs::temp_directory_path() / "fw-log-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        mHome = tmpl;
        Keep("HOME", mOldHome, mHadHome);
        Keep("XDG_CONFIG_HOME", mOldConfig, mHadConfig);
        setenv("HOME", mHome.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override {
        Restore("HOME", mOldHome, mHadHome);
        Restore("XDG_CONFIG_HOME", mOldConfig, mHadConfig);
        std::error_code ec;
        fs::remove_all(mHome, ec);
        LogFixture::TearDown();
    }
    static void Keep(char const* name, std::string& value, bool& had) {
        char const* v = std::getenv(name);
        had = v != nullptr;
        if (v) value = v;
    }
    static void Restore(char const* name, std::string const& value, bool had) {
        if (had)
            setenv(name, value.c_str(), 1);
        else
            unsetenv(name);
    }
    void WriteUserDirs(std::string const& line) {
        fs::create_directories(mHome + "/.config");
        std::ofstream(mHome + "/.config/user-dirs.dirs") << "# written by a test\n" << line << "\n";
    }
    static std::string Read(std::string const& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::string mHome, mOldHome, mOldConfig;
    bool mHadHome = false, mHadConfig = false;
};

}  // namespace

TEST_F(SaveFixture, SavesTwiceWithNumberedNamesAsUtf8) {
    GLogPrintf(0, "first \xD2quoted\xD3 \xC9");
    GLogPrintf(4, "second");
    EXPECT_EQ(CConsole::DesktopFolder(), mHome + "/Desktop");
    ASSERT_EQ(mConsole.DoSave(), 0);
    EXPECT_TRUE(fs::is_directory(mHome + "/Desktop"));  // created when missing
    EXPECT_EQ(Read(mHome + "/Desktop/Fennelwright Log"),
              "first \xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x80\xA6\nsecond\n");
    FSSpec spec;
    FInfo info;
    ASSERT_EQ(FSMakeFSSpecFromPath(mHome + "/Desktop/Fennelwright Log", &spec), noErr);
    ASSERT_EQ(FSpGetFInfo(spec, &info), noErr);
    EXPECT_EQ(info.fdType, FourCC("TEXT"));
    EXPECT_EQ(info.fdCreator, FourCC("R*ch"));
    ASSERT_EQ(mConsole.DoSave(), 0);
    EXPECT_EQ(mConsole.LastSavedPath(), mHome + "/Desktop/Fennelwright Log 2");
    EXPECT_TRUE(fs::exists(mHome + "/Desktop/Fennelwright Log 2"));
}

TEST_F(SaveFixture, SkipsTakenNamesAndHonoursTheUserDesktop) {
    WriteUserDirs("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"");
    EXPECT_EQ(CConsole::DesktopFolder(), mHome + "/Schreibtisch");
    fs::create_directories(mHome + "/Schreibtisch");
    std::ofstream(mHome + "/Schreibtisch/Fennelwright Log") << "keep me";
    GLogPrintf(0, "entry");
    ASSERT_EQ(mConsole.DoSave(), 0);
    EXPECT_EQ(Read(mHome + "/Schreibtisch/Fennelwright Log"), "keep me");
    EXPECT_EQ(Read(mHome + "/Schreibtisch/Fennelwright Log 2"), "entry\n");

    WriteUserDirs("XDG_DESKTOP_DIR=\"relative/path\"");  // invalid: the default applies
    EXPECT_EQ(CConsole::DesktopFolder(), mHome + "/Desktop");
}

TEST_F(SaveFixture, FailuresAreReportedOnceAndChangeNothing) {
    GLogPrintf(0, "entry");
    // The desktop is a file: no folder to save in.
    std::ofstream(mHome + "/Desktop") << "not a folder";
    EXPECT_NE(mConsole.DoSave(), 0);
    ASSERT_EQ(mSink.Shown().size(), 1u);
    EXPECT_EQ(mSink.Shown()[0].second.rfind("Could not find desktop folder to save log file. [error = ", 0), 0u);

    // A folder where files cannot be created: one alert, no endless retry.
    WriteUserDirs("XDG_DESKTOP_DIR=\"/proc/self\"");
    mSink.Forget();
    EXPECT_NE(mConsole.DoSave(), 0);
    ASSERT_EQ(mSink.Shown().size(), 1u);
    EXPECT_EQ(mSink.Shown()[0].second, "Could not open log file \xD2" "Fennelwright Log\xD3 in desktop folder.");
    EXPECT_EQ(mConsole.Count(), 1u);
}

TEST_F(SaveFixture, AWriteThatFailsLeavesNoCutOffFile) {
    GLogPrintf(0, "%s", std::string(200, 'x').c_str());
    // The disk takes only a few bytes of the file.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 16;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int err = mConsole.DoSave();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(err, EFBIG);
    ASSERT_EQ(mSink.Shown().size(), 1u);
    EXPECT_EQ(mSink.Shown()[0].second.rfind("Could not write log file \xD2" "Fennelwright Log\xD3", 0), 0u);
    EXPECT_FALSE(fs::exists(mHome + "/Desktop/Fennelwright Log"));
}
