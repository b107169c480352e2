#pragma once
// The main loop of the threads (platform/MainLoop.h) on Qt's event loop: the
// baton is let go while Qt waits for events and taken back when it wakes, so
// operations run while the interface is idle; posted work and periodic tasks
// run on the GUI thread.

#include <QObject>
#include <QTimer>

#include "platform/MainLoop.h"

class CQtMainLoop : public QObject, public CMainLoop {
    Q_OBJECT
public:
    explicit CQtMainLoop(QObject* parent = nullptr);
    ~CQtMainLoop() override;
    void Wake() override;

private:
    void RunPending();
    void Reschedule();
    QTimer mPeriodic;   // the next periodic task
    QTimer mHeartbeat;  // notices periodic tasks that started meanwhile
};
