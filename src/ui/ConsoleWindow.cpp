#include "ui/ConsoleWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

#include "app/Commands.h"
#include "ui/QtText.h"

int CConsoleModel::rowCount(QModelIndex const& parent) const
{
    return parent.isValid() ? 0 : mRows;
}

QVariant CConsoleModel::data(QModelIndex const& index, int role) const
{
    if (!gConsoleP || !index.isValid() || index.row() >= mRows)
        return {};
    short level = 0;
    unsigned char const* p = gConsoleP->AskEntry(static_cast<unsigned long>(index.row()), &level);
    if (!p)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return FromMac(std::string_view(reinterpret_cast<char const*>(p + 1), p[0]));
    case Qt::FontRole: {
        // Three text styles: plain, notable (bold; warnings also italic), errors.
        static QFont const plain = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        static QFont const bold = [] {
            QFont f = plain;
            f.setBold(true);
            return f;
        }();
        static QFont const warning = [] {
            QFont f = bold;
            f.setItalic(true);
            return f;
        }();
        return level == 0 ? plain : level == 2 ? warning : bold;
    }
    case Qt::ForegroundRole:
        if (level >= 3)
            return QColor(0xB0, 0x10, 0x10);
        if (level >= 1)
            return QColor(0x10, 0x30, 0x80);
        return {};
    default:
        return {};
    }
}

void CConsoleModel::Grow(int count)
{
    if (count > mRows) {
        beginInsertRows({}, mRows, count - 1);
        mRows = count;
        endInsertRows();
    }
}

void CConsoleModel::RefreshAll()
{
    int const count = gConsoleP ? static_cast<int>(gConsoleP->Count()) : 0;
    Grow(count);
    if (mRows > 0)
        emit dataChanged(index(0), index(mRows - 1));
}

CConsoleWindow::CConsoleWindow(CCommander* super) : CMenuWindow(kWindowConsole, super)
{
    setObjectName(QStringLiteral("ConsoleWindow"));
    SetWindowTitleMac("Message Log");
    mModel = new CConsoleModel(this);
    mView = new QListView(this);
    mView->setModel(mModel);
    mView->setUniformItemSizes(true);  // every line the same height
    mView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mView->setSelectionBehavior(QAbstractItemView::SelectRows);
    mView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    setCentralWidget(mView);
    mStatus = new QLabel(this);
    mStatus->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(mStatus, 1);
    resize(720, 420);
    if (gConsoleP) {
        mModel->RefreshAll();
        gConsoleP->SetListener(this);
        ShowStatus();
    }
    connect(mView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [] { CMenuWindow::UpdateAllMenus(); });
}

CConsoleWindow::~CConsoleWindow()
{
    if (gConsoleP && gConsoleP->Listener() == this)
        gConsoleP->SetListener(nullptr);
}

void CConsoleWindow::ShowWindow()
{
    bool const bottom = !gConsoleP || gConsoleP->NewLines() || !isVisible();
    mModel->RefreshAll();
    SelectWindow();
    if (bottom)
        mView->scrollToBottom();
    if (gConsoleP)
        gConsoleP->ClearNewLines();
}

void CConsoleWindow::hideEvent(QHideEvent* event)
{
    if (gConsoleP)
        gConsoleP->ClearNewLines();
    CMenuWindow::hideEvent(event);
}

bool CConsoleWindow::ObeyCommand(long command, void* param)
{
    switch (command) {
    case kCmdCopy:
        QApplication::clipboard()->setText(SelectedText());
        return true;
    case kCmdSaveLog:
        if (gConsoleP && gConsoleP->DoSave() == 0)
            GLogPrintf(0, "Log saved as \xD2%s\xD3.", Utf8ToMacRoman(gConsoleP->LastSavedPath()).c_str());
        return true;
    default:
        return CMenuWindow::ObeyCommand(command, param);
    }
}

void CConsoleWindow::FindCommandStatus(long command, SCommandStatus& status)
{
    switch (command) {
    case kCmdCopy:
        status.enabled = mView->selectionModel()->hasSelection();
        return;
    case kCmdSaveLog:
        status.enabled = true;
        return;
    default:
        CMenuWindow::FindCommandStatus(command, status);
    }
}

QString CConsoleWindow::SelectedText() const
{
    auto rows = mView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](QModelIndex const& a, QModelIndex const& b) { return a.row() < b.row(); });
    QString out;
    for (QModelIndex const& i : rows)
        out += i.data().toString() + QLatin1Char('\n');
    return out;
}

void CConsoleWindow::LinesChanged(unsigned long count)
{
    int const n = static_cast<int>(count);
    QMetaObject::invokeMethod(this, [this, n] { mModel->Grow(n); }, Qt::QueuedConnection);
}

void CConsoleWindow::Refresh()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            mModel->RefreshAll();
            if (isVisible())
                mView->scrollToBottom();
        },
        Qt::QueuedConnection);
}

void CConsoleWindow::StatusChanged(unsigned char const*)
{
    QMetaObject::invokeMethod(this, [this] { ShowStatus(); }, Qt::QueuedConnection);
}

void CConsoleWindow::ShowStatus()
{
    if (!gConsoleP)
        return;
    unsigned char const* s = gConsoleP->Status();
    mStatus->setText(FromMac(std::string_view(reinterpret_cast<char const*>(s + 1), s[0])));
}
