// One wizard per user. Two wizards dialing at once would fight over the
// modem and race on the same statistics, so a second start only asks the
// running wizard to come forward and then ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace kivo
{

class SingleInstance : public QObject
{
    Q_OBJECT
  public:
    enum class Role {
        Primary,  // this process holds the name (or runs unguarded, see isListening)
        Secondary // another process holds it and has been asked to come forward
    };

    // name: a local socket path; the default is per user, in the runtime
    // directory ($XDG_RUNTIME_DIR).
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Claims the name. As Primary this object listens from now on and emits
    // activationRequested() whenever a later start asks. A socket left
    // behind by a crashed wizard is taken over. When the socket cannot be
    // made at all the result is still Primary (better one unguarded wizard
    // than none) and isListening() is false.
    Role claim();
    bool isListening() const;
    const QString& name() const { return m_name; }

    static QString defaultName();

  signals:
    // Another start of the program asked this one to show its window.
    void activationRequested();

  private:
    void acceptConnections();
    void readRequest(QLocalSocket* socket);
    bool askRunningInstance();

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace kivo
