#pragma once
// A list of file typers (translators or ignore filters) with copy, paste,
// delete, drag to reorder and drops of typer text from elsewhere.

#include <QListWidget>

#include <vector>

#include "typers/FileTyper.h"

class CTyperList : public QListWidget {
    Q_OBJECT
public:
    CTyperList(TPtrArray<CFileTyper> const& typers, bool filters, QWidget* parent = nullptr);

    // The list as shown, in order.
    void CopyOut(TPtrArray<CFileTyper>& to) const;
    int Count() const { return static_cast<int>(mTypers.size()); }
    CFileTyper const& At(int i) const { return mTypers[static_cast<size_t>(i)]; }

    // The clipboard form of the selected typers (all when none is selected).
    QString CopyText() const;
    // Inserts typers read from text after the selection (at the end without
    // one); false when the text holds none that may go into this list.
    bool PasteText(QString const& text, ETyperSource source);
    void DeleteSelected();
    // Moves the typer at `from` so that it lands at `to`.
    void MoveTyper(int from, int to);

    void Copy();
    void Paste();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QMimeData* mimeData(QList<QListWidgetItem*> const& items) const override;
    QStringList mimeTypes() const override;
    bool dropMimeData(int index, QMimeData const* data, Qt::DropAction action) override;
    Qt::DropActions supportedDropActions() const override;
    void dropEvent(QDropEvent* event) override;

private:
    void Rebuild(int select = -1);
    bool mFilters;
    std::vector<int> SelectedRows() const;
    std::vector<CFileTyper> mTypers;
};
