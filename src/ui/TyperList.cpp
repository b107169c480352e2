#include "ui/TyperList.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>

#include <algorithm>

#include "ui/QtText.h"

namespace {
constexpr char kRowsMime[] = "application/x-fennelwright-typer-rows";

QString ClipboardToQt(CString const& text)
{
    std::string s = text.IsNull() ? std::string() : text.c_str();
    std::replace(s.begin(), s.end(), '\r', '\n');
    return FromMac(s);
}
}  // namespace

CTyperList::CTyperList(TPtrArray<CFileTyper> const& typers, bool filters, QWidget* parent)
    : QListWidget(parent), mFilters(filters)
{
    setObjectName(filters ? QStringLiteral("IgnoreFilters") : QStringLiteral("Translators"));
    for (CFileTyper* t : typers)
        mTypers.push_back(*t);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    Rebuild();
}

void CTyperList::Rebuild(int select)
{
    clear();
    for (CFileTyper const& t : mTypers) {
        auto* item = new QListWidgetItem(FromMac(FileTyperDisplayText(t)), this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    }
    if (select >= 0 && select < count())
        setCurrentRow(select);
}

std::vector<int> CTyperList::SelectedRows() const
{
    std::vector<int> r;
    for (QModelIndex const& i : selectionModel()->selectedRows())
        r.push_back(i.row());
    std::sort(r.begin(), r.end());
    return r;
}

void CTyperList::CopyOut(TPtrArray<CFileTyper>& to) const
{
    to.clear();
    for (CFileTyper const& t : mTypers)
        to.append(new CFileTyper(t));
}

QString CTyperList::CopyText() const
{
    TPtrArray<CFileTyper> chosen;  // not owning
    std::vector<int> rows = SelectedRows();
    if (rows.empty())
        for (int i = 0; i < Count(); ++i)
            rows.push_back(i);
    for (int i : rows)
        chosen.append(const_cast<CFileTyper*>(&mTypers[static_cast<size_t>(i)]));
    return ClipboardToQt(FileTypersToClipboard(chosen, mFilters));
}

bool CTyperList::PasteText(QString const& text, ETyperSource source)
{
    std::string s = ToMac(text);
    // The clipboard form ends lines with CR; accept LF from other programs.
    std::replace(s.begin(), s.end(), '\n', '\r');
    TPtrArray<CFileTyper> incoming(kPArrOwning);
    if (!TypersForPaste(incoming, CString(s.c_str()), mFilters, source) || incoming.Count() == 0)
        return false;
    std::vector<int> const rows = SelectedRows();
    int at = rows.empty() ? Count() : rows.back() + 1;
    int const first = at;
    for (CFileTyper* t : incoming)
        mTypers.insert(mTypers.begin() + at++, *t);
    Rebuild();
    for (int i = first; i < at; ++i)
        item(i)->setSelected(true);
    return true;
}

void CTyperList::DeleteSelected()
{
    std::vector<int> const rows = SelectedRows();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        mTypers.erase(mTypers.begin() + *it);
    Rebuild(rows.empty() ? -1 : std::min(rows.front(), Count() - 1));
}

void CTyperList::MoveTyper(int from, int to)
{
    if (from < 0 || from >= Count() || to < 0 || to > Count() || to == from || to == from + 1)
        return;
    CFileTyper t = mTypers[static_cast<size_t>(from)];
    mTypers.erase(mTypers.begin() + from);
    if (to > from)
        --to;
    mTypers.insert(mTypers.begin() + to, t);
    Rebuild(to);
}

void CTyperList::Copy()
{
    QApplication::clipboard()->setText(CopyText());
}

void CTyperList::Paste()
{
    PasteText(QApplication::clipboard()->text(), ETyperSource::kClipboard);
}

void CTyperList::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy))
        Copy();
    else if (event->matches(QKeySequence::Paste))
        Paste();
    else if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace)
        DeleteSelected();
    else
        QListWidget::keyPressEvent(event);
}

QStringList CTyperList::mimeTypes() const
{
    return {QStringLiteral("text/plain"), QString::fromLatin1(kRowsMime)};
}

QMimeData* CTyperList::mimeData(QList<QListWidgetItem*> const& items) const
{
    auto* data = new QMimeData;
    data->setText(CopyText());
    QByteArray rows;
    for (QListWidgetItem* i : items)
        rows += QByteArray::number(row(i)) + ' ';
    // Which list the rows come from, so a drop elsewhere is not a move.
    data->setData(QString::fromLatin1(kRowsMime),
                  QByteArray::number(reinterpret_cast<quintptr>(this)) + ':' + rows.trimmed());
    return data;
}

Qt::DropActions CTyperList::supportedDropActions() const
{
    return Qt::MoveAction | Qt::CopyAction;
}

bool CTyperList::dropMimeData(int index, QMimeData const* data, Qt::DropAction action)
{
    QByteArray const rows = data->data(QString::fromLatin1(kRowsMime));
    int const at = index < 0 ? Count() : index;
    if (!rows.isEmpty() && action == Qt::MoveAction) {
        QList<QByteArray> parts = rows.split(':');
        if (parts.size() == 2 && parts[0].toULongLong() == reinterpret_cast<quintptr>(this)) {
            // Reordering within this list: one row at a time keeps it simple.
            QList<QByteArray> nums = parts[1].split(' ');
            if (nums.size() == 1) {
                MoveTyper(nums[0].toInt(), at);
                return true;
            }
        }
    }
    if (!data->hasText())
        return false;
    clearSelection();
    if (at < Count() && at > 0)
        item(at - 1)->setSelected(true);
    else if (at == 0) {
        // Paste before the first row.
        std::vector<CFileTyper> keep = mTypers;
        mTypers.clear();
        Rebuild();
        bool const ok = PasteText(data->text(), ETyperSource::kDrag);
        for (CFileTyper const& t : keep)
            mTypers.push_back(t);
        Rebuild(0);
        return ok;
    }
    return PasteText(data->text(), ETyperSource::kDrag);
}

void CTyperList::dropEvent(QDropEvent* event)
{
    // The model is rebuilt by dropMimeData; keep QListWidget from removing
    // the dragged rows a second time.
    QModelIndex const target = indexAt(event->position().toPoint());
    int index = target.isValid() ? target.row() : Count();
    if (target.isValid() && dropIndicatorPosition() == QAbstractItemView::BelowItem)
        ++index;
    Qt::DropAction const action = event->source() == this ? Qt::MoveAction : Qt::CopyAction;
    if (dropMimeData(index, event->mimeData(), action)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}
