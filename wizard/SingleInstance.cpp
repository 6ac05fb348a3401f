// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

namespace kivo
{

namespace
{

constexpr char kActivate[] = "activate";
// A request is one line: a few entry names and a file name at most. A
// longer one is not one of ours.
constexpr qint64 kMaxRequest = 64 * 1024;
constexpr int kIoTimeoutMs = 1000;
// How long a start waits for the running wizard's answer. The wizard answers
// from its event loop, which also runs while it dials; only a wizard still
// in its start-up (waiting for the installer) is slower.
constexpr int kReplyTimeoutMs = 30000;

// The activation needs no answer and must not hold up a second start.
bool awaitsAnswer(const QJsonObject& request)
{
    return request.value(QStringLiteral("request")).toString() != QLatin1String(kActivate);
}

QByteArray lineOf(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

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

QJsonObject SingleInstance::activateRequest()
{
    return {{QStringLiteral("request"), QLatin1String(kActivate)}};
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

std::unique_ptr<QLocalSocket> SingleInstance::connectToHolder(bool answerAwaited) const
{
    auto socket = std::make_unique<QLocalSocket>();
    // Only a socket that reads needs a read notifier (and with it a thread
    // with an event dispatcher).
    socket->connectToServer(m_name, answerAwaited ? QIODevice::ReadWrite : QIODevice::WriteOnly);
    if (!socket->waitForConnected(kIoTimeoutMs))
        return nullptr;
    return socket;
}

// Sends the request and, unless it is the activation, waits for the answer
// line.
QJsonObject SingleInstance::exchange(QLocalSocket& socket, const QJsonObject& request)
{
    socket.write(lineOf(request));
    // A listener exists: even if it is slow to read, the request sits in the
    // socket buffer and the second start must not become a wizard of its own.
    socket.waitForBytesWritten(kIoTimeoutMs);
    QJsonObject answer;
    if (awaitsAnswer(request)) {
        const QDeadlineTimer deadline(kReplyTimeoutMs);
        while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState &&
               socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        if (socket.canReadLine())
            answer = QJsonDocument::fromJson(socket.readLine(kMaxRequest + 1)).object();
    }
    socket.disconnectFromServer();
    return answer;
}

std::optional<QJsonObject> SingleInstance::ask(const QJsonObject& request) const
{
    const std::unique_ptr<QLocalSocket> holder = connectToHolder(awaitsAnswer(request));
    if (!holder)
        return std::nullopt;
    return exchange(*holder, request);
}

SingleInstance::Role SingleInstance::claim(const QJsonObject& request)
{
    if (isListening())
        return Role::Primary;

    std::unique_ptr<QLocalSocket> holder;
    {
        NameLock lock(m_name + QStringLiteral(".lock"));
        holder = connectToHolder(awaitsAnswer(request));
        if (!holder) {
            // Nobody answers: whatever is at the path is left by a wizard
            // that crashed (or was killed) and cannot be listened on until
            // removed.
            QLocalServer::removeServer(m_name);
            delete m_server;
            m_server = new QLocalServer(this);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            if (!m_server->listen(m_name)) {
                std::fprintf(
                    stderr, "kivo95: cannot listen on %s (%s); not guarding against a second wizard\n",
                    QFile::encodeName(m_name).constData(), m_server->errorString().toLocal8Bit().constData());
                delete m_server;
                m_server = nullptr;
                return Role::Primary;
            }
            connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
            return Role::Primary;
        }
    }
    // The holder has accepted the connection; the lock, which only guards
    // connect-or-listen, is not kept while it answers.
    m_reply = exchange(*holder, request);
    return Role::Secondary;
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
    // A handler may run nested event loops, in which the peer can go away.
    const QPointer<QLocalSocket> alive(socket);
    while (alive && socket->canReadLine()) {
        const QJsonObject request = QJsonDocument::fromJson(socket->readLine(kMaxRequest + 1)).object();
        const QString what = request.value(QStringLiteral("request")).toString();
        // Anything else (not JSON, no request) is not one of ours: no answer.
        if (what.isEmpty())
            continue;
        QJsonObject answer{{QStringLiteral("ok"), true}};
        if (what == QLatin1String(kActivate))
            emit activationRequested();
        else if (m_handler)
            answer = m_handler(request);
        else
            answer = {{QStringLiteral("ok"), false}};
        if (alive)
            socket->write(lineOf(answer));
    }
    if (alive && socket->bytesAvailable() > kMaxRequest)
        socket->abort();
}

} // namespace kivo
