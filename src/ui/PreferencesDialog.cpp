#include "ui/PreferencesDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/CVSClientApp.h"
#include "app/settings/Comment.h"
#include "ui/LoginProfilePanel.h"
#include "ui/TyperList.h"

namespace {
QCheckBox* Check(QWidget* parent, char const* text, bool on)
{
    auto* c = new QCheckBox(QString::fromLatin1(text), parent);
    c->setChecked(on);
    return c;
}

QWidget* TyperPage(CTyperList* list, QWidget* parent)
{
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    auto* hint = new QLabel(QStringLiteral("First match wins. Drag to reorder; copy, paste and drop typer text."),
                            page);
    hint->setTextFormat(Qt::PlainText);
    layout->addWidget(hint);
    layout->addWidget(list, 1);
    auto* buttons = new QHBoxLayout;
    auto* copy = new QPushButton(QStringLiteral("Copy"), page);
    auto* paste = new QPushButton(QStringLiteral("Paste"), page);
    auto* remove = new QPushButton(QStringLiteral("Delete"), page);
    QObject::connect(copy, &QPushButton::clicked, list, &CTyperList::Copy);
    QObject::connect(paste, &QPushButton::clicked, list, &CTyperList::Paste);
    QObject::connect(remove, &QPushButton::clicked, list, &CTyperList::DeleteSelected);
    buttons->addWidget(copy);
    buttons->addWidget(paste);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return page;
}
}  // namespace

CPreferencesDialog::CPreferencesDialog(CCVSClientApp& app, int showTyper, QWidget* parent)
    : QDialog(parent), mApp(app)
{
    setObjectName(QStringLiteral("PreferencesDialog"));
    setWindowTitle(QStringLiteral("Preferences"));
    SPreferenceValues const& v = app.Prefs().mValues;
    mTabs = new QTabWidget(this);

    auto* general = new QWidget(mTabs);
    auto* form = new QFormLayout(general);
    mCommentCopyMode = new QComboBox(general);
    mCommentCopyMode->addItems({QStringLiteral("Offer the whole comment and remember the message sent"),
                                QStringLiteral("Offer only the text selected in the comment window"),
                                QStringLiteral("Offer nothing")});
    mCommentCopyMode->setCurrentIndex(std::clamp<int>(v.commentCopyMode, 0, 2));
    mEncoding = new QComboBox(general);
    mEncoding->addItems({QStringLiteral("None"), QStringLiteral("ISO Latin 1"), QStringLiteral("Windows Latin 1")});
    mEncoding->setCurrentIndex(v.commentTextEncoding == kCommentEncodingISOLatin1       ? 1
                               : v.commentTextEncoding == kCommentEncodingWindowsLatin1 ? 2
                                                                                         : 0);
    mPruneFolders = Check(general, "Prune empty folders", app.Prefs().CVSOption(0));
    mCreateFolders = Check(general, "Create new folders on update", app.Prefs().CVSOption(1));
    mIconSize = new QComboBox(general);
    mIconSize->addItems({QStringLiteral("None"), QStringLiteral("12 pixels"), QStringLiteral("16 pixels")});
    mIconSize->setCurrentIndex(v.iconSize == 0 ? 0 : v.iconSize == 12 ? 1 : 2);
    mDiffScroll = Check(general, "Move new diff and conflict windows to the first difference", v.diffScrollMode != 0);
    mDiffLog = Check(general, "Also write the raw output of diff to the message log", v.diffLogMode != 0);
    mSplash = new QSpinBox(general);
    mSplash->setRange(0, 32767);
    mSplash->setSuffix(QStringLiteral(" ticks (1/60 s)"));
    mSplash->setValue(v.splashTime);
    mCaseSensitive = Check(general, "Sort and search file lists case-sensitively", v.caseSensitiveFileList != 0);
    mSearchBackwards = Check(general, "Search backwards", !app.Prefs().SearchDirection());
    mLongNames = Check(general, "Use long file names", v.useLongFilenames != 0);
    mConfirmTrash = Check(general, "Confirm moving items to the trash", v.confirmTrash != 0);
    mTabWidth = new QSpinBox(general);
    mTabWidth->setRange(1, 32);
    mTabWidth->setValue(std::clamp<int>(v.tabWidth, 1, 32));
    form->addRow(QStringLiteral("Comment copy mode:"), mCommentCopyMode);
    form->addRow(QStringLiteral("Comment text encoding:"), mEncoding);
    form->addRow(QStringLiteral("CVS commands:"), mPruneFolders);
    form->addRow(QString(), mCreateFolders);
    form->addRow(QStringLiteral("Icon size:"), mIconSize);
    form->addRow(QStringLiteral("Diff:"), mDiffScroll);
    form->addRow(QString(), mDiffLog);
    form->addRow(QStringLiteral("About box at start-up:"), mSplash);
    form->addRow(QStringLiteral("File lists:"), mCaseSensitive);
    form->addRow(QString(), mSearchBackwards);
    form->addRow(QString(), mLongNames);
    form->addRow(QString(), mConfirmTrash);
    form->addRow(QStringLiteral("Tab width:"), mTabWidth);
    mTabs->addTab(general, QStringLiteral("General"));

    mProfiles = new CLoginProfilePanel(app.Profiles(), app.Prefs().LastProfileIndex(), false, mTabs);
    mTabs->addTab(mProfiles, QStringLiteral("Logins"));
    mTranslators = new CTyperList(app.Typers().mTranslators, false, mTabs);
    mFilters = new CTyperList(app.Typers().mIgnoreFilters, true, mTabs);
    mTabs->addTab(TyperPage(mTranslators, mTabs), QStringLiteral("Translators"));
    mTabs->addTab(TyperPage(mFilters, mTabs), QStringLiteral("Ignore Filters"));
    if (showTyper >= 0 && showTyper < mTranslators->Count()) {
        mTranslators->setCurrentRow(showTyper);
        mTabs->setCurrentIndex(2);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mTabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CPreferencesDialog::accept()
{
    if (!mProfiles->StoreCurrentProfile()) {
        mTabs->setCurrentWidget(mProfiles);
        return;
    }
    CPreferences& prefs = mApp.Prefs();
    prefs.PutSetting(kSettingLastProfile, mProfiles->Editor().Shown());
    SPreferenceValues& v = prefs.mValues;
    int const enc = mEncoding->currentIndex();
    v.commentTextEncoding = enc == 1 ? kCommentEncodingISOLatin1 : enc == 2 ? kCommentEncodingWindowsLatin1
                                                                            : kCommentEncodingNone;
    mTranslators->CopyOut(mApp.Typers().mTranslators);
    mFilters->CopyOut(mApp.Typers().mIgnoreFilters);
    mProfiles->Editor().CopyFromTable(mApp.Profiles());
    v.commentCopyMode = static_cast<short>(mCommentCopyMode->currentIndex());
    prefs.SetCVSOption(0, mPruneFolders->isChecked());
    prefs.SetCVSOption(1, mCreateFolders->isChecked());
    int const icon = mIconSize->currentIndex();
    v.iconSize = static_cast<short>(icon == 0 ? 0 : icon == 1 ? 12 : 16);
    v.diffScrollMode = mDiffScroll->isChecked() ? 1 : 0;
    v.diffLogMode = mDiffLog->isChecked() ? 1 : 0;
    v.splashTime = static_cast<short>(mSplash->value());
    prefs.CaseSensitiveFileList(mCaseSensitive->isChecked());
    prefs.SearchDirection(!mSearchBackwards->isChecked());
    v.useLongFilenames = mLongNames->isChecked() ? 1 : 0;
    prefs.ConfirmTrash(mConfirmTrash->isChecked());
    v.tabWidth = static_cast<short>(mTabWidth->value());
    mApp.SavePreferences();
    QDialog::accept();
}
