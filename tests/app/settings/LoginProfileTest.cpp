#include "app/settings/LoginProfile.h"

#include "foundation/Log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(std::string const& s)
{
    return std::vector<unsigned char>(s.begin(), s.end());
}

CLoginProfile Pserver(char const* description, char const* host, char const* root = "/cvsroot",
                      char const* user = "anon")
{
    CLoginProfile p;
    p.SetDescription(description);
    p.SetHost(host);
    p.SetRoot(root);
    p.SetUser(user);
    return p;
}

TEST(LoginProfile, NewProfileDefaultsAndDerivedValues)
{
    CLoginProfile p;
    EXPECT_EQ(p.LoginMethod(), kLoginPserver);
    EXPECT_STREQ(p.LoginTypeString(), "Pserver");
    EXPECT_EQ(p.Port(false), 2401);
    EXPECT_TRUE(p.UseDefaultPort());
    EXPECT_EQ(p.BufferSize(), 4000);
    EXPECT_EQ(p.TimeOut(), 20);
    EXPECT_EQ(p.PasswordMode(), kPasswordPrefs);
    EXPECT_FALSE(p.HaveThroughputLimit());
    EXPECT_EQ(p.CompressionLevel(), 0);
    EXPECT_EQ(p.CVSCommand(false), "cvs");
    EXPECT_FALSE(p.ConnectionComplete()); // needs a password

    p = Pserver("x", "cvs.example.org");
    p.SetPort(3000);
    EXPECT_EQ(p.InfoString(), "anon@cvs.example.org:2401:/cvsroot");
    p.SetUseDefaultPort(false);
    EXPECT_EQ(p.InfoString(), "anon@cvs.example.org:3000:/cvsroot");
    p.SetLoginMethod(kLoginSSH2);
    p.SetUseDefaultPort(true);
    EXPECT_EQ(p.Port(false), 22);
    EXPECT_EQ(p.Port(true), 3000);

    p.SetLoginMethod(kLoginLocal);
    p.SetRoot("/r");
    p.SetUseDefaultPort(false);
    EXPECT_EQ(p.Port(false), 0);
    EXPECT_EQ(p.InfoString(), "local:/r");
    EXPECT_EQ(p.CVSCommand(false), "/usr/bin/cvs");
    EXPECT_TRUE(p.ConnectionComplete());
    p.SetUseDefaultCVSCommand(false);
    p.SetCVSCommand("/opt/cvs");
    EXPECT_EQ(p.CVSCommand(false), "/opt/cvs");
    p.SetCVSCommand("");
    EXPECT_EQ(p.CVSCommand(false), "/usr/bin/cvs");
    p.SetLoginMethod(9);
    EXPECT_STREQ(p.LoginTypeString(), "***bad login type***");

    EXPECT_EQ(InfoString("h", 0, "/r", "u"), "local:/r");
    EXPECT_EQ(InfoString("h", 22, "/r", "u"), "u@h:22:/r");
}

TEST(LoginProfile, ExportWritesTheRecordByteForByteAndImportReadsItBack)
{
    CLoginProfile p = Pserver("anon@cvs.example.org", "cvs.example.org");
    p.SetPassword("secret");
    const std::vector<unsigned char> bytes = p.Export();
    const std::string expected = std::string("\x00\x01\x0f\xa0\x00\x14\x09\x61\x00\x00\x00\x00\x00\x00\x4c\x00", 16) +
                                 std::string("anon@cvs.example.org\0cvs.example.org\0/cvsroot\0anon\0secret\0\0", 59);
    ASSERT_EQ(bytes.size(), 75u);
    EXPECT_EQ(bytes, Bytes(expected));

    CLoginProfile q;
    ASSERT_TRUE(q.Import(bytes.data(), bytes.size()));
    EXPECT_EQ(q.Export(), bytes);
    EXPECT_EQ(q.Password(), "secret");

    // Only mode 2 writes the password; bits 10 and 11 are forced for an empty
    // command and for Local.
    for (short mode : {kPasswordNone, kPasswordAsk, kPasswordKeychain}) {
        p.SetPasswordMode(mode);
        auto other = p.Export();
        EXPECT_EQ(std::string(other.begin(), other.end()).find("secret"), std::string::npos) << mode;
        CLoginProfile r;
        ASSERT_TRUE(r.Import(other.data(), other.size()));
        EXPECT_TRUE(r.StoredPassword().Empty());
        EXPECT_EQ(r.PasswordMode(), mode);
    }
    CLoginProfile local = Pserver("l", "");
    local.SetLoginMethod(kLoginLocal);
    local.SetUseDefaultPort(false);
    local.SetUseDefaultCVSCommand(false);
    auto lb = local.Export();
    EXPECT_EQ(lb[14] & 0x0C, 0x0C);
    CLoginProfile custom = Pserver("c", "h");
    custom.SetLoginMethod(kLoginSSH2);
    custom.SetUseDefaultPort(false);
    custom.SetPort(2222);
    custom.SetUseDefaultCVSCommand(false);
    custom.SetCVSCommand("/usr/local/bin/cvs");
    custom.SetHaveThroughputLimit(true);
    custom.SetThroughputLimit(5000);
    custom.SetCompressionLevel(6);
    auto cb = custom.Export();
    EXPECT_EQ(cb[14] & 0x1C, 0x10);
    CLoginProfile back;
    ASSERT_TRUE(back.Import(cb.data(), cb.size()));
    EXPECT_EQ(back.Port(false), 2222);
    EXPECT_EQ(back.CVSCommand(false), "/usr/local/bin/cvs");
    EXPECT_EQ(back.ThroughputLimit(), 5000);
    EXPECT_TRUE(back.HaveThroughputLimit());
    EXPECT_EQ(back.CompressionLevel(), 6);
    EXPECT_EQ(back.Export(), cb);
}

TEST(LoginProfile, ImportRefusesMalformedRecordsAndLeavesTheProfileAlone)
{
    const std::vector<unsigned char> good = Pserver("d", "h").Export();
    auto edited = [&](auto change) {
        std::vector<unsigned char> b = good;
        change(b);
        return b;
    };
    struct {
        char const* what;
        std::vector<unsigned char> bytes;
    } const cases[] = {
        {"empty", {}},
        {"header only", std::vector<unsigned char>(good.begin(), good.begin() + 16)},
        {"version 0", edited([](auto& b) { b[1] = 0; })},
        {"version 2", edited([](auto& b) { b[1] = 2; })},
        {"last NUL missing", edited([](auto& b) { b.pop_back(); })},
        {"bytes after the sixth string", edited([](auto& b) { b.push_back('x'); })},
        {"line feed in the root", Pserver("d", "h", "/cvs\nroot").Export()},
        {"host starting with a dash", Pserver("d", "-oProxyCommand=x").Export()},
    };
    for (auto const& c : cases) {
        CLoginProfile p = Pserver("keep", "keep.example.org");
        EXPECT_FALSE(p.Import(c.bytes.data(), c.bytes.size())) << c.what;
        EXPECT_EQ(p.Description(), "keep") << c.what;
    }
    // An unknown password mode is taken as "ask when needed".
    auto mode7 = edited([](auto& b) { b[14] |= 0xE0; });
    CLoginProfile p;
    ASSERT_TRUE(p.Import(mode7.data(), mode7.size()));
    EXPECT_EQ(p.PasswordMode(), kPasswordAsk);
}

std::vector<unsigned char> V0Record(unsigned short port, unsigned short method, unsigned char flags)
{
    std::vector<unsigned char> r(18, 0);
    r[6] = static_cast<unsigned char>(port >> 8);
    r[7] = static_cast<unsigned char>(port);
    r[9] = static_cast<unsigned char>(method);
    r[5] = 20; // time-out
    r[16] = flags;
    for (char const* s : {"old", "host", "/root", "user", "pw", "unused", "also unused"}) {
        r.insert(r.end(), s, s + std::strlen(s));
        r.push_back(0);
    }
    return r;
}

TEST(LoginProfile, OlderRecordsAreConverted)
{
    struct {
        unsigned short port, method;
        unsigned char flags;
        bool useDefaultPort;
        short mode;
        bool throttle;
    } const cases[] = {
        {514, kLoginRSH, 0x80, true, kPasswordPrefs, false},
        {22, kLoginRSH, 0x40, false, kPasswordNone, true},
        {2401, kLoginPserver, 0xC0, true, kPasswordPrefs, true},
        {7, kLoginLocal, 0, true, kPasswordNone, false},
    };
    for (auto const& c : cases) {
        auto v0 = V0Record(c.port, c.method, c.flags);
        CString description;
        auto v1 = ConvertLoginProfileFromV0ToV1(v0.data(), v0.size(), description);
        ASSERT_TRUE(v1) << c.port;
        EXPECT_EQ(description, "old");
        CLoginProfile p;
        ASSERT_TRUE(p.Import(v1->data(), v1->size()));
        EXPECT_EQ(p.UseDefaultPort(), c.useDefaultPort) << c.port;
        EXPECT_EQ(p.Port(true), c.port);
        EXPECT_EQ(p.PasswordMode(), c.mode);
        EXPECT_EQ(p.HaveThroughputLimit(), c.throttle);
        EXPECT_TRUE(p.UseDefaultCVSCommand());
        EXPECT_TRUE(p.CVSCommand(true).Empty());
        EXPECT_EQ(p.Host(), "host");
        EXPECT_EQ(p.TimeOut(), 20);
        EXPECT_EQ(p.StoredPassword(), "pw");
    }
    CString description;
    auto v0 = V0Record(2401, 0, 0);
    v0.pop_back();
    EXPECT_FALSE(ConvertLoginProfileFromV0ToV1(v0.data(), v0.size(), description));
    EXPECT_FALSE(ConvertLoginProfileFromV0ToV1(v0.data(), 10, description));
    auto v1 = Pserver("d", "h").Export();
    auto same = ConvertLoginProfileFromV0ToV1(v1.data(), v1.size(), description);
    ASSERT_TRUE(same);
    EXPECT_EQ(*same, v1);
}

TEST(LoginProfile, SandboxesFindTheirProfile)
{
    CLoginProfileList list(kPArrOwning | kPArrSorted);
    list.insert(new CLoginProfile(Pserver("zeta", "h")));
    list.insert(new CLoginProfile(Pserver("Alpha", "h")));
    CLoginProfile local = Pserver("local", "");
    local.SetLoginMethod(kLoginLocal);
    local.SetRoot("/r");
    list.insert(new CLoginProfile(local));

    // Same host and port: the description that sorts first without case wins.
    unsigned short i = GetConnection(list, "anon", "h", "/cvsroot", 2401);
    ASSERT_NE(i, kNoProfile);
    EXPECT_EQ(list[i]->Description(), "Alpha");
    EXPECT_EQ(GetConnection(list, "anon", "h", "/cvsroot", 2402), kNoProfile);
    EXPECT_EQ(GetConnection(list, "other", "h", "/cvsroot", 2401), kNoProfile);
    EXPECT_EQ(GetConnection(list, "anon", "H", "/cvsroot", 2401), kNoProfile); // case matters
    // Local ignores user and host but needs the root and port 0.
    i = GetConnection(list, "whoever", "elsewhere", "/r", 0);
    ASSERT_NE(i, kNoProfile);
    EXPECT_EQ(list[i]->Description(), "local");
    EXPECT_EQ(GetConnection(list, "whoever", "elsewhere", "/r", 2401), kNoProfile);
    // Null and empty are different.
    CLoginProfile nullUser = Pserver("n", "h");
    nullUser.SetUser(CString());
    EXPECT_TRUE(nullUser.Matches("h", 2401, "/cvsroot", CString()));
    EXPECT_FALSE(nullUser.Matches("h", 2401, "/cvsroot", ""));

    EXPECT_EQ(GetConnectionData(list, 1).Description(), list[1]->Description());
    for (unsigned short bad : {kNoProfile, static_cast<unsigned short>(3), static_cast<unsigned short>(500)}) {
        EXPECT_TRUE(GetConnectionData(list, bad).Description().IsNull()) << bad;
        EXPECT_FALSE(ConnectionComplete(list, bad)) << bad;
    }
    EXPECT_TRUE(ConnectionComplete(list, GetConnection(list, "u", "x", "/r", 0)));
    EXPECT_EQ(FindProfileByDescription(list, "zeta"), 2);
    EXPECT_EQ(FindProfileByDescription(list, "ZETA"), kNoProfile);

    CLoginProfileList copy(kPArrOwning | kPArrSorted);
    CopyProfileList(list, copy);
    ASSERT_EQ(copy.Count(), 3);
    EXPECT_NE(copy[0], list[0]);
    EXPECT_EQ(copy[0]->Export(), list[0]->Export());
}

SLoginProfileFields GoodFields()
{
    SLoginProfileFields f;
    f.description = "work";
    f.host = "cvs.example.org";
    f.root = "/cvsroot";
    f.user = "anon";
    f.password = "pw";
    f.port = "2401";
    f.bufferSize = "4000";
    f.timeOut = "20";
    f.throughputLimit = "0";
    return f;
}

TEST(LoginProfileEditor, StoreFieldsRefusesBadFieldsWithTheirAlert)
{
    CLoginProfileList list(kPArrOwning | kPArrSorted);
    CLoginProfile* other = new CLoginProfile(Pserver("other", "shared.example.org"));
    list.insert(other);

    struct {
        char const* alertStart;
        void (*edit)(SLoginProfileFields&);
    } const cases[] = {
        {"Selected login method not supported", [](auto& f) { f.method = kLoginRSHPassive; }},
        {"The host name is invalid because there is at least one TAB", [](auto& f) { f.host = "a b"; }},
        {"The host name is invalid because there is at least one TAB", [](auto& f) { f.host = "a\tb"; }},
        {"The host name is invalid because it begins with", [](auto& f) { f.host = "-oProxyCommand=sh"; }},
        {"The host name must not contain control", [](auto& f) { f.host = "a\nb"; }},
        {"The CVS root must not contain control", [](auto& f) { f.root = "/cvs\nroot"; }},
        {"The user name must not contain control", [](auto& f) { f.user = "anon\nEND AUTH REQUEST"; }},
        {"The password must not contain control", [](auto& f) { f.password = "p\rw"; }},
        {"The CVS command must not contain control", [](auto& f) { f.command = "cvs\x7f"; }},
        {"You have not specified a proper CVS root", [](auto& f) { f.root = "/cvsroot/"; }},
        {"You have not specified a proper CVS root", [](auto& f) { f.root = ""; }},
        {"Transfer buffer size must be inbetween", [](auto& f) { f.bufferSize = "1023"; }},
        {"Transfer buffer size must be inbetween", [](auto& f) { f.bufferSize = "70000"; }}, // not 4464
        {"Throughput limit must be at least 1024", [](auto& f) {
             f.haveThroughputLimit = true;
             f.throughputLimit = "1000";
         }},
        {"Port cannot be 0.", [](auto& f) {
             f.useDefaultPort = false;
             f.port = "0";
         }},
        {"Port must not be above 65535.", [](auto& f) { // not port 1
             f.useDefaultPort = false;
             f.port = "65537";
         }},
        {"Port cannot be 0.", [](auto& f) {
             f.method = kLoginLocal;
             f.useDefaultPort = false;
             f.port = "22";
         }},
        {"The login profile description must not be empty", [](auto& f) { f.description = ""; }},
        {"You cannot have multiple login profiles with different login methods for host \xD2shared.example.org:2401\xD3. "
         "The other profile is \xD2other\xD3.",
         [](auto& f) {
             f.host = "shared.example.org";
             f.method = kLoginSSH2;
             f.useDefaultPort = false;
             f.port = "2401";
         }},
        {"There already is a login profile \xD2other\xD3.", [](auto& f) { f.description = "other"; }},
    };
    for (auto const& c : cases) {
        SLoginProfileFields f = GoodFields();
        c.edit(f);
        CLoginProfile p = Pserver("unchanged", "unchanged");
        const auto before = p.Export();
        CString alert;
        EXPECT_FALSE(StoreFields(f, list, p, alert)) << c.alertStart;
        EXPECT_EQ(std::string(alert.c_str() ? alert.c_str() : "").rfind(c.alertStart, 0), 0u)
            << c.alertStart << " got: " << (alert.c_str() ? alert.c_str() : "(null)");
        EXPECT_EQ(p.Export(), before);
    }

    // Storing a profile over itself does not count as a duplicate, and a
    // description that differs only in case is another profile.
    CString alert;
    SLoginProfileFields f = RetrieveFields(*other);
    EXPECT_TRUE(StoreFields(f, list, *other, alert)) << alert.c_str();
    CLoginProfile fresh;
    f.description = "OTHER";
    EXPECT_TRUE(StoreFields(f, list, fresh, alert)) << alert.c_str();
}

TEST(LoginProfileEditor, StoreFieldsWritesWhatWasTyped)
{
    CLoginProfileList list(kPArrOwning | kPArrSorted);
    SLoginProfileFields f = GoodFields();
    f.throughputLimit = "30"; // throttling off: still stored, as 60
    f.timeOut = "99999";      // clamped
    f.method = kLoginSSH2;
    f.useDefaultPort = true;
    f.port = "2222";
    f.customCommand = true;
    f.command = "/opt/bin/cvs";
    f.compressionLevel = 3;
    f.passwordMode = kPasswordAsk;
    CLoginProfile p;
    CString alert;
    ASSERT_TRUE(StoreFields(f, list, p, alert)) << alert.c_str();
    EXPECT_EQ(p.ThroughputLimit(), 60);
    EXPECT_FALSE(p.HaveThroughputLimit());
    EXPECT_EQ(p.TimeOut(), 65535);
    EXPECT_EQ(p.Port(true), 2222);
    EXPECT_EQ(p.Port(false), 22);
    EXPECT_EQ(p.CVSCommand(false), "/opt/bin/cvs");
    EXPECT_EQ(p.CompressionLevel(), 3);
    EXPECT_EQ(p.PasswordMode(), kPasswordAsk);
    EXPECT_EQ(p.Password(), "pw");
    EXPECT_EQ(p.BufferSize(), 4000);

    // Round trip through the controls.
    SLoginProfileFields back = RetrieveFields(p);
    EXPECT_EQ(back.port, "2222");
    EXPECT_TRUE(back.customCommand);
    CLoginProfile q;
    ASSERT_TRUE(StoreFields(back, list, q, alert));
    EXPECT_EQ(q.Export(), p.Export());

    // Renaming keeps the list sorted; a new profile is adopted.
    auto* a = new CLoginProfile;
    SLoginProfileFields fa = GoodFields();
    fa.description = "m";
    ASSERT_EQ(StoreProfileIntoList(fa, list, a, alert), 0);
    auto* b = new CLoginProfile;
    fa.description = "b";
    ASSERT_EQ(StoreProfileIntoList(fa, list, b, alert), 0);
    fa.description = "z";
    EXPECT_EQ(StoreProfileIntoList(fa, list, b, alert), 1);
    EXPECT_EQ(list[1], b);
    fa.description = "m"; // taken by a
    EXPECT_EQ(StoreProfileIntoList(fa, list, b, alert), -1);
    EXPECT_EQ(list.Count(), 2);
}

TEST(LoginProfileEditor, EnablingFollowsMethodAndForm)
{
    SLoginProfileFields f = GoodFields();
    SLoginProfileEnabling e = EnableOrDisableItems(f, false);
    EXPECT_STREQ(e.defaultPortLabel, "Default: 2401");
    EXPECT_TRUE(e.host && e.portRadios && e.password && e.passwordMode);
    EXPECT_FALSE(e.port || e.customCommand || e.throughputLimit);

    f.method = kLoginLocal;
    e = EnableOrDisableItems(f, false);
    EXPECT_STREQ(e.defaultPortLabel, "Default: n/a");
    EXPECT_FALSE(e.host || e.user || e.portRadios || e.password || e.passwordMode || e.haveThroughputLimit);
    EXPECT_TRUE(e.customCommand && e.root);

    f.method = kLoginSSH2;
    f.useDefaultPort = false;
    f.customCommand = true;
    f.haveThroughputLimit = true;
    f.passwordMode = kPasswordNone;
    e = EnableOrDisableItems(f, false);
    EXPECT_STREQ(e.defaultPortLabel, "Default: 22");
    EXPECT_TRUE(e.port && e.command && e.throughputLimit && e.passwordMode);
    EXPECT_FALSE(e.password);

    f.passwordMode = kPasswordKeychain;
    e = EnableOrDisableItems(f, true);
    EXPECT_TRUE(e.password);
    EXPECT_FALSE(e.description || e.host || e.port || e.command || e.passwordMode || e.method);
}

} // namespace
