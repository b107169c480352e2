#pragma once
// The comment window: the current commit comment, edited freely; what is
// typed is taken over when a message dialog opens and when the window closes.

#include "app/settings/Comment.h"
#include "ui/MenuWindow.h"

class QPlainTextEdit;

class CCommentWindowQt : public CMenuWindow, public CCommentWindow {
    Q_OBJECT
public:
    explicit CCommentWindowQt(CCommander* super);
    ~CCommentWindowQt() override;

    std::string Text() const override;
    std::string SelectedText() const override;
    void SetText(std::string const& text) override;

    QPlainTextEdit* Editor() const { return mEdit; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPlainTextEdit* mEdit;
};
