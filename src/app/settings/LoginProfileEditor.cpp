#include "app/settings/LoginProfileEditor.h"

#include "foundation/Log.h"

CLoginProfileEditor::CLoginProfileEditor(bool passwordPromptForm)
    : mPromptForm(passwordPromptForm), mList(kPArrOwning | kPArrSorted)
{
}

void CLoginProfileEditor::FillTable(CLoginProfileList const& list, unsigned short show)
{
    CopyProfileList(list, mList);
    if (mList.Count() == 0)
        mList.insert(new CLoginProfile);
    Show(show < mList.Count() ? show : 0);
}

void CLoginProfileEditor::CopyFromTable(CLoginProfileList& list) const
{
    CopyProfileList(mList, list);
}

void CLoginProfileEditor::Show(int index)
{
    mShown = index;
    if (CLoginProfile const* p = mList.at(index))
        mFields = RetrieveFields(*p);
}

std::vector<CString> CLoginProfileEditor::PopupItems() const
{
    std::vector<CString> items;
    for (CLoginProfile* p : mList)
        items.push_back(p->Description().Empty() ? CString(" ") : p->Description());
    return items;
}

bool CLoginProfileEditor::StoreCurrentProfile(CString& alert)
{
    CLoginProfile* shown = mList.at(mShown);
    if (!FW_CHECK(shown))
        return false;
    const int index = StoreProfileIntoList(mFields, mList, shown, alert);
    if (index < 0)
        return false;
    Show(index);
    return true;
}

bool CLoginProfileEditor::New(CString& alert)
{
    if (mPromptForm)
        return false;
    auto* fresh = new CLoginProfile;
    const int index = StoreProfileIntoList(mFields, mList, fresh, alert);
    if (index < 0) {
        delete fresh;
        return false;
    }
    Show(index);
    return true;
}

bool CLoginProfileEditor::Delete()
{
    if (!CanDelete())
        return false;
    mList.remove(mShown, 1);
    Show(mShown < mList.Count() ? mShown : mList.Count() - 1);
    return true;
}

bool CLoginProfileEditor::Choose(int index, CString& alert)
{
    if (index == mShown)
        return true;
    if (mPromptForm || !mList.at(index))
        return false;
    CLoginProfile* chosen = mList[index];
    if (!StoreCurrentProfile(alert))
        return false;
    // Storing may have re-sorted the list.
    for (int i = 0; i < mList.Count(); ++i)
        if (mList[i] == chosen)
            Show(i);
    return true;
}

void CLoginProfileEditor::MethodChanged(short method)
{
    CLoginProfile const* shown = ShownProfile();
    mFields.method = method;
    mFields.useDefaultPort = (shown && shown->UseDefaultPort()) || method == kLoginLocal;
}

bool CLoginProfileEditor::PrepareTest(CLoginProfile& out, CString& alert)
{
    if (!StoreCurrentProfile(alert))
        return false;
    CLoginProfile const* shown = ShownProfile();
    if (!shown->ConnectionComplete()) {
        alert = "Login data incomplete. Please correct fields first.";
        return false;
    }
    GLogPrintf(1, "Testing login for \xD2%s\xD3 \xC9", shown->InfoString().c_str());
    out = *shown;
    return true;
}
