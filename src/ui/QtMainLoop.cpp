#include "ui/QtMainLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

CQtMainLoop::CQtMainLoop(QObject* parent) : QObject(parent)
{
    auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { AboutToBlock(); },
            Qt::DirectConnection);
    connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] { Awake(); }, Qt::DirectConnection);
    mPeriodic.setSingleShot(true);
    connect(&mPeriodic, &QTimer::timeout, this, [this] { RunPending(); });
    connect(&mHeartbeat, &QTimer::timeout, this, [this] { Reschedule(); });
    mHeartbeat.start(100);
}

CQtMainLoop::~CQtMainLoop()
{
    Detach();
}

void CQtMainLoop::Wake()
{
    // Any thread: a queued call wakes the GUI thread's dispatcher.
    QMetaObject::invokeMethod(this, [this] { RunPending(); }, Qt::QueuedConnection);
}

void CQtMainLoop::RunPending()
{
    Awake();
    ProcessPending();
    Reschedule();
}

void CQtMainLoop::Reschedule()
{
    if (HavePosted()) {
        Wake();
        return;
    }
    auto const due = NextPeriodicDue();
    if (due.count() < 0) {
        mPeriodic.stop();
        return;
    }
    int const ms = static_cast<int>(std::max<long long>(due.count(), 1));
    if (!mPeriodic.isActive() || mPeriodic.remainingTime() > ms)
        mPeriodic.start(ms);
}
