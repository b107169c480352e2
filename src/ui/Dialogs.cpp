#include "ui/Dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/LoginProfilePanel.h"
#include "ui/QtText.h"

void PopulateLoginProfilePopup(QComboBox* popup, CLoginProfileList const& list)
{
    for (CLoginProfile* p : list)
        popup->addItem(p->Description().Empty() ? QStringLiteral(" ") : FromMac(p->Description()));
}

CLoginDialog::CLoginDialog(CLoginProfileList const& list, unsigned short show, bool passwordOnly, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginDialog"));
    setWindowTitle(passwordOnly ? QStringLiteral("Password") : QStringLiteral("Login Profiles"));
    auto* layout = new QVBoxLayout(this);
    if (passwordOnly) {
        auto* hint = new QLabel(QStringLiteral("Please enter the password for this login profile."), this);
        hint->setTextFormat(Qt::PlainText);
        layout->addWidget(hint);
    }
    mPanel = new CLoginProfilePanel(list, show, passwordOnly, this);
    layout->addWidget(mPanel);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    mPanel->mPassword->setFocus();
}

void CLoginDialog::accept()
{
    if (mPanel->StoreCurrentProfile())
        QDialog::accept();
}

CModuleListDialog::CModuleListDialog(CLoginProfileList const& list, unsigned short preselect, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ModuleListDialog"));
    setWindowTitle(QStringLiteral("List Modules"));
    auto* layout = new QFormLayout(this);
    mPopup = new QComboBox(this);
    PopulateLoginProfilePopup(mPopup, list);
    mPopup->setCurrentIndex(preselect < mPopup->count() ? preselect : 0);
    layout->addRow(QStringLiteral("Login profile:"), mPopup);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addRow(buttons);
}

unsigned short CModuleListDialog::Chosen() const
{
    return static_cast<unsigned short>(std::max(0, mPopup->currentIndex()));
}

CAboutBox::CAboutBox(QString const& version, unsigned short ticks, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Fennelwright"));
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(windowIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("Fennelwright"), this);
    name->setTextFormat(Qt::PlainText);
    QFont f = name->font();
    f.setPointSizeF(f.pointSizeF() * 2);
    f.setBold(true);
    name->setFont(f);
    name->setAlignment(Qt::AlignCenter);
    mVersion = new QLabel(version, this);
    mVersion->setTextFormat(Qt::PlainText);
    mVersion->setAlignment(Qt::AlignCenter);
    auto* blurb = new QLabel(QStringLiteral("A CVS client that keeps Mac files whole."), this);
    blurb->setTextFormat(Qt::PlainText);
    blurb->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(mVersion);
    layout->addWidget(blurb);
    setMinimumWidth(340);
    if (ticks)
        QTimer::singleShot(static_cast<int>(ticks) * 1000 / 60, this, &QDialog::accept);
}

void CAboutBox::mousePressEvent(QMouseEvent*)
{
    accept();
}

void CAboutBox::keyPressEvent(QKeyEvent*)
{
    accept();
}
