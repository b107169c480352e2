#include "ui/LoginProfilePanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>

#include "app/CVSClientApp.h"
#include "foundation/Log.h"
#include "operations/CVSTester.h"
#include "ui/QtText.h"

namespace {
QLineEdit* Line(QWidget* parent, char const* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QLineEdit* Number(QWidget* parent, char const* name, int max)
{
    QLineEdit* e = Line(parent, name);
    if (max > 0)
        e->setValidator(new QIntValidator(0, max, e));
    else  // width is checked by the editor's rules
        e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), e));
    return e;
}

CString Field(QLineEdit* e)
{
    return CString(ToMacLine(e->text()).c_str());
}
}  // namespace

CLoginProfilePanel::CLoginProfilePanel(CLoginProfileList const& list, unsigned short show, bool passwordPromptForm,
                                       QWidget* parent)
    : QWidget(parent), mEditor(passwordPromptForm)
{
    setObjectName(QStringLiteral("LoginProfilePanel"));
    auto* form = new QFormLayout(this);
    auto* top = new QHBoxLayout;
    mLoginListPopup = new QComboBox(this);
    mLoginListPopup->setObjectName(QStringLiteral("mLoginListPopup"));
    mNew = new QPushButton(QStringLiteral("New"), this);
    mDelete = new QPushButton(QStringLiteral("Delete"), this);
    top->addWidget(mLoginListPopup, 1);
    top->addWidget(mNew);
    top->addWidget(mDelete);
    form->addRow(QStringLiteral("Login profile:"), top);

    mName = Line(this, "mName");
    mLoginMethod = new QComboBox(this);
    mLoginMethod->setObjectName(QStringLiteral("mLoginMethod"));
    mLoginMethod->addItems({QStringLiteral("Password server"), QStringLiteral("RSH"), QStringLiteral("RSH (passive)"),
                            QStringLiteral("Local"), QStringLiteral("SSH 1"), QStringLiteral("SSH 2")});
    mServer = Line(this, "mServer");
    mRoot = Line(this, "mRoot");
    mUser = Line(this, "mUser");
    mPasswordMode = new QComboBox(this);
    mPasswordMode->setObjectName(QStringLiteral("mPasswordMode"));
    mPasswordMode->addItems({QStringLiteral("Not needed"), QStringLiteral("Ask when needed"),
                             QStringLiteral("Save in preferences"), QStringLiteral("Save in keychain")});
    mPassword = Line(this, "mPassword");
    mPassword->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Description:"), mName);
    form->addRow(QStringLiteral("Method:"), mLoginMethod);
    form->addRow(QStringLiteral("Host:"), mServer);
    form->addRow(QStringLiteral("Repository root:"), mRoot);
    form->addRow(QStringLiteral("User:"), mUser);
    form->addRow(QStringLiteral("Password storage:"), mPasswordMode);
    form->addRow(QStringLiteral("Password:"), mPassword);

    auto* portRow = new QHBoxLayout;
    mPortDefault = new QRadioButton(this);
    mPortDefault->setObjectName(QStringLiteral("mPortDefault"));
    mPortDefaultLabel = new QLabel(this);
    mPortDefaultLabel->setTextFormat(Qt::PlainText);
    mPortCustom = new QRadioButton(QStringLiteral("Custom:"), this);
    mPortCustom->setObjectName(QStringLiteral("mPortCustom"));
    mPort = Number(this, "mPort", 65535);
    auto* radios = new QButtonGroup(this);
    radios->addButton(mPortDefault);
    radios->addButton(mPortCustom);
    portRow->addWidget(mPortDefault);
    portRow->addWidget(mPortDefaultLabel);
    portRow->addWidget(mPortCustom);
    portRow->addWidget(mPort);
    form->addRow(QStringLiteral("Port:"), portRow);

    mTimeout = Number(this, "mTimeout", 65535);
    mBufferSize = Number(this, "mBufferSize", 0);
    mCompression = new QComboBox(this);
    mCompression->setObjectName(QStringLiteral("mCompression"));
    mCompression->addItem(QStringLiteral("None"));
    for (int i = 1; i <= 9; ++i)
        mCompression->addItem(QString::number(i));
    auto* throttle = new QHBoxLayout;
    mHaveThroughputLimit = new QCheckBox(QStringLiteral("Limit to"), this);
    mHaveThroughputLimit->setObjectName(QStringLiteral("mHaveThroughputLimit"));
    mThroughputLimit = Number(this, "mThroughputLimit", 65535);
    throttle->addWidget(mHaveThroughputLimit);
    throttle->addWidget(mThroughputLimit);
    throttle->addWidget(new QLabel(QStringLiteral("bytes per second"), this));
    auto* command = new QHBoxLayout;
    mCVSBinaryCustom = new QCheckBox(QStringLiteral("Custom:"), this);
    mCVSBinaryCustom->setObjectName(QStringLiteral("mCVSBinaryCustom"));
    mCVSBinary = Line(this, "mCVSBinary");
    command->addWidget(mCVSBinaryCustom);
    command->addWidget(mCVSBinary);
    form->addRow(QStringLiteral("Time-out (seconds):"), mTimeout);
    form->addRow(QStringLiteral("Buffer size (bytes):"), mBufferSize);
    form->addRow(QStringLiteral("Compression:"), mCompression);
    form->addRow(QStringLiteral("Throughput:"), throttle);
    form->addRow(QStringLiteral("Server command:"), command);

    mTest = new QPushButton(QStringLiteral("Test Login"), this);
    mTest->setObjectName(QStringLiteral("mTest"));
    form->addRow(QString(), mTest);

    mEditor.FillTable(list, show);
    RebuildPopup();
    FromFields();

    connect(mLoginListPopup, &QComboBox::currentIndexChanged, this, [this](int i) { Chosen(i); });
    connect(mLoginMethod, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (mFilling)
            return;
        ToFields();
        mEditor.MethodChanged(static_cast<short>(i));
        FromFields();
    });
    for (QWidget* w : std::initializer_list<QWidget*>{mPortDefault, mPortCustom, mHaveThroughputLimit, mCVSBinaryCustom})
        connect(static_cast<QAbstractButton*>(w), &QAbstractButton::toggled, this, [this] {
            if (!mFilling) {
                ToFields();
                UpdateEnabling();
            }
        });
    connect(mPasswordMode, &QComboBox::currentIndexChanged, this, [this] {
        if (!mFilling) {
            ToFields();
            UpdateEnabling();
        }
    });
    // A new description renames the popup item at once.
    connect(mName, &QLineEdit::textEdited, this, [this](QString const& t) {
        mLoginListPopup->setItemText(mLoginListPopup->currentIndex(), t.isEmpty() ? QStringLiteral(" ") : t);
    });
    connect(mNew, &QPushButton::clicked, this, [this] { DoNew(); });
    connect(mDelete, &QPushButton::clicked, this, [this] { DoDelete(); });
    connect(mTest, &QPushButton::clicked, this, [this] { DoTest(); });
    if (passwordPromptForm) {
        mTest->hide();
        mPassword->setFocus();
    }
}

void CLoginProfilePanel::ToFields()
{
    SLoginProfileFields& f = mEditor.Fields();
    f.description = Field(mName);
    f.host = Field(mServer);
    f.root = Field(mRoot);
    f.user = Field(mUser);
    f.password = Field(mPassword);
    f.command = Field(mCVSBinary);
    f.port = Field(mPort);
    f.bufferSize = Field(mBufferSize);
    f.timeOut = Field(mTimeout);
    f.throughputLimit = Field(mThroughputLimit);
    f.method = static_cast<short>(mLoginMethod->currentIndex());
    f.passwordMode = static_cast<short>(mPasswordMode->currentIndex());
    f.compressionLevel = static_cast<short>(mCompression->currentIndex());
    f.useDefaultPort = mPortDefault->isChecked();
    f.haveThroughputLimit = mHaveThroughputLimit->isChecked();
    f.customCommand = mCVSBinaryCustom->isChecked();
}

void CLoginProfilePanel::FromFields()
{
    mFilling = true;
    SLoginProfileFields const& f = mEditor.Fields();
    mName->setText(FromMac(f.description));
    mServer->setText(FromMac(f.host));
    mRoot->setText(FromMac(f.root));
    mUser->setText(FromMac(f.user));
    mPassword->setText(FromMac(f.password));
    mCVSBinary->setText(FromMac(f.command));
    mPort->setText(FromMac(f.port));
    mBufferSize->setText(FromMac(f.bufferSize));
    mTimeout->setText(FromMac(f.timeOut));
    mThroughputLimit->setText(FromMac(f.throughputLimit));
    mLoginMethod->setCurrentIndex(f.method);
    mPasswordMode->setCurrentIndex(f.passwordMode);
    mCompression->setCurrentIndex(f.compressionLevel);
    (f.useDefaultPort ? mPortDefault : mPortCustom)->setChecked(true);
    mHaveThroughputLimit->setChecked(f.haveThroughputLimit);
    mCVSBinaryCustom->setChecked(f.customCommand);
    mFilling = false;
    UpdateEnabling();
}

void CLoginProfilePanel::RebuildPopup()
{
    QSignalBlocker block(mLoginListPopup);
    mLoginListPopup->clear();
    for (CString const& item : mEditor.PopupItems())
        mLoginListPopup->addItem(FromMac(item));
    mLoginListPopup->setCurrentIndex(mEditor.Shown());
}

void CLoginProfilePanel::UpdateEnabling()
{
    SLoginProfileEnabling const e = mEditor.Enabling();
    mPortDefaultLabel->setText(QString::fromLatin1(e.defaultPortLabel));
    mName->setEnabled(e.description);
    mRoot->setEnabled(e.root);
    mLoginMethod->setEnabled(e.method);
    mCompression->setEnabled(e.compression);
    mTimeout->setEnabled(e.timeOut);
    mBufferSize->setEnabled(e.bufferSize);
    mServer->setEnabled(e.host);
    mUser->setEnabled(e.user);
    mHaveThroughputLimit->setEnabled(e.haveThroughputLimit);
    mThroughputLimit->setEnabled(e.throughputLimit);
    mPortDefault->setEnabled(e.portRadios);
    mPortCustom->setEnabled(e.portRadios);
    mPort->setEnabled(e.port);
    mCVSBinaryCustom->setEnabled(e.customCommand);
    mCVSBinary->setEnabled(e.command);
    mPasswordMode->setEnabled(e.passwordMode);
    mPassword->setEnabled(e.password);
    bool const prompt = mEditor.PasswordPromptForm();
    mLoginListPopup->setEnabled(!prompt);
    mNew->setEnabled(!prompt);
    mDelete->setEnabled(mEditor.CanDelete());
}

bool CLoginProfilePanel::StoreCurrentProfile()
{
    ToFields();
    CString alert;
    if (!mEditor.StoreCurrentProfile(alert)) {
        GAlert(kAlertStop, "%s", alert.c_str());
        return false;
    }
    RebuildPopup();
    FromFields();
    return true;
}

void CLoginProfilePanel::Chosen(int index)
{
    ToFields();
    CString alert;
    if (!mEditor.Choose(index, alert)) {
        GAlert(kAlertStop, "%s", alert.c_str());
        QSignalBlocker block(mLoginListPopup);
        mLoginListPopup->setCurrentIndex(mEditor.Shown());
        return;
    }
    RebuildPopup();
    FromFields();
}

void CLoginProfilePanel::DoNew()
{
    ToFields();
    CString alert;
    if (!mEditor.New(alert))
        GAlert(kAlertStop, "%s", alert.c_str());
    RebuildPopup();
    FromFields();
    mName->setFocus();
    mName->selectAll();
}

void CLoginProfilePanel::DoDelete()
{
    mEditor.Delete();
    RebuildPopup();
    FromFields();
}

void CLoginProfilePanel::DoTest()
{
    ToFields();
    CLoginProfile profile;
    CString alert;
    if (!mEditor.PrepareTest(profile, alert)) {
        if (!alert.Empty())
            GAlert(kAlertStop, "%s", alert.c_str());
        RebuildPopup();
        FromFields();
        return;
    }
    RebuildPopup();
    FromFields();
    if (gAppP)
        gAppP->StartTester(profile, CCVSTester::kLoginTest);
}
