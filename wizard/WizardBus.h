// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The wizard on the session bus: service org.kivo95.Wizard, object
// /org/kivo95/Wizard, interface org.kivo95.Wizard1
// (data/dbus/org.kivo95.Wizard1.xml, from which the adaptor is generated).
// Every call goes to the one WizardControl that the command line uses too.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>

namespace kivo
{

class WizardControl;

class WizardBus : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QString State READ State)
    Q_PROPERTY(QString Entry READ Entry)
    Q_PROPERTY(uint ConnectedSeconds READ ConnectedSeconds)
    Q_PROPERTY(uint LastError READ LastError)
    Q_PROPERTY(QString LastErrorText READ LastErrorText)
  public:
    static constexpr char kService[] = "org.kivo95.Wizard";
    static constexpr char kPath[] = "/org/kivo95/Wizard";
    static constexpr char kInterface[] = "org.kivo95.Wizard1";

    explicit WizardBus(WizardControl* control, QObject* parent = nullptr);
    ~WizardBus() override;

    // Puts the object and the service name on the bus. Returns an empty
    // text, or why not (no bus, the name is taken); the wizard runs on
    // without D-Bus then.
    QString registerOn(const QDBusConnection& bus);

    QString State() const;
    QString Entry() const;
    uint ConnectedSeconds() const;
    uint LastError() const;
    QString LastErrorText() const;

  public slots:
    void Dial(const QStringList& entries, const QString& tune);
    void HangUp();
    QStringList Entries();

  signals:
    // Relayed to the bus by the adaptor.
    void AttemptFailed(const QString& entry, uint code, const QString& text);
    void Connected(const QString& entry);
    void Disconnected(const QString& entry, uint code, const QString& text);

  private:
    void sendPropertiesChanged(const QStringList& names);

    WizardControl* m_control;
    QDBusConnection m_bus;
    bool m_registered = false;
};

} // namespace kivo
