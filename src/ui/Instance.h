#pragma once
// One instance per user: the first start listens on a Unix socket in a
// folder only the user can enter; a later start connects, hands over its
// folders and ends.

#include <QObject>
#include <QStringList>
#include <functional>

class QSocketNotifier;

class CInstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit CInstanceChannel(QObject* parent = nullptr);
    ~CInstanceChannel() override;

    // The socket path, or empty when no private folder can be had.
    static QString SocketPath();
    // Sends the folders to the running instance; false when none answers.
    static bool HandOver(QString const& path, QStringList const& folders);
    // Listens; `received` gets the folders of every later start.
    bool Listen(QString const& path, std::function<void(QStringList const&)> received);

private:
    void Accept();
    int mFd = -1;
    QString mPath;
    QSocketNotifier* mNotifier = nullptr;
    std::function<void(QStringList const&)> mReceived;
};
