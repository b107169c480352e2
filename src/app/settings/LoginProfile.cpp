#include "app/settings/LoginProfile.h"

#include "app/settings/Keychain.h"
#include "foundation/Log.h"
#include "foundation/TextUtils.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Record layout of the stored forms.
constexpr size_t kHeaderV1 = 16;
constexpr size_t kHeaderV0 = 18;

unsigned short Get16(unsigned char const* p)
{
    return static_cast<unsigned short>((p[0] << 8) | p[1]);
}

void Put16(unsigned char* p, unsigned v)
{
    p[0] = static_cast<unsigned char>((v >> 8) & 0xFF);
    p[1] = static_cast<unsigned char>(v & 0xFF);
}

char const* Text(CString const& s)
{
    return s.IsNull() ? "" : s.c_str();
}

// Reads `count` NUL-terminated strings from offset `at`; they must end exactly
// at the end of the block.
bool ReadStrings(unsigned char const* data, size_t size, size_t at, int count, CString* out)
{
    for (int i = 0; i < count; ++i) {
        if (at >= size)
            return false;
        void const* nul = std::memchr(data + at, 0, size - at);
        if (!nul)
            return false;
        const size_t len = static_cast<size_t>(static_cast<unsigned char const*>(nul) - (data + at));
        if (out)
            out[i] = CString(reinterpret_cast<char const*>(data + at), static_cast<int>(len));
        at += len + 1;
    }
    return at == size;
}

void WipeString(CString& s)
{
    if (s.Length() > 0)
        std::memset(s.Buffer(), 0, static_cast<size_t>(s.Length()));
    s.Clear();
}

bool HasControlChar(CString const& s)
{
    for (char const* p = Text(s); *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// An unsigned decimal number as typed: the leading digits (none: 0). Large
// values saturate instead of wrapping, so that range checks see them.
unsigned long ParseUnsigned(CString const& s)
{
    unsigned long n = 0;
    char const* p = Text(s);
    while (*p == ' ')
        ++p;
    for (; *p >= '0' && *p <= '9'; ++p) {
        n = n * 10 + static_cast<unsigned long>(*p - '0');
        if (n > 0xFFFFFFFFul) {
            n = 0xFFFFFFFFul;
            break;
        }
    }
    return n;
}

CString Decimal(unsigned long n)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%lu", n);
    return CString(buf);
}

bool SameString(CString const& a, CString const& b)
{
    return a == b;
}

} // namespace

unsigned short DefaultPort(unsigned short method)
{
    switch (method) {
    case kLoginPserver:
        return 2401;
    case kLoginRSH:
    case kLoginRSHPassive:
        return 514;
    case kLoginSSH1:
    case kLoginSSH2:
        return 22;
    default:
        return 0;
    }
}

CString InfoString(CString const& host, unsigned short port, CString const& root, CString const& user)
{
    CString info("");
    if (port == 0) {
        info += "local:";
        info += Text(root);
        return info;
    }
    info += Text(user);
    info += "@";
    info += Text(host);
    info += ":";
    info += Decimal(port);
    info += ":";
    info += Text(root);
    return info;
}

std::optional<std::vector<unsigned char>> ConvertLoginProfileFromV0ToV1(void const* data, size_t size,
                                                                       CString& description)
{
    auto const* in = static_cast<unsigned char const*>(data);
    if (!in || size < 2)
        return std::nullopt;
    if (Get16(in) != 0)
        return std::vector<unsigned char>(in, in + size);
    if (size < kHeaderV0)
        return std::nullopt;
    CString strings[7];
    if (!ReadStrings(in, size, kHeaderV0, 7, strings))
        return std::nullopt;
    description = strings[0];

    size_t total = kHeaderV1 + 6;
    for (int i = 0; i < 5; ++i)
        total += static_cast<size_t>(strings[i].Length());
    std::vector<unsigned char> out(total, 0);
    Put16(&out[0], CLoginProfile::sLPVersion);
    std::memcpy(&out[2], in + 2, 12); // buffer size .. throughput limit

    const unsigned short port = Get16(in + 6);
    const unsigned short method = Get16(in + 8);
    const unsigned char oldFlags = in[16];
    unsigned flags = 0;
    if (oldFlags & 0x40)
        flags |= 1u << 12;
    flags |= static_cast<unsigned>((oldFlags & 0x80) ? kPasswordPrefs : kPasswordNone) << 13;
    bool useDefaultPort = true;
    switch (method) {
    case kLoginPserver:
    case kLoginRSH:
    case kLoginRSHPassive:
    case kLoginSSH1:
    case kLoginSSH2:
        useDefaultPort = port == DefaultPort(method);
        break;
    case kLoginLocal:
        break;
    default:
        FW_FAIL("!(0)");
        break;
    }
    if (useDefaultPort)
        flags |= 1u << 11;
    flags |= 1u << 10; // default command
    Put16(&out[14], flags);

    size_t at = kHeaderV1;
    for (int i = 0; i < 5; ++i) {
        const size_t len = static_cast<size_t>(strings[i].Length());
        std::memcpy(&out[at], Text(strings[i]), len);
        at += len + 1;
    }
    // The sixth string, the command, stays empty: its NUL is already there.
    return out;
}

// ---- CLoginProfile ---------------------------------------------------------------

bool CLoginProfile::Import(void const* data, size_t size)
{
    auto const* in = static_cast<unsigned char const*>(data);
    if (!in || size < kHeaderV1 || Get16(in) != sLPVersion)
        return false;
    CString strings[6];
    if (!ReadStrings(in, size, kHeaderV1, 6, strings))
        return false;
    CLoginProfile p;
    p.mBufferSize = Get16(in + 2);
    p.mTimeOut = Get16(in + 4);
    p.mPort = Get16(in + 6);
    p.mLoginMethod = static_cast<short>(Get16(in + 8));
    p.mCompressionLevel = static_cast<short>(Get16(in + 10));
    p.mThroughputLimit = Get16(in + 12);
    const unsigned flags = Get16(in + 14);
    p.mPasswordMode = static_cast<short>((flags >> 13) & 7);
    if (p.mPasswordMode > kPasswordKeychain)
        p.mPasswordMode = kPasswordAsk; // unknown: ask, and keep it out of files
    p.mHaveThroughputLimit = (flags & (1u << 12)) != 0;
    p.mUseDefaultPort = (flags & (1u << 11)) != 0;
    p.mUseDefaultCVSCommand = (flags & (1u << 10)) != 0;
    p.mDescription = strings[0];
    p.mHost = strings[1];
    p.mRoot = strings[2];
    p.mUser = strings[3];
    p.mPassword = strings[4];
    p.mCVSCommand = strings[5];
    if (p.mCVSCommand.Empty())
        p.mUseDefaultCVSCommand = true;
    const bool clean = p.WireFieldsClean();
    if (clean) {
        WipePassword();
        *this = p;
    }
    p.WipePassword();
    WipeString(strings[4]);
    return clean;
}

std::vector<unsigned char> CLoginProfile::Export() const
{
    char const* strings[6] = {Text(mDescription), Text(mHost), Text(mRoot), Text(mUser),
                              mPasswordMode == kPasswordPrefs ? Text(mPassword) : "", Text(mCVSCommand)};
    size_t total = kHeaderV1 + 6;
    for (char const* s : strings)
        total += std::strlen(s);
    std::vector<unsigned char> out(total, 0);
    Put16(&out[0], sLPVersion);
    Put16(&out[2], mBufferSize);
    Put16(&out[4], mTimeOut);
    Put16(&out[6], mPort);
    Put16(&out[8], static_cast<unsigned short>(mLoginMethod));
    Put16(&out[10], static_cast<unsigned short>(mCompressionLevel));
    Put16(&out[12], mThroughputLimit);
    unsigned flags = (static_cast<unsigned>(mPasswordMode) & 7u) << 13;
    if (mHaveThroughputLimit)
        flags |= 1u << 12;
    if (mUseDefaultPort || mLoginMethod == kLoginLocal)
        flags |= 1u << 11;
    if (mUseDefaultCVSCommand || mCVSCommand.Empty())
        flags |= 1u << 10;
    Put16(&out[14], flags);
    size_t at = kHeaderV1;
    for (char const* s : strings) {
        const size_t len = std::strlen(s);
        std::memcpy(&out[at], s, len);
        at += len + 1;
    }
    return out;
}

unsigned short CLoginProfile::Port(bool stored) const
{
    if (stored)
        return mPort;
    if (mLoginMethod == kLoginLocal || mUseDefaultPort)
        return DefaultPort(static_cast<unsigned short>(mLoginMethod));
    return mPort;
}

char const* CLoginProfile::LoginTypeString() const
{
    switch (mLoginMethod) {
    case kLoginPserver:
        return "Pserver";
    case kLoginRSH:
        return "RSH";
    case kLoginRSHPassive:
        return "RSH (passive)";
    case kLoginLocal:
        return "Local";
    case kLoginSSH1:
        return "SSH 1";
    case kLoginSSH2:
        return "SSH 2";
    default:
        return "***bad login type***";
    }
}

CString CLoginProfile::CVSCommand(bool stored) const
{
    if (stored || !mUseDefaultCVSCommand)
        return mCVSCommand;
    return CString(mLoginMethod == kLoginLocal ? "/usr/bin/cvs" : "cvs");
}

void CLoginProfile::SetCVSCommand(CString const& command)
{
    mCVSCommand = command;
    if (command.Empty())
        mUseDefaultCVSCommand = true;
}

bool CLoginProfile::ConnectionComplete() const
{
    if (mLoginMethod == kLoginLocal || mPasswordMode == kPasswordNone)
        return true;
    return !Password().Empty();
}

CString CLoginProfile::InfoString() const
{
    if (mLoginMethod == kLoginLocal)
        return ::InfoString(mHost, 0, mRoot, mUser);
    CString info("");
    info += Text(mUser);
    info += "@";
    info += Text(mHost);
    info += ":";
    info += Decimal(Port(false)); // 0 only for a broken profile, still not "local:"
    info += ":";
    info += Text(mRoot);
    return info;
}

bool CLoginProfile::Matches(CString const& host, unsigned short port, CString const& root,
                            CString const& user) const
{
    if (!SameString(root, mRoot) || port != Port(false))
        return false;
    return mLoginMethod == kLoginLocal || (SameString(user, mUser) && SameString(host, mHost));
}

bool CLoginProfile::WireFieldsClean() const
{
    return !HasControlChar(mHost) && !HasControlChar(mRoot) && !HasControlChar(mUser) &&
           !HasControlChar(mPassword) && !HasControlChar(mCVSCommand) && mHost[0] != '-';
}

// ---- Passwords -------------------------------------------------------------------

namespace {

SKeychainKey KeyOf(CLoginProfile const& p)
{
    SKeychainKey key;
    key.host = p.Host();
    key.user = p.User();
    key.path = CString(p.Root().Length() > 0 ? p.Root().c_str() + 1 : "");
    key.port = p.Port(false);
    return key;
}

} // namespace

CString CLoginProfile::Password() const
{
    if (mPasswordMode == kPasswordNone)
        return CString("");
    if (mPassword.Empty() && mPasswordMode == kPasswordKeychain && HaveKeychain()) {
        CString fromKeychain = KeychainPassword();
        if (!fromKeychain.Empty())
            return fromKeychain;
    }
    return mPassword;
}

CString CLoginProfile::KeychainPassword() const
{
    CString password;
    if (KeychainFindPassword(KeyOf(*this), password) != kKeychainOK)
        return CString("");
    return password;
}

bool CLoginProfile::StorePasswordInKeychain()
{
    if (mPassword.Empty())
        return true;
    const SKeychainKey key = KeyOf(*this);
    CString present;
    int status = KeychainFindPassword(key, present);
    const bool same = status == kKeychainOK && present == mPassword;
    WipeString(present);
    if (!same)
        status = KeychainStorePassword(key, InfoString(), mPassword);
    if (same || status == kKeychainOK) {
        WipePassword();
        return true;
    }
    // The password is written nowhere else in this mode: keep it for the run.
    GLogPrintf(3, "The password of \xD2%s\xD3 could not be stored in the keychain; it is kept until quit.",
               Text(InfoString()));
    return false;
}

void CLoginProfile::WipePassword()
{
    WipeString(mPassword);
}

int parr_compare(CLoginProfile& a, CLoginProfile& b)
{
    return StrCmpNoCase(Text(a.Description()), Text(b.Description()));
}

// ---- The list ------------------------------------------------------------------

unsigned short GetConnection(CLoginProfileList const& list, CString const& user, CString const& host,
                             CString const& root, unsigned short port)
{
    for (int i = 0; i < list.Count() && i < kNoProfile; ++i)
        if (list[i]->Matches(host, port, root, user))
            return static_cast<unsigned short>(i);
    return kNoProfile;
}

CLoginProfile GetConnectionData(CLoginProfileList const& list, unsigned short index)
{
    if (CLoginProfile* p = list.at(index == kNoProfile ? -1 : index))
        return *p;
    return CLoginProfile();
}

bool ConnectionComplete(CLoginProfileList const& list, unsigned short index)
{
    CLoginProfile* p = list.at(index == kNoProfile ? -1 : index);
    return p && p->ConnectionComplete();
}

unsigned short FindProfileByDescription(CLoginProfileList const& list, CString const& description)
{
    for (int i = 0; i < list.Count() && i < kNoProfile; ++i)
        if (list[i]->Description() == description)
            return static_cast<unsigned short>(i);
    return kNoProfile;
}

void CopyProfileList(CLoginProfileList const& from, CLoginProfileList& to)
{
    to.clear();
    for (CLoginProfile* p : from) {
        if (to.IsSorted())
            to.insert(new CLoginProfile(*p));
        else
            to.append(new CLoginProfile(*p));
    }
}

// ---- The editor ------------------------------------------------------------------

SLoginProfileFields RetrieveFields(CLoginProfile const& p)
{
    SLoginProfileFields f;
    f.description = p.Description();
    f.host = p.Host();
    f.root = p.Root();
    f.user = p.User();
    f.password = p.Password();
    f.command = p.CVSCommand(true);
    f.port = Decimal(p.Port(true));
    f.bufferSize = Decimal(p.BufferSize());
    f.timeOut = Decimal(p.TimeOut());
    f.throughputLimit = Decimal(p.ThroughputLimit());
    f.method = p.LoginMethod();
    f.passwordMode = p.PasswordMode();
    f.compressionLevel = p.CompressionLevel();
    f.useDefaultPort = p.UseDefaultPort() || p.LoginMethod() == kLoginLocal;
    f.haveThroughputLimit = p.HaveThroughputLimit();
    f.customCommand = !p.UseDefaultCVSCommand();
    return f;
}

bool StoreFields(SLoginProfileFields const& f, CLoginProfileList const& list, CLoginProfile& profile,
                 CString& alert)
{
    alert.Clear();
    if (f.method == kLoginRSHPassive) {
        alert = "Selected login method not supported in Mac OS X.";
        return false;
    }
    if (f.passwordMode == kPasswordKeychain && !HaveKeychain()) {
        alert = "The Keychain Manager could not be found. Please use another password storage option.";
        return false;
    }
    const unsigned long bufferSize = ParseUnsigned(f.bufferSize);
    const unsigned long port = ParseUnsigned(f.port);
    unsigned long throughput = ParseUnsigned(f.throughputLimit);

    if (f.host.HasChars("\t ")) {
        alert = "The host name is invalid because there is at least one TAB or SPACE character in the host name.";
        return false;
    }
    // These fields go into protocol lines and command lines.
    if (f.host[0] == '-') {
        alert = "The host name is invalid because it begins with \xD2-\xD3.";
        return false;
    }
    struct {
        CString const& text;
        char const* name;
    } const wire[] = {{f.host, "host name"}, {f.root, "CVS root"}, {f.user, "user name"},
                      {f.password, "password"}, {f.command, "CVS command"}};
    for (auto const& field : wire)
        if (HasControlChar(field.text)) {
            alert = FormatCString("The %s must not contain control characters.", field.name);
            return false;
        }
    if (!IsNiceCVSRoot(f.root)) {
        alert = "You have not specified a proper CVS root. Please avoid \xD2//\xD3, \xD2/./\xD3, \xD2/../\xD3 and "
                "trailing \xD2/\xD3 in paths.";
        return false;
    }
    if (bufferSize < 1024 || bufferSize > 65535) {
        alert = "Transfer buffer size must be inbetween 1024 and 65535 bytes.";
        return false;
    }
    if (throughput > 65535)
        throughput = 65535;
    if (f.haveThroughputLimit && throughput < 1024) {
        alert = "Throughput limit must be at least 1024 bytes per second.";
        return false;
    }
    if (!f.useDefaultPort && port > 65535) {
        alert = "Port must not be above 65535.";
        return false;
    }
    const unsigned long effectivePort =
        f.useDefaultPort ? DefaultPort(static_cast<unsigned short>(f.method)) : port;
    if ((effectivePort == 0) != (f.method == kLoginLocal)) {
        alert = "Port cannot be 0.";
        return false;
    }
    if (f.description.Empty()) {
        alert = "The login profile description must not be empty. Also ensure no two different login profiles "
                "have the same name.";
        return false;
    }
    for (CLoginProfile* other : list) {
        if (other == &profile)
            continue;
        if (SameString(other->Host(), f.host) && other->Port(false) == effectivePort &&
            other->LoginMethod() != f.method) {
            alert = FormatCString("You cannot have multiple login profiles with different login methods for host "
                              "\xD2%s:%lu\xD3. The other profile is \xD2%s\xD3.",
                              Text(f.host), effectivePort, Text(other->Description()));
            return false;
        }
        if (SameString(other->Description(), f.description)) {
            alert = FormatCString("There already is a login profile \xD2%s\xD3. Please change the current login "
                              "profile's desctription.",
                              Text(f.description));
            return false;
        }
    }

    CLoginProfile& p = profile;
    p.SetBufferSize(static_cast<unsigned short>(bufferSize));
    p.SetRoot(f.root);
    p.SetHost(f.host);
    p.SetPort(static_cast<unsigned short>(port > 65535 ? p.Port(true) : port));
    p.SetUseDefaultPort(f.useDefaultPort);
    if (throughput >= 1 && throughput <= 59)
        throughput = 60;
    p.SetThroughputLimit(static_cast<unsigned short>(throughput));
    p.SetHaveThroughputLimit(f.haveThroughputLimit);
    p.SetCompressionLevel(f.compressionLevel);
    p.SetDescription(f.description);
    p.SetUser(f.user);
    p.SetPassword(f.password);
    const unsigned long timeOut = ParseUnsigned(f.timeOut);
    p.SetTimeOut(static_cast<unsigned short>(timeOut > 65535 ? 65535 : timeOut));
    p.SetPasswordMode(f.passwordMode);
    p.SetLoginMethod(f.method);
    p.SetUseDefaultCVSCommand(!f.customCommand);
    p.SetCVSCommand(f.command);
    return true;
}

int StoreProfileIntoList(SLoginProfileFields const& fields, CLoginProfileList& list, CLoginProfile* profile,
                         CString& alert)
{
    if (!FW_CHECK(profile && list.IsSorted() && list.IsOwning()))
        return -1;
    if (!StoreFields(fields, list, *profile, alert))
        return -1;
    for (int i = 0; i < list.Count(); ++i)
        if (list[i] == profile) {
            list.remove(i, 0);
            break;
        }
    return list.insert(profile);
}

SLoginProfileEnabling EnableOrDisableItems(SLoginProfileFields const& f, bool passwordPromptForm)
{
    SLoginProfileEnabling e;
    switch (f.method) {
    case kLoginPserver:
        e.defaultPortLabel = "Default: 2401";
        break;
    case kLoginRSH:
    case kLoginRSHPassive:
        e.defaultPortLabel = "Default: 514";
        break;
    case kLoginLocal:
        e.defaultPortLabel = "Default: n/a";
        break;
    default:
        e.defaultPortLabel = "Default: 22";
        break;
    }
    const bool full = !passwordPromptForm;
    const bool local = f.method == kLoginLocal;
    const bool rsh = f.method == kLoginRSH;
    const bool rshAny = rsh || f.method == kLoginRSHPassive;
    e.description = e.root = e.method = e.compression = e.timeOut = e.bufferSize = full;
    e.host = e.user = e.haveThroughputLimit = full && !local;
    e.throughputLimit = e.haveThroughputLimit && f.haveThroughputLimit;
    e.portRadios = full && !rsh && !local;
    e.port = e.portRadios && !f.useDefaultPort;
    e.customCommand = full && (rsh || local || f.method == kLoginSSH1 || f.method == kLoginSSH2);
    e.command = e.customCommand && f.customCommand;
    if (rshAny || local) {
        e.passwordMode = e.password = false;
    } else {
        e.passwordMode = full;
        e.password = f.passwordMode >= kPasswordAsk && f.passwordMode <= kPasswordKeychain;
    }
    return e;
}
