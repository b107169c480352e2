#pragma once
// The check list shown before an add or import: what the translators and
// filters will do with every item, in five views, with a comment on the
// selected one. Results: 1 go on, 2 cancel, 3 the typers were changed in the
// preferences (check again), 4 the program went to the background.

#include <QDialog>
#include <vector>

#include "foundation/TPtrArray.h"
#include "typers/FileTyperTestEntry.h"

class CCVSClientApp;
class QLabel;
class QTabBar;
class QTreeWidget;

class CTyperCheckDialog : public QDialog {
    Q_OBJECT
public:
    CTyperCheckDialog(TPtrArray<CFileTyperTestEntry> const& entries, std::string const& operation,
                      CCVSClientApp* app = nullptr, QWidget* parent = nullptr);

    // Shows the dialog and returns its result (see above).
    int Run();

    QTabBar* Views() const { return mViews; }
    QTreeWidget* List() const { return mList; }
    QLabel* Comment1() const { return mComment1; }
    QLabel* Comment2() const { return mComment2; }
    void ShowView(short view);

private:
    void ShowComments();
    void EditTypers();
    std::vector<CFileTyperTestEntry const*> mEntries;
    std::vector<CFileTyperTestEntry const*> mShown;
    std::string mOperation;
    CCVSClientApp* mApp;
    QTabBar* mViews;
    QTreeWidget* mList;
    QLabel* mComment1;
    QLabel* mComment2;
    int mResult = 2;
};
