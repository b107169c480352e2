#include "ui/CommentWindow.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>

#include "app/CVSClientApp.h"
#include "ui/QtText.h"

namespace {
// The program keeps line ends as carriage returns inside; Qt uses line feeds.
std::string ToStored(QString text)
{
    text.replace(QChar(0x2029), QLatin1Char('\n'));
    std::string s = ToMac(text);
    std::replace(s.begin(), s.end(), '\n', '\r');
    return s;
}

QString FromStored(std::string s)
{
    std::replace(s.begin(), s.end(), '\r', '\n');
    return FromMac(s);
}
}  // namespace

CCommentWindowQt::CCommentWindowQt(CCommander* super) : CMenuWindow(kWindowComment, super)
{
    setObjectName(QStringLiteral("CommentWindow"));
    SetWindowTitleMac("Comment");
    mEdit = new QPlainTextEdit(this);
    mEdit->setPlaceholderText(QStringLiteral("The log message for the next commit, add or import"));
    setCentralWidget(mEdit);
    resize(480, 260);
    if (gCommentatorP)
        gCommentatorP->AttachWindow(this);
}

CCommentWindowQt::~CCommentWindowQt()
{
    if (gCommentatorP && gCommentatorP->Window() == this)
        gCommentatorP->AttachWindow(nullptr);
}

void CCommentWindowQt::closeEvent(QCloseEvent* event)
{
    if (gCommentatorP)
        gCommentatorP->RefreshComment();
    CMenuWindow::closeEvent(event);
}

std::string CCommentWindowQt::Text() const
{
    return ToStored(mEdit->toPlainText());
}

std::string CCommentWindowQt::SelectedText() const
{
    return ToStored(mEdit->textCursor().selectedText());
}

void CCommentWindowQt::SetText(std::string const& text)
{
    mEdit->setPlainText(FromStored(text));
}
