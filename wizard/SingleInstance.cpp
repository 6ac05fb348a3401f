#include "wizard/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

namespace kivo
{

namespace
{

constexpr char kActivate[] = "activate\n";
// A request is one short line; anything longer is not one of ours.
constexpr qint64 kMaxRequest = 64;
constexpr int kIoTimeoutMs = 1000;

// Serialises "is anyone listening? else listen" between processes: without
// it two wizards started together could both find no listener, and the
// second's removeServer would delete the first one's socket. flock is
// released by the kernel if the holder dies, so a crash never leaves it
// held; holders keep it only for a connect attempt and a listen.
class NameLock
{
  public:
    explicit NameLock(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~NameLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // also releases the lock
    }
    NameLock(const NameLock&) = delete;
    NameLock& operator=(const NameLock&) = delete;

  private:
    int m_fd;
};

} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), m_name(std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
    // The runtime directory is private to the user (0700) and emptied at
    // log-out, which also clears a socket left by a crash. Qt falls back to
    // a per-user directory under /tmp when XDG_RUNTIME_DIR is unset.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/kivo95-wizard");
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::askRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(m_name, QIODevice::WriteOnly);
    if (!socket.waitForConnected(kIoTimeoutMs))
        return false;
    socket.write(kActivate, sizeof kActivate - 1);
    // A listener exists: even if it is slow to read, the request sits in the
    // socket buffer and the second start must not become a wizard of its own.
    socket.waitForBytesWritten(kIoTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

SingleInstance::Role SingleInstance::claim()
{
    if (isListening())
        return Role::Primary;

    NameLock lock(m_name + QStringLiteral(".lock"));
    if (askRunningInstance())
        return Role::Secondary;

    // Nobody answers: whatever is at the path is left by a wizard that
    // crashed (or was killed) and cannot be listened on until removed.
    QLocalServer::removeServer(m_name);
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        std::fprintf(stderr, "kivo95: cannot listen on %s (%s); not guarding against a second wizard\n",
                     QFile::encodeName(m_name).constData(),
                     m_server->errorString().toLocal8Bit().constData());
        delete m_server;
        m_server = nullptr;
        return Role::Primary;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return Role::Primary;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // The request may have arrived (and the sender gone) before we
        // accepted: read what is buffered now.
        readRequest(socket);
    }
}

void SingleInstance::readRequest(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxRequest + 1);
        if (line == kActivate)
            emit activationRequested();
    }
    if (socket->bytesAvailable() > kMaxRequest)
        socket->abort();
}

} // namespace kivo
