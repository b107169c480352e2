#pragma once
// The application's dialogs: login, module listing and the About box.

#include <QDialog>

#include "app/settings/LoginProfile.h"

class CLoginProfilePanel;
class QComboBox;
class QLabel;

// The login dialog over a copy of the profiles. OK stores the shown profile
// (the dialog stays open when that is refused).
class CLoginDialog : public QDialog {
    Q_OBJECT
public:
    CLoginDialog(CLoginProfileList const& list, unsigned short show, bool passwordOnly, QWidget* parent = nullptr);
    CLoginProfilePanel* Panel() const { return mPanel; }
    void accept() override;

private:
    CLoginProfilePanel* mPanel;
};

// A popup of every login profile.
class CModuleListDialog : public QDialog {
    Q_OBJECT
public:
    CModuleListDialog(CLoginProfileList const& list, unsigned short preselect, QWidget* parent = nullptr);
    unsigned short Chosen() const;
    QComboBox* Popup() const { return mPopup; }

private:
    QComboBox* mPopup;
};

// The About box: name, version and icon. Closes on a click or key, or after
// `ticks` sixtieths of a second when that is not 0.
class CAboutBox : public QDialog {
    Q_OBJECT
public:
    CAboutBox(QString const& version, unsigned short ticks, QWidget* parent = nullptr);
    QLabel* VersionLabel() const { return mVersion; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* mVersion;
};

void PopulateLoginProfilePopup(QComboBox* popup, CLoginProfileList const& list);
