#pragma once
// The message log window: one line per entry, oldest first, a text style per
// level, whole-line selection, Copy and Save, and the status line.

#include <QAbstractListModel>

#include "foundation/Log.h"
#include "ui/MenuWindow.h"

class QLabel;
class QListView;

class CConsoleModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(QModelIndex const& parent = {}) const override;
    QVariant data(QModelIndex const& index, int role) const override;
    void Grow(int count);
    void RefreshAll();

private:
    int mRows = 0;
};

class CConsoleWindow : public CMenuWindow, public CConsoleListener {
    Q_OBJECT
public:
    explicit CConsoleWindow(CCommander* super);
    ~CConsoleWindow() override;

    void ShowWindow();

    bool ObeyCommand(long command, void* param) override;
    void FindCommandStatus(long command, SCommandStatus& status) override;

    // CConsoleListener: may be called on a client thread (with the baton);
    // the work is queued for the GUI thread.
    void LinesChanged(unsigned long count) override;
    void Refresh() override;
    void StatusChanged(unsigned char const* status) override;

    QListView* View() const { return mView; }
    QLabel* StatusLabel() const { return mStatus; }
    // The selected lines, each followed by a line feed (UTF-8).
    QString SelectedText() const;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void ShowStatus();
    CConsoleModel* mModel;
    QListView* mView;
    QLabel* mStatus;
};
