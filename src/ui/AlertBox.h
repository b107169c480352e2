#pragma once
// Alerts as message boxes: icons and buttons by alert type; Return and Enter
// press button 1, Escape presses button 2. The message is plain text.

#include "foundation/Log.h"

class QWidget;

class CQtAlertSink : public CAlertSink {
public:
    short Alert(short type, std::string const& message) override;
    // The box itself; the caller must be on the GUI thread.
    static short ShowAlert(short type, std::string const& message, QWidget* parent = nullptr);
};
