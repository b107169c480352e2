#include "ui/TyperCheckDialog.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/CVSClientApp.h"
#include "foundation/Log.h"
#include "typers/FileTyper.h"
#include "ui/PreferencesDialog.h"
#include "ui/QtText.h"

namespace {
char const* const kViewNames[] = {"All Items", "Folders", "Dangerous", "Skipped", "To Be Added"};

QString Format(unsigned char storage, unsigned char keyword)
{
    return FromMac(StorageFormatOption(storage, false)) + QStringLiteral("  ") + FromMac(KeywordSubstOption(keyword, false));
}
}  // namespace

CTyperCheckDialog::CTyperCheckDialog(TPtrArray<CFileTyperTestEntry> const& entries, std::string const& operation,
                                     CCVSClientApp* app, QWidget* parent)
    : QDialog(parent), mOperation(operation), mApp(app)
{
    setObjectName(QStringLiteral("TyperCheckDialog"));
    for (CFileTyperTestEntry* e : entries)
        mEntries.push_back(e);
    setWindowTitle(FromMac(operation + " Check Results"));
    auto* layout = new QVBoxLayout(this);
    mViews = new QTabBar(this);
    for (short v = kFTViewAll; v <= kFTViewAdded; ++v) {
        unsigned long n = 0;
        for (auto* e : mEntries)
            n += e->MatchesFilter(v) ? 1 : 0;
        QString const name = QString::fromLatin1(kViewNames[v - 1]);
        int const tab = mViews->addTab(n ? QStringLiteral("%1 (%2)").arg(name).arg(n) : name + QStringLiteral(" (none)"));
        if (v == kFTViewDanger && n)
            mViews->setTabTextColor(tab, QColor(0xC0, 0x10, 0x10));
    }
    layout->addWidget(mViews);
    mList = new QTreeWidget(this);
    mList->setRootIsDecorated(false);
    mList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Stored as"), QStringLiteral("Type"),
                            QStringLiteral("Creator")});
    mList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    layout->addWidget(mList, 1);
    mComment1 = new QLabel(this);
    mComment2 = new QLabel(this);
    for (QLabel* l : {mComment1, mComment2}) {
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        layout->addWidget(l);
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* typers = buttons->addButton(QStringLiteral("Translators\u2026"), QDialogButtonBox::ResetRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    QPushButton* go = buttons->addButton(QString::fromStdString(MacRomanToUtf8(operation)), QDialogButtonBox::AcceptRole);
    go->setDefault(true);
    typers->setEnabled(mApp != nullptr);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        mResult = 1;
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] {
        mResult = 2;
        reject();
    });
    connect(typers, &QPushButton::clicked, this, [this] { EditTypers(); });
    layout->addWidget(buttons);
    connect(mViews, &QTabBar::currentChanged, this, [this](int i) { ShowView(static_cast<short>(i + 1)); });
    connect(mList, &QTreeWidget::currentItemChanged, this, [this] { ShowComments(); });
    // Items may be renamed or moved while the program is in the background.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s != Qt::ApplicationInactive || !isVisible() || mResult == 4)
            return;
        mResult = 4;
        done(QDialog::Rejected);
    });
    resize(640, 420);
    ShowView(kFTViewAll);
}

void CTyperCheckDialog::ShowView(short view)
{
    if (mViews->currentIndex() != view - 1) {
        mViews->setCurrentIndex(view - 1);  // comes back here
        return;
    }
    mList->clear();
    mShown.clear();
    for (auto* e : mEntries) {
        if (!e->MatchesFilter(view))
            continue;
        mShown.push_back(e);
        auto* item = new QTreeWidgetItem(mList);
        item->setText(0, FromMac(e->mName));
        if (e->mIsFolder) {
            item->setText(1, QStringLiteral("Folder"));
        } else {
            item->setText(1, e->mSkip ? QStringLiteral("skipped") : Format(e->mStorage, e->mKeyword));
            item->setText(2, FromMac(OSTypeAsString(e->mType, false)));
            item->setText(3, FromMac(OSTypeAsString(e->mCreator, false)));
        }
        if (e->Danger())
            item->setForeground(0, QColor(0xC0, 0x10, 0x10));
    }
    if (mList->topLevelItemCount())
        mList->setCurrentItem(mList->topLevelItem(0));
    ShowComments();
}

void CTyperCheckDialog::ShowComments()
{
    int const i = mList->currentItem() ? mList->indexOfTopLevelItem(mList->currentItem()) : -1;
    if (i < 0 || i >= static_cast<int>(mShown.size())) {
        mComment1->clear();
        mComment2->clear();
        return;
    }
    mComment1->setText(FromMac(mShown[static_cast<size_t>(i)]->CommentLine1()));
    mComment2->setText(FromMac(mShown[static_cast<size_t>(i)]->CommentLine2()));
}

void CTyperCheckDialog::EditTypers()
{
    if (!mApp)
        return;
    // Show the translator that decides the selected file, if any.
    int show = -1;
    int const i = mList->currentItem() ? mList->indexOfTopLevelItem(mList->currentItem()) : -1;
    if (i >= 0 && i < static_cast<int>(mShown.size())) {
        auto const* e = mShown[static_cast<size_t>(i)];
        auto const& list = mApp->Typers().mTranslators;
        for (int k = 0; k < list.Count() && show < 0; ++k)
            if (list[k]->Matches(kFTImportTranslator, e->mName, e->mType, e->mCreator))
                show = k;
    }
    CPreferencesDialog prefs(*mApp, show, this);
    if (prefs.exec() == QDialog::Accepted) {
        mResult = 3;
        done(QDialog::Rejected);
    }
}

int CTyperCheckDialog::Run()
{
    exec();
    if (mResult == 4)
        GAlert(kAlertStop,
               "Fennelwright got pushed to the back while preparing an %s. New items might have been renamed or "
               "moved. To resume the %s, please click \xD2" "Check\xC9\xD3 later.",
               mOperation.c_str(), mOperation.c_str());
    return mResult;
}
