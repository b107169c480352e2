#pragma once
// Login profiles: how to reach one CVS repository.
//
// A profile names the login method, host, port, user and repository root,
// where its password is kept, and the transfer settings of a connection.
// Profiles are copied, never shared: every client thread runs with its own
// copy. The application keeps them in a sorted, owning TPtrArray (sorted by
// description without regard to case) and addresses them by index, with
// kNoProfile for none.
//
// Stored form: one 'CfgL' record per profile (Export/Import below); the
// preferences code puts the bytes into the preferences file and calls
// StorePasswordInKeychain for each profile in password mode 3 after saving.
//
// Passwords: never logged. Mode 2 writes it into the stored form; mode 3 keeps
// it in the keychain (Keychain.h), in memory only until it has been stored
// there; modes 0 and 1 never write it anywhere.

#include "foundation/CString.h"
#include "foundation/TPtrArray.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

enum : short {
    kLoginPserver = 0,
    kLoginRSH = 1,
    kLoginRSHPassive = 2,
    kLoginLocal = 3,
    kLoginSSH1 = 4,
    kLoginSSH2 = 5
};

enum : short {
    kPasswordNone = 0,     // never needs one
    kPasswordAsk = 1,      // asked when needed, kept in memory for the run
    kPasswordPrefs = 2,    // saved with the profile in the preferences
    kPasswordKeychain = 3  // saved in the keychain
};

constexpr unsigned short kNoProfile = 0xFFFF;

// The default port of a login method (0 for Local and for unknown values).
unsigned short DefaultPort(unsigned short method);

// "user@host:port:root", or "local:root" when port is 0.
CString InfoString(CString const& host, unsigned short port, CString const& root, CString const& user);

// Converts a record of the older stored form (version 0) to the current one;
// a record that already has another version is returned unchanged. Gives
// nothing for a malformed record (too short, strings outside the block).
std::optional<std::vector<unsigned char>> ConvertLoginProfileFromV0ToV1(void const* data, size_t size,
                                                                       CString& description);

class CLoginProfile {
public:
    static constexpr unsigned short sLPVersion = 1;

    CLoginProfile() = default;

    // ---- Stored form
    // Reads a version-1 record. A record of another version, one whose six
    // strings do not fill the block exactly, or one with a control character
    // in a field that goes on the wire is refused (false, profile unchanged).
    bool Import(void const* data, size_t size);
    std::vector<unsigned char> Export() const;

    // ---- Fields
    CString const& Description() const { return mDescription; }
    CString const& Host() const { return mHost; }
    CString const& Root() const { return mRoot; }
    CString const& User() const { return mUser; }
    // Argument false: the effective port (the method's default port for Local
    // or with use default port); true: the stored port.
    unsigned short Port(bool stored = false) const;
    short LoginMethod() const { return mLoginMethod; }
    char const* LoginTypeString() const;
    // Argument true, or a custom command: the stored command; otherwise
    // "/usr/bin/cvs" for Local and "cvs" for the others.
    CString CVSCommand(bool stored = false) const;
    unsigned short BufferSize() const { return mBufferSize; }
    unsigned short TimeOut() const { return mTimeOut; }
    short CompressionLevel() const { return mCompressionLevel; }
    short PasswordMode() const { return mPasswordMode; }
    unsigned short ThroughputLimit() const { return mThroughputLimit; }
    bool HaveThroughputLimit() const { return mHaveThroughputLimit; }
    bool UseDefaultPort() const { return mUseDefaultPort; }
    bool UseDefaultCVSCommand() const { return mUseDefaultCVSCommand; }

    void SetDescription(CString const& s) { mDescription = s; }
    void SetHost(CString const& s) { mHost = s; }
    void SetRoot(CString const& s) { mRoot = s; }
    void SetUser(CString const& s) { mUser = s; }
    void SetPassword(CString const& s) { mPassword = s; }
    void SetPort(unsigned short port) { mPort = port; }
    void SetUseDefaultPort(bool on) { mUseDefaultPort = on; }
    void SetLoginMethod(short method) { mLoginMethod = method; }
    // An empty or null command means the default command.
    void SetCVSCommand(CString const& command);
    void SetUseDefaultCVSCommand(bool on) { mUseDefaultCVSCommand = on; }
    void SetBufferSize(unsigned short n) { mBufferSize = n; }
    void SetTimeOut(unsigned short n) { mTimeOut = n; }
    void SetCompressionLevel(short n) { mCompressionLevel = n; }
    void SetPasswordMode(short mode) { mPasswordMode = mode; }
    void SetThroughputLimit(unsigned short n) { mThroughputLimit = n; }
    void SetHaveThroughputLimit(bool on) { mHaveThroughputLimit = on; }

    // ---- Derived
    // Local or password mode 0: true; otherwise whether Password() is non-empty.
    bool ConnectionComplete() const;
    // "local:root" for Local, else "user@host:port:root" with the effective port.
    CString InfoString() const;
    // Whether this profile serves a sandbox recorded with these values: equal
    // root and effective port, and equal user and host unless the method is
    // Local. Strings compare byte for byte; null equals only null.
    bool Matches(CString const& host, unsigned short port, CString const& root, CString const& user) const;
    // False when host, root, user, password or CVS command holds a byte below
    // 0x20 or 0x7F, or the host begins with "-": such a profile must not be
    // used to connect.
    bool WireFieldsClean() const;

    // ---- Password
    // Mode 0: empty. Mode 3 with no password in memory: the keychain's, if
    // any. Otherwise the password in memory.
    CString Password() const;
    // The password the keychain holds for this profile; empty when none.
    CString KeychainPassword() const;
    // The password in memory (for the editor; may be empty in mode 3).
    CString const& StoredPassword() const { return mPassword; }
    // Puts the password in memory into the keychain; once the keychain holds
    // it, wipes the copy in memory. On failure the password stays in memory
    // for the run (it is written nowhere else) and the failure is logged at
    // level 3. Returns whether the keychain holds the password afterwards (true
    // as well when there was nothing to store).
    bool StorePasswordInKeychain();
    // Zeroes and forgets the password in memory.
    void WipePassword();

private:
    CString mDescription;
    CString mHost;
    CString mRoot;
    CString mUser;
    CString mPassword;
    CString mCVSCommand;
    unsigned short mBufferSize = 4000;
    unsigned short mTimeOut = 20;
    unsigned short mPort = 2401;
    short mLoginMethod = kLoginPserver;
    short mCompressionLevel = 0;
    short mPasswordMode = kPasswordPrefs;
    unsigned short mThroughputLimit = 0;
    bool mHaveThroughputLimit = false;
    bool mUseDefaultPort = true;
    bool mUseDefaultCVSCommand = true;
};

// Order of the profile list: descriptions compared without regard to case.
int parr_compare(CLoginProfile& a, CLoginProfile& b);

typedef TPtrArray<CLoginProfile> CLoginProfileList;

// ---- The application's list

// Index of the first profile, in list order, that Matches the sandbox values;
// kNoProfile when none does.
unsigned short GetConnection(CLoginProfileList const& list, CString const& user, CString const& host,
                             CString const& root, unsigned short port);
// A copy of the profile at index; a default profile for kNoProfile and for
// any other index outside the list.
CLoginProfile GetConnectionData(CLoginProfileList const& list, unsigned short index);
// False when there is no profile at index, else its ConnectionComplete().
bool ConnectionComplete(CLoginProfileList const& list, unsigned short index);
// Index of the profile with exactly this description, or kNoProfile.
unsigned short FindProfileByDescription(CLoginProfileList const& list, CString const& description);
// Deep copy of a list (the editor works on its own copy).
void CopyProfileList(CLoginProfileList const& from, CLoginProfileList& to);

// ---- The profile editor's rules

// What the editor's controls hold, as typed.
struct SLoginProfileFields {
    CString description;
    CString host;
    CString root;
    CString user;
    CString password;
    CString command;          // the custom command field
    CString port;             // decimal text
    CString bufferSize;       // decimal text
    CString timeOut;          // decimal text
    CString throughputLimit;  // decimal text
    short method = kLoginPserver;
    short passwordMode = kPasswordPrefs;
    short compressionLevel = 0;
    bool useDefaultPort = true;  // the default-port radio button
    bool haveThroughputLimit = false;
    bool customCommand = false;  // the custom-command check box
};

// What the controls show for a profile.
SLoginProfileFields RetrieveFields(CLoginProfile const& profile);

// Validates the fields against the editor's rules and, when they pass, writes
// them into `profile`. `list` is the editor's list; `profile` may be one of its
// elements (it is not compared with itself). On failure returns false, leaves
// the profile unchanged and gives the alert text in `alert`.
bool StoreFields(SLoginProfileFields const& fields, CLoginProfileList const& list, CLoginProfile& profile,
                 CString& alert);

// StoreFields, then keeps the list sorted: the profile (in the list or not
// yet) is taken out and inserted again. Returns the profile's new index, or
// -1 when the fields were refused (alert set, nothing changed). The list must
// own its elements; a profile not yet in the list is adopted.
int StoreProfileIntoList(SLoginProfileFields const& fields, CLoginProfileList& list, CLoginProfile* profile,
                         CString& alert);

// Which controls are enabled.
struct SLoginProfileEnabling {
    char const* defaultPortLabel = "";
    bool description = false, root = false, method = false, compression = false, timeOut = false,
         bufferSize = false;
    bool host = false, user = false, haveThroughputLimit = false, throughputLimit = false;
    bool portRadios = false, port = false;
    bool customCommand = false, command = false;
    bool passwordMode = false, password = false;
};
SLoginProfileEnabling EnableOrDisableItems(SLoginProfileFields const& fields, bool passwordPromptForm);
