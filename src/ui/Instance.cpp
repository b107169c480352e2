#include "ui/Instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

namespace {
constexpr char kHello[] = "fennelwright-open";
constexpr size_t kMaxMessage = 1 << 20;

QString PrivateFolder(QString const& path)
{
    QByteArray const p = QFile::encodeName(path);
    mkdir(p.constData(), 0700);
    struct stat st {};
    if (lstat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0)
        return {};
    return path;
}

bool Address(QString const& path, sockaddr_un& addr)
{
    QByteArray const p = QFile::encodeName(path);
    if (p.isEmpty() || static_cast<size_t>(p.size()) >= sizeof(addr.sun_path))
        return false;
    addr = {};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, p.constData(), static_cast<size_t>(p.size()));
    return true;
}

// Waits for the descriptor at most `ms`; false on time-out or error.
bool WaitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    int r;
    do
        r = poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}
}  // namespace

CInstanceChannel::CInstanceChannel(QObject* parent) : QObject(parent) {}

CInstanceChannel::~CInstanceChannel()
{
    if (mFd >= 0) {
        close(mFd);
        unlink(QFile::encodeName(mPath).constData());
    }
}

QString CInstanceChannel::SocketPath()
{
    QString const runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString dir;
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        dir = PrivateFolder(runtime + QStringLiteral("/fennelwright"));
    if (dir.isEmpty())
        dir = PrivateFolder(QDir::tempPath() + QStringLiteral("/fennelwright-") + QString::number(geteuid()));
    return dir.isEmpty() ? QString() : dir + QStringLiteral("/instance");
}

bool CInstanceChannel::HandOver(QString const& path, QStringList const& folders)
{
    sockaddr_un addr;
    if (!Address(path, addr))
        return false;
    int const fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (ok) {
        QByteArray msg = QByteArray(kHello) + '\n';
        for (QString const& f : folders)
            msg += QFileInfo(f).absoluteFilePath().toUtf8() + '\n';
        char const* p = msg.constData();
        size_t left = static_cast<size_t>(msg.size());
        while (ok && left > 0) {
            ssize_t const n = send(fd, p, left, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok) {
                p += n;
                left -= static_cast<size_t>(n);
            }
        }
    }
    close(fd);
    return ok;
}

bool CInstanceChannel::Listen(QString const& path, std::function<void(QStringList const&)> received)
{
    sockaddr_un addr;
    if (!Address(path, addr))
        return false;
    int const fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    // A socket left by a crashed run answers nobody (HandOver failed): replace it.
    unlink(addr.sun_path);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return false;
    }
    mFd = fd;
    mPath = path;
    mReceived = std::move(received);
    mNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, [this] { Accept(); });
    return true;
}

void CInstanceChannel::Accept()
{
    for (;;) {
        int const c = accept4(mFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        // The other start writes a few lines and closes; never wait long.
        QByteArray msg;
        char buf[4096];
        while (msg.size() < static_cast<qsizetype>(kMaxMessage) && WaitFor(c, POLLIN, 2000)) {
            ssize_t const n = read(c, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            msg.append(buf, n);
        }
        close(c);
        QList<QByteArray> lines = msg.split('\n');
        if (lines.isEmpty() || lines.front() != kHello)
            continue;
        QStringList folders;
        for (int i = 1; i < lines.size(); ++i)
            if (!lines[i].isEmpty())
                folders << QString::fromUtf8(lines[i]);
        if (mReceived)
            mReceived(folders);
    }
}
