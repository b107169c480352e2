#pragma once
// The application: the preferences with the typer and profile lists, the
// commands that need no sandbox, the start-up report, and the thread breaker
// of the operations that run without a sandbox. The windows stay on the far
// side of CAppFace, so every rule here runs without a window system.

#include <optional>
#include <string>

#include "app/settings/Comment.h"
#include "app/settings/LoginProfile.h"
#include "app/settings/Preferences.h"
#include "engine/CVSThreadBreaker.h"
#include "platform/framework/Commander.h"

class CLoginProfile;

// What the application asks of the user interface.
class CAppFace {
public:
    virtual ~CAppFace() = default;
    virtual void ShowConsole() = 0;
    virtual void ShowCommentWindow() = 0;
    // Lets the user choose a folder and hands it to OpenDocument.
    virtual void ChooseDocument() = 0;
    virtual void DoPreferences() = 0;
    // The login dialog on a copy of the application's profiles showing
    // `index`, in the password-prompt form when passwordOnly. On OK the
    // dialog's list has replaced the application's and true is returned.
    virtual bool LoginDialog(unsigned short index, bool passwordOnly) = 0;
    // The module-list dialog; index comes in preselected and goes out chosen.
    // False on Cancel.
    virtual bool ModuleListDialog(unsigned short& index) = 0;
    virtual void ShowAboutBox(unsigned short ticks) = 0;
    virtual bool InspectorVisible() const { return false; }
    virtual void ShowInspector(bool /*show*/) {}
};

// Facts of the running system for the start-up report; the user interface
// fills in what only it knows.
struct SPlatformFacts {
    std::string appearance;  // toolkit and style, empty when unknown
    std::optional<bool> keychain;  // unset: asked of the secret service
    std::string network;  // empty: taken from uname
    std::string system;   // empty: taken from os-release and uname
};

class CCVSClientApp : public CCommander, public CCVSThreadBreaker {
public:
    // Loads the preferences from `prefsPath` (the per-user default when
    // empty) and creates the comment keeper.
    explicit CCVSClientApp(std::string const& prefsPath = {});
    ~CCVSClientApp() override;

    void SetFace(CAppFace* face) { mFace = face; }
    CAppFace* Face() const { return mFace; }

    bool ObeyCommand(long command, void* param) override;
    void FindCommandStatus(long command, SCommandStatus& status) override;

    // Exceptions that reached the event loop.
    void CatchExceptionCode(long code);

    // The folder of a sandbox to open.
    void OpenDocument(std::string const& path);

    // Asks for a missing password (or the whole login) when needed; returns
    // whether the profile at index is complete afterwards.
    bool PromptConnectionOrPassword(unsigned short index, bool alwaysAsk, bool passwordOnly);
    // Starts a login test (mode 0) or module listing (mode 1) on a copy of the
    // profile, with this application as thread breaker.
    void StartTester(CLoginProfile const& profile, unsigned short mode);
    // The module listing command after its dialog.
    void ListModules();

    // Start-up report and version texts.
    void ShowCopyright(SPlatformFacts const& facts) const;
    std::string Version(bool withBuild) const;
    static std::string Platform() { return "Linux"; }
    static std::string NetTechnology();
    static std::string SystemVersion();
    static std::string KeychainVersion();

    // ---- Preferences and lists
    CPreferences& Prefs() { return mPrefs; }
    CLoginProfileList& Profiles() { return mPrefs.mProfiles; }
    CFileTyperSet& Typers() { return mPrefs.mTypers; }
    bool SavePreferences() { return mPrefs.SavePreferences(); }
    bool SearchDirection() const { return mPrefs.SearchDirection(); }

    // ---- File typer look-ups
    unsigned long ExportFileCreator(CString const& name) const { return mPrefs.mTypers.ExportFileCreator(name); }
    unsigned long ExportFileType(CString const& name) const { return mPrefs.mTypers.ExportFileType(name); }
    unsigned char ExportLineStyle(CString const& name) const { return mPrefs.mTypers.ExportLineStyle(name); }
    unsigned char ImportStorageFormat(CString const& name, unsigned long type, unsigned long creator) const
    {
        return mPrefs.mTypers.ImportStorageFormat(name, type, creator);
    }
    unsigned char ImportKeywordOption(CString const& name, unsigned long type, unsigned long creator) const
    {
        return mPrefs.mTypers.ImportKeywordOption(name, type, creator);
    }
    bool IgnoreFile(unsigned short mode, CString const& name, unsigned long type, unsigned long creator) const
    {
        return mPrefs.mTypers.IgnoreFile(mode, name, type, creator);
    }

    long CommentEncodingConversion() const { return mPrefs.mValues.commentTextEncoding; }

private:
    void NotAvailableYet(char const* what) const;
    CPreferences mPrefs;
    CAppFace* mFace = nullptr;
};

extern CCVSClientApp* gAppP;
extern CCommentator* gCommentatorP;
