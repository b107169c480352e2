#include "app/settings/Keychain.h"

#include "platform/MacRoman.h"
#include "platform/Threads.h"

#include <libsecret/secret.h>

#include <cstring>
#include <mutex>
#include <string>

namespace {

SecretSchema const* Schema()
{
    static SecretSchema const schema = {
        "org.fennelwright.CVSPassword",
        SECRET_SCHEMA_NONE,
        {
            {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"domain", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"object", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &schema;
}

std::string Utf8(CString const& s)
{
    return s.IsNull() ? std::string() : MacRomanToUtf8(s.c_str());
}

// The key's attributes in the service's form.
struct SAttributes {
    explicit SAttributes(SKeychainKey const& key)
        : server(Utf8(key.host)), user(Utf8(key.user)), object(Utf8(key.path)), port(key.port)
    {
    }
    std::string server, user, object;
    int port;
};

// Wipes a std::string that held a secret.
void Wipe(std::string& s)
{
    if (!s.empty())
        std::memset(s.data(), 0, s.size());
    s.clear();
    s.shrink_to_fit();
}

bool ProbeKeychain()
{
    StUnbatoned unbatoned;
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (!service) {
        g_clear_error(&error);
        return false;
    }
    SecretCollection* collection =
        secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    g_clear_error(&error);
    const bool have = collection != nullptr;
    if (collection)
        g_object_unref(collection);
    g_object_unref(service);
    return have;
}

} // namespace

bool HaveKeychain()
{
    static std::once_flag once;
    static bool sHaveKeychain = false;
    std::call_once(once, [] { sHaveKeychain = ProbeKeychain(); });
    return sHaveKeychain;
}

int KeychainFindPassword(SKeychainKey const& key, CString& password)
{
    password.Clear();
    if (!HaveKeychain())
        return kKeychainUnavailable;
    const SAttributes a(key);
    GError* error = nullptr;
    gchar* found;
    {
        StUnbatoned unbatoned;
        found = secret_password_lookup_sync(Schema(), nullptr, &error, "server", a.server.c_str(), "domain", "CVS",
                                            "user", a.user.c_str(), "object", a.object.c_str(), "port", a.port,
                                            nullptr);
    }
    if (error) {
        g_clear_error(&error);
        if (found)
            secret_password_free(found);
        return kKeychainFailed;
    }
    if (!found)
        return kKeychainNotFound;
    std::string text = Utf8ToMacRoman(found);
    secret_password_free(found); // zeroes the service's copy
    password = text.c_str();
    Wipe(text);
    return kKeychainOK;
}

int KeychainStorePassword(SKeychainKey const& key, CString const& label, CString const& password)
{
    if (!HaveKeychain())
        return kKeychainUnavailable;
    const SAttributes a(key);
    std::string secret = Utf8(password);
    const std::string name = Utf8(label);
    GError* error = nullptr;
    gboolean stored;
    {
        StUnbatoned unbatoned;
        stored = secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, name.c_str(), secret.c_str(),
                                            nullptr, &error, "server", a.server.c_str(), "domain", "CVS", "user",
                                            a.user.c_str(), "object", a.object.c_str(), "port", a.port, nullptr);
    }
    Wipe(secret);
    g_clear_error(&error);
    return stored ? kKeychainOK : kKeychainFailed;
}

int KeychainDeletePassword(SKeychainKey const& key)
{
    if (!HaveKeychain())
        return kKeychainUnavailable;
    const SAttributes a(key);
    GError* error = nullptr;
    gboolean removed;
    {
        StUnbatoned unbatoned;
        removed = secret_password_clear_sync(Schema(), nullptr, &error, "server", a.server.c_str(), "domain", "CVS",
                                             "user", a.user.c_str(), "object", a.object.c_str(), "port", a.port,
                                             nullptr);
    }
    if (error) {
        g_clear_error(&error);
        return kKeychainFailed;
    }
    return removed ? kKeychainOK : kKeychainNotFound;
}
