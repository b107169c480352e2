#pragma once
// The profile editor of the preferences dialog and of the login dialog, without
// its controls: it works on its own copy of the profile list, shows one
// profile at a time in `Fields()`, and applies the editor's rules when the
// shown profile is stored, a new one is made, one is deleted or another one is
// chosen. The dialog copies the controls into Fields() before each action and
// back out after it.

#include "app/settings/LoginProfile.h"

#include <vector>

class CLoginProfileEditor {
public:
    // The password-prompt form only lets the password be typed: the profile
    // choice, New and Delete are refused there, so that the profile shown is
    // the one the caller asked about.
    explicit CLoginProfileEditor(bool passwordPromptForm = false);

    // Copies the list in and shows the profile at `show` (the first one for an
    // index outside the list).
    void FillTable(CLoginProfileList const& list, unsigned short show);
    // Copies the editor's list out, replacing what `list` held.
    void CopyFromTable(CLoginProfileList& list) const;

    CLoginProfileList const& List() const { return mList; }
    int Shown() const { return mShown; }
    CLoginProfile const* ShownProfile() const { return mList.at(mShown); }
    bool PasswordPromptForm() const { return mPromptForm; }

    // What the controls show; the dialog keeps it in step with them.
    SLoginProfileFields& Fields() { return mFields; }
    SLoginProfileFields const& Fields() const { return mFields; }
    SLoginProfileEnabling Enabling() const { return EnableOrDisableItems(mFields, mPromptForm); }

    // The profile popup: one item per profile in list order (" " for an
    // empty description).
    std::vector<CString> PopupItems() const;

    // Validates the controls and stores them into the shown profile (the list
    // is re-sorted and the shown index follows the profile). False with the
    // alert text when a rule refuses them; nothing changes then.
    bool StoreCurrentProfile(CString& alert);
    // A new profile made from the controls becomes the shown one; refused
    // controls discard it.
    bool New(CString& alert);
    bool CanDelete() const { return !mPromptForm && mList.Count() > 1; }
    // Deletes the shown profile and shows the one then at its place.
    bool Delete();
    // Stores the controls into the shown profile, then shows profile `index`.
    // When storing fails the shown profile stays (alert set).
    bool Choose(int index, CString& alert);
    // The method popup changed: pick the port radio button for it.
    void MethodChanged(short method);
    // Stores the controls and gives a copy of the shown profile for a login
    // test, logging "Testing login for ..."; false with an alert when the
    // controls are refused or the login data are incomplete.
    bool PrepareTest(CLoginProfile& out, CString& alert);

private:
    void Show(int index);

    bool mPromptForm;
    CLoginProfileList mList;
    int mShown = -1;
    SLoginProfileFields mFields;
};
