#pragma once
// The login profile editor's controls over a CLoginProfileEditor: the
// profile popup, the connection and transfer fields, New, Delete and Test.
// Used by the preferences dialog and by the login dialog.

#include <QWidget>

#include "app/settings/LoginProfileEditor.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CLoginProfilePanel : public QWidget {
    Q_OBJECT
public:
    CLoginProfilePanel(CLoginProfileList const& list, unsigned short show, bool passwordPromptForm,
                       QWidget* parent = nullptr);

    CLoginProfileEditor& Editor() { return mEditor; }
    // Stores the controls into the shown profile; on refusal shows the alert
    // and returns false.
    bool StoreCurrentProfile();

    // The controls (named as the editor's fields), open for tests.
    QComboBox* mLoginListPopup;
    QLineEdit* mName;
    QLineEdit* mServer;
    QLineEdit* mRoot;
    QLineEdit* mUser;
    QLineEdit* mPassword;
    QComboBox* mPasswordMode;
    QLineEdit* mTimeout;
    QLineEdit* mBufferSize;
    QRadioButton* mPortDefault;
    QRadioButton* mPortCustom;
    QLabel* mPortDefaultLabel;
    QLineEdit* mPort;
    QCheckBox* mHaveThroughputLimit;
    QLineEdit* mThroughputLimit;
    QComboBox* mLoginMethod;
    QComboBox* mCompression;
    QCheckBox* mCVSBinaryCustom;
    QLineEdit* mCVSBinary;
    QPushButton* mNew;
    QPushButton* mDelete;
    QPushButton* mTest;

private:
    void ToFields();
    void FromFields();
    void RebuildPopup();
    void UpdateEnabling();
    void Chosen(int index);
    void DoNew();
    void DoDelete();
    void DoTest();

    CLoginProfileEditor mEditor;
    bool mFilling = false;
};
