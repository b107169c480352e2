// The keychain against a real Secret Service. The tests that need one run in
// a child of this test program: inside a private D-Bus session with its own
// gnome-keyring-daemon and a scratch home, or with no session bus at all, so
// that the developer's keyring is never touched and the process-wide caches
// (GLib's bus connection, HaveKeychain) start fresh.

#include "app/settings/Keychain.h"
#include "app/settings/LoginProfile.h"

#include "foundation/Log.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kChildVar[] = "FW_KEYCHAIN_CHILD";

bool IsChild(char const* kind)
{
    char const* v = std::getenv(kChildVar);
    return v && std::string(v) == kind;
}

std::string SelfPath()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// Runs a shell script with $SELF set to this program; returns its exit status
// and its output.
int RunScript(std::string const& script, std::string& output)
{
    const std::string command = "SELF='" + SelfPath() + "'; " + script + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        output.append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildPassed(int status, std::string const& output)
{
    return status == 0 && output.find("[  PASSED  ]") != std::string::npos &&
           output.find("[  SKIPPED ]") == std::string::npos;
}

TEST(Keychain, RealSecretServiceInAPrivateSession)
{
    if (std::getenv(kChildVar))
        GTEST_SKIP() << "child run";
    std::string out;
    const int status = RunScript(
        "T=$(mktemp -d) && mkdir -m 700 \"$T/run\" && "
        "HOME=\"$T\" XDG_DATA_HOME=\"$T/data\" XDG_CONFIG_HOME=\"$T/config\" XDG_CACHE_HOME=\"$T/cache\" "
        "XDG_RUNTIME_DIR=\"$T/run\" FW_KEYCHAIN_CHILD=live timeout 120 dbus-run-session -- sh -c "
        "'printf %s keyring-test-pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 && "
        "exec \"$0\" --gtest_filter=KeychainLive.*' \"$SELF\"; rc=$?; rm -rf \"$T\"; exit $rc",
        out);
    EXPECT_TRUE(ChildPassed(status, out)) << out;
}

TEST(Keychain, NoSecretService)
{
    if (std::getenv(kChildVar))
        GTEST_SKIP() << "child run";
    std::string out;
    const int status = RunScript(
        "T=$(mktemp -d) && env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=\"unix:path=$T/none\" "
        "FW_KEYCHAIN_CHILD=absent timeout 120 \"$SELF\" --gtest_filter=KeychainAbsent.*; rc=$?; rm -rf \"$T\"; "
        "exit $rc",
        out);
    EXPECT_TRUE(ChildPassed(status, out)) << out;
}

// ---- Child runs -------------------------------------------------------------------

class KeychainChild : public ::testing::Test {
protected:
    void SetUp() override
    {
        mOldConsole = gConsoleP;
        gConsoleP = &mConsole;
    }
    void TearDown() override { gConsoleP = mOldConsole; }

    // Whether any log entry contains the text.
    bool Logged(char const* text) const
    {
        for (unsigned long i = 0; i < mConsole.Count(); ++i)
            if (mConsole.EntryText(i).find(text) != std::string::npos)
                return true;
        return false;
    }

    CConsole mConsole;
    CConsole* mOldConsole = nullptr;
};

class KeychainLive : public KeychainChild {
protected:
    void SetUp() override
    {
        if (!IsChild("live"))
            GTEST_SKIP() << "runs inside Keychain.RealSecretServiceInAPrivateSession";
        KeychainChild::SetUp();
        ASSERT_TRUE(HaveKeychain());
    }
};

class KeychainAbsent : public KeychainChild {
protected:
    void SetUp() override
    {
        if (!IsChild("absent"))
            GTEST_SKIP() << "runs inside Keychain.NoSecretService";
        KeychainChild::SetUp();
    }
};

CLoginProfile KeychainProfile(char const* password)
{
    CLoginProfile p;
    p.SetDescription("kc");
    p.SetHost("cvs.example.org");
    p.SetRoot("/cvsroot");
    p.SetUser("anon");
    p.SetPasswordMode(kPasswordKeychain);
    p.SetPassword(password);
    return p;
}

TEST_F(KeychainLive, ItemsAreKeyedByHostUserPathAndPort)
{
    SKeychainKey key{"h\x8A.example.org", "us\x8Ar", "cvs/r\x8Aot", 2401}; // Mac Roman a-umlaut
    ASSERT_EQ(KeychainStorePassword(key, "label", "p\x8A\xA7word"), kKeychainOK);
    CString found;
    ASSERT_EQ(KeychainFindPassword(key, found), kKeychainOK);
    EXPECT_EQ(found, "p\x8A\xA7word");

    SKeychainKey other = key;
    other.port = 2402;
    EXPECT_EQ(KeychainFindPassword(other, found), kKeychainNotFound);
    EXPECT_TRUE(found.Empty());
    other = key;
    other.user = "someone";
    EXPECT_EQ(KeychainFindPassword(other, found), kKeychainNotFound);
    other = key;
    other.path = "cvs/other";
    EXPECT_EQ(KeychainFindPassword(other, found), kKeychainNotFound);

    // Storing again replaces the item.
    ASSERT_EQ(KeychainStorePassword(key, "label", "second"), kKeychainOK);
    ASSERT_EQ(KeychainFindPassword(key, found), kKeychainOK);
    EXPECT_EQ(found, "second");
    EXPECT_EQ(KeychainDeletePassword(key), kKeychainOK);
    EXPECT_EQ(KeychainFindPassword(key, found), kKeychainNotFound);
    EXPECT_EQ(KeychainDeletePassword(key), kKeychainNotFound);
}

TEST_F(KeychainLive, ProfilePasswordMovesIntoTheKeychain)
{
    CLoginProfile p = KeychainProfile("s3cret");
    EXPECT_TRUE(p.KeychainPassword().Empty());
    ASSERT_TRUE(p.StorePasswordInKeychain());
    EXPECT_TRUE(p.StoredPassword().Empty()); // wiped once the keychain has it
    EXPECT_EQ(p.Password(), "s3cret");
    EXPECT_TRUE(p.ConnectionComplete());
    EXPECT_EQ(RetrieveFields(p).password, "s3cret");
    const auto record = p.Export();
    EXPECT_EQ(std::string(record.begin(), record.end()).find("s3cret"), std::string::npos);

    // The item is the profile's: another effective port does not see it.
    CLoginProfile elsewhere = p;
    elsewhere.SetUseDefaultPort(false);
    elsewhere.SetPort(2402);
    EXPECT_TRUE(elsewhere.Password().Empty());
    EXPECT_FALSE(elsewhere.ConnectionComplete());

    // A new password replaces the old one; the same one changes nothing.
    CLoginProfile again = KeychainProfile("changed");
    ASSERT_TRUE(again.StorePasswordInKeychain());
    EXPECT_EQ(p.Password(), "changed");
    CLoginProfile same = KeychainProfile("changed");
    ASSERT_TRUE(same.StorePasswordInKeychain());
    EXPECT_TRUE(same.StoredPassword().Empty());
    EXPECT_EQ(p.Password(), "changed");

    // Other modes never consult the keychain.
    CLoginProfile none = p;
    none.SetPasswordMode(kPasswordNone);
    EXPECT_TRUE(none.Password().Empty());
    CLoginProfile ask = p;
    ask.SetPasswordMode(kPasswordAsk);
    EXPECT_TRUE(ask.Password().Empty());

    EXPECT_FALSE(Logged("s3cret"));
    EXPECT_FALSE(Logged("changed"));
}

TEST_F(KeychainAbsent, WithoutAServiceNothingIsLost)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(HaveKeychain());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    CString found("x");
    EXPECT_EQ(KeychainFindPassword({"h", "u", "r", 1}, found), kKeychainUnavailable);
    EXPECT_TRUE(found.Empty());

    // A failed store keeps the only copy of the password for the run, and says
    // so without showing it.
    CLoginProfile p = KeychainProfile("only-copy");
    EXPECT_FALSE(p.StorePasswordInKeychain());
    EXPECT_EQ(p.StoredPassword(), "only-copy");
    EXPECT_EQ(p.Password(), "only-copy");
    EXPECT_TRUE(p.ConnectionComplete());
    EXPECT_TRUE(Logged("could not be stored in the keychain"));
    EXPECT_FALSE(Logged("only-copy"));

    // The editor refuses the keychain mode.
    CLoginProfileList list(kPArrOwning | kPArrSorted);
    SLoginProfileFields f = RetrieveFields(p);
    CString alert;
    EXPECT_FALSE(StoreFields(f, list, p, alert));
    EXPECT_EQ(alert, "The Keychain Manager could not be found. Please use another password storage option.");
}

} // namespace
