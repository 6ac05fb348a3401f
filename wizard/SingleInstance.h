// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// One wizard per user. Two wizards dialing at once would fight over the
// modem and race on the same statistics, so a second start only asks the
// running wizard to come forward (or to do what its command line says) and
// then ends.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace kivo
{

// The channel also carries the command line's requests to the running
// wizard (dial, hang up, status): each request and each answer is one line
// holding a JSON object; requests name themselves in "request".
class SingleInstance : public QObject
{
    Q_OBJECT
  public:
    enum class Role {
        Primary,  // this process holds the name (or runs unguarded, see isListening)
        Secondary // another process holds it and has been given the request
    };
    // Answers a request other than the activation; runs on the holder's
    // thread, from its event loop.
    using Handler = std::function<QJsonObject(const QJsonObject& request)>;

    // name: a local socket path; the default is per user, in the runtime
    // directory ($XDG_RUNTIME_DIR).
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Claims the name. As Primary this object listens from now on, emits
    // activationRequested() whenever a later start asks to come forward and
    // hands other requests to the handler. A socket left behind by a crashed
    // wizard is taken over. When the socket cannot be made at all the result
    // is still Primary (better one unguarded wizard than none) and
    // isListening() is false. As Secondary the request has gone to the
    // holder; for a request other than the activation, reply() holds its
    // answer (empty when none came in time).
    Role claim(const QJsonObject& request = activateRequest());
    // Sends a request to the wizard holding the name, without claiming it:
    // its answer (empty when none came in time), or nothing when no wizard
    // listens.
    std::optional<QJsonObject> ask(const QJsonObject& request) const;
    const QJsonObject& reply() const { return m_reply; }
    void setRequestHandler(Handler handler) { m_handler = std::move(handler); }

    bool isListening() const;
    const QString& name() const { return m_name; }

    static QString defaultName();
    static QJsonObject activateRequest();

  signals:
    // Another start of the program asked this one to show its window.
    void activationRequested();

  private:
    void acceptConnections();
    void readRequest(QLocalSocket* socket);
    std::unique_ptr<QLocalSocket> connectToHolder(bool answerAwaited) const;
    static QJsonObject exchange(QLocalSocket& socket, const QJsonObject& request);

    QString m_name;
    QLocalServer* m_server = nullptr;
    Handler m_handler;
    QJsonObject m_reply;
};

} // namespace kivo
