#pragma once
// The preferences dialog: every preference value, the login profiles and the
// two typer lists, all on copies that replace the application's only on OK.

#include <QDialog>

class CCVSClientApp;
class CLoginProfilePanel;
class CTyperList;
class QCheckBox;
class QComboBox;
class QSpinBox;
class QTabWidget;

class CPreferencesDialog : public QDialog {
    Q_OBJECT
public:
    // showTyper: the translator (>= 0) to select, else -1.
    explicit CPreferencesDialog(CCVSClientApp& app, int showTyper = -1, QWidget* parent = nullptr);
    void accept() override;

    QTabWidget* Tabs() const { return mTabs; }
    CLoginProfilePanel* Profiles() const { return mProfiles; }
    CTyperList* Translators() const { return mTranslators; }
    CTyperList* IgnoreFilters() const { return mFilters; }

    QComboBox* mCommentCopyMode;
    QCheckBox* mPruneFolders;
    QCheckBox* mCreateFolders;
    QComboBox* mIconSize;
    QCheckBox* mDiffScroll;
    QCheckBox* mDiffLog;
    QSpinBox* mSplash;
    QCheckBox* mCaseSensitive;
    QCheckBox* mSearchBackwards;
    QCheckBox* mLongNames;
    QCheckBox* mConfirmTrash;
    QSpinBox* mTabWidth;
    QComboBox* mEncoding;

private:
    CCVSClientApp& mApp;
    QTabWidget* mTabs;
    CLoginProfilePanel* mProfiles;
    CTyperList* mTranslators;
    CTyperList* mFilters;
};
