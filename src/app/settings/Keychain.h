#pragma once
// The keychain: internet passwords of the login profiles in the Secret Service
// (GNOME Keyring, KWallet ...) through libsecret.
//
// Items are keyed by host, security domain "CVS", user, path (the repository
// root without its first character) and port. Texts are Mac Roman inside the
// program and UTF-8 in the service. Every call blocks on D-Bus and lets go of
// the baton meanwhile; none of them logs a password.

#include "foundation/CString.h"

enum : int {
    kKeychainOK = 0,
    kKeychainNotFound = 1,     // the service runs but holds no such item
    kKeychainUnavailable = 2,  // no service, or no default collection
    kKeychainFailed = 3        // the service refused or failed
};

// True when a secret service runs and has a default collection. Asked once
// per process; the answer is kept.
bool HaveKeychain();

struct SKeychainKey {
    CString host;
    CString user;
    CString path;
    unsigned short port = 0;
};

// Looks the item up; on kKeychainOK `password` holds its secret, otherwise
// it is left empty.
int KeychainFindPassword(SKeychainKey const& key, CString& password);
// Stores the secret, replacing an item with the same key. `label` names the
// item in keyring managers.
int KeychainStorePassword(SKeychainKey const& key, CString const& label, CString const& password);
// Removes the item; kKeychainNotFound when there was none.
int KeychainDeletePassword(SKeychainKey const& key);
