#include "app/settings/LoginProfileEditor.h"

#include "foundation/Log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CLoginProfile* Profile(char const* description, char const* host, short method = kLoginPserver)
{
    auto* p = new CLoginProfile;
    p->SetDescription(description);
    p->SetHost(host);
    p->SetRoot("/cvsroot");
    p->SetUser("anon");
    p->SetLoginMethod(method);
    return p;
}

struct SAppList {
    SAppList() : list(kPArrOwning | kPArrSorted)
    {
        list.insert(Profile("beta", "b.example.org"));
        list.insert(Profile("Alpha", "a.example.org"));
        list.insert(Profile("gamma", "g.example.org", kLoginSSH2));
    }
    CLoginProfileList list;
};

TEST(LoginProfileEditorModel, EditsStayInTheCopyUntilCopiedOut)
{
    SAppList app;
    CLoginProfileEditor editor;
    editor.FillTable(app.list, 1);
    EXPECT_EQ(editor.ShownProfile()->Description(), "beta");
    EXPECT_EQ(editor.Fields().host, "b.example.org");
    EXPECT_EQ(editor.PopupItems(), (std::vector<CString>{"Alpha", "beta", "gamma"}));

    // Renaming re-sorts the list; the shown index follows the profile.
    CString alert;
    editor.Fields().description = "zulu";
    ASSERT_TRUE(editor.StoreCurrentProfile(alert)) << alert.c_str();
    EXPECT_EQ(editor.Shown(), 2);
    EXPECT_EQ(editor.ShownProfile()->Description(), "zulu");
    EXPECT_EQ(app.list[1]->Description(), "beta"); // the application's list is untouched

    // New takes the controls; the previous profile keeps what it had.
    editor.Fields().description = "new one";
    editor.Fields().host = "n.example.org";
    ASSERT_TRUE(editor.New(alert)) << alert.c_str();
    EXPECT_EQ(editor.List().Count(), 4);
    EXPECT_EQ(editor.ShownProfile()->Description(), "new one");
    // Refused controls discard the new profile.
    editor.Fields().description = "";
    EXPECT_FALSE(editor.New(alert));
    EXPECT_EQ(editor.List().Count(), 4);
    EXPECT_EQ(editor.ShownProfile()->Description(), "new one");

    // Choosing another profile stores the shown one first; a refusal keeps it.
    EXPECT_FALSE(editor.Choose(0, alert));
    EXPECT_EQ(editor.ShownProfile()->Description(), "new one");
    editor.Fields().description = "new one";
    ASSERT_TRUE(editor.Choose(0, alert));
    EXPECT_EQ(editor.ShownProfile()->Description(), "Alpha");

    ASSERT_TRUE(editor.Delete());
    EXPECT_EQ(editor.List().Count(), 3);
    EXPECT_EQ(editor.Shown(), 0);

    CLoginProfileList out(kPArrOwning | kPArrSorted);
    editor.CopyFromTable(out);
    ASSERT_EQ(out.Count(), 3);
    EXPECT_EQ(out[0]->Description(), "gamma");
    EXPECT_EQ(out[2]->Description(), "zulu");
}

TEST(LoginProfileEditorModel, PasswordPromptFormOnlyTakesThePassword)
{
    SAppList app;
    CLoginProfileEditor prompt(true);
    prompt.FillTable(app.list, 0);
    CString alert;
    EXPECT_FALSE(prompt.CanDelete());
    EXPECT_FALSE(prompt.Delete());
    EXPECT_FALSE(prompt.New(alert));
    EXPECT_FALSE(prompt.Choose(2, alert));
    EXPECT_EQ(prompt.Shown(), 0);
    EXPECT_FALSE(prompt.Enabling().description);
    EXPECT_TRUE(prompt.Enabling().password);
    prompt.Fields().password = "typed";
    ASSERT_TRUE(prompt.StoreCurrentProfile(alert));
    EXPECT_EQ(prompt.ShownProfile()->Password(), "typed");

    CLoginProfileEditor single;
    CLoginProfileList one(kPArrOwning | kPArrSorted);
    one.insert(Profile("only", "h"));
    single.FillTable(one, kNoProfile);
    EXPECT_FALSE(single.CanDelete());
}

TEST(LoginProfileEditorModel, MethodChangeAndLoginTest)
{
    SAppList app;
    CLoginProfileEditor editor;
    editor.FillTable(app.list, 0);
    editor.Fields().useDefaultPort = false;
    editor.MethodChanged(kLoginLocal);
    EXPECT_TRUE(editor.Fields().useDefaultPort);
    editor.MethodChanged(kLoginSSH2);
    EXPECT_TRUE(editor.Fields().useDefaultPort); // the profile uses the default port

    CString alert;
    CLoginProfile tested;
    editor.Fields().method = kLoginPserver;
    editor.Fields().password = "";
    EXPECT_FALSE(editor.PrepareTest(tested, alert));
    EXPECT_EQ(alert, "Login data incomplete. Please correct fields first.");

    CConsole console;
    CConsole* old = gConsoleP;
    gConsoleP = &console;
    editor.Fields().password = "secret";
    EXPECT_TRUE(editor.PrepareTest(tested, alert));
    gConsoleP = old;
    EXPECT_EQ(tested.Password(), "secret");
    ASSERT_EQ(console.Count(), 1u);
    EXPECT_EQ(console.EntryText(0).rfind("Testing login for", 0), 0u);
    EXPECT_EQ(console.EntryText(0).find("secret"), std::string::npos);
}

} // namespace
