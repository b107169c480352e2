#include "ui/AlertBox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include "platform/Threads.h"
#include "ui/QtText.h"

namespace {

// Return/Enter press button 1 and Escape button 2, whatever the platform's
// own button roles would say.
class AlertKeys : public QObject {
public:
    AlertKeys(QPushButton* first, QPushButton* second) : mFirst(first), mSecond(second) {}
    bool eventFilter(QObject* obj, QEvent* ev) override
    {
        if (ev->type() == QEvent::KeyPress || ev->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(ev);
            QPushButton* press = nullptr;
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier)
                press = mFirst;
            else if (key->key() == Qt::Key_Escape && mSecond)
                press = mSecond;
            if (press) {
                if (ev->type() == QEvent::KeyPress)
                    press->click();
                ev->accept();
                return true;
            }
        }
        return QObject::eventFilter(obj, ev);
    }

private:
    QPushButton* mFirst;
    QPushButton* mSecond;
};

}  // namespace

short CQtAlertSink::ShowAlert(short type, std::string const& message, QWidget* parent)
{
    QMessageBox box(parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowTitle(QStringLiteral("Fennelwright"));
    box.setText(FromMac(message));
    std::vector<QPushButton*> buttons;
    auto add = [&](QString const& text, QMessageBox::ButtonRole role) {
        buttons.push_back(box.addButton(text, role));
    };
    switch (type) {
    case kAlertStop:
        box.setIcon(QMessageBox::Critical);
        add(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case kAlertNote:
    case kAlertQuiet:
        box.setIcon(QMessageBox::Information);
        add(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case kAlertCaution:
        box.setIcon(QMessageBox::Warning);
        add(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case kAlertOKCancel:
        box.setIcon(QMessageBox::Warning);
        add(QStringLiteral("OK"), QMessageBox::AcceptRole);
        add(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        break;
    case kAlertQuestion:
    case kAlertQuietQuestion:
        box.setIcon(QMessageBox::Question);
        add(QStringLiteral("Yes"), QMessageBox::YesRole);
        add(QStringLiteral("No"), QMessageBox::NoRole);
        break;
    case kAlertThreeWay:
        box.setIcon(QMessageBox::Question);
        add(QStringLiteral("Proceed"), QMessageBox::AcceptRole);
        add(QStringLiteral("Skip"), QMessageBox::RejectRole);
        add(QStringLiteral("Stop"), QMessageBox::DestructiveRole);
        break;
    default:
        FW_FAIL("GAlert() : unknown alert type");
        return -1;
    }
    if (type != kAlertQuiet && type != kAlertQuietQuestion && type != kAlertQuestion)
        QApplication::beep();
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(buttons.size() > 1 ? buttons[1] : buttons.front());
    AlertKeys keys(buttons.front(), buttons.size() > 1 ? buttons[1] : nullptr);
    box.installEventFilter(&keys);
    for (QPushButton* b : buttons)
        b->installEventFilter(&keys);
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QGuiApplication::restoreOverrideCursor();
    QAbstractButton* clicked = box.clickedButton();
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i] == clicked)
            return static_cast<short>(i + 1);
    // Closed by the window manager: the answer that changes nothing.
    return buttons.size() > 1 ? (type == kAlertThreeWay ? 3 : 2) : 1;
}

short CQtAlertSink::Alert(short type, std::string const& message)
{
    // A client thread waits for the answer without the baton.
    return CallOnMainThread([type, message] { return ShowAlert(type, message, QApplication::activeWindow()); });
}
