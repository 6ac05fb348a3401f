// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/WizardBus.h"

#include "wizard/WizardControl.h"
#include "wizard1adaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace kivo
{

namespace
{

QString errorName(WizardControl::Outcome::Kind kind)
{
    switch (kind) {
    case WizardControl::Outcome::UnknownEntry:
        return QStringLiteral("org.kivo95.Wizard1.Error.UnknownEntry");
    case WizardControl::Outcome::BadTune:
        return QStringLiteral("org.kivo95.Wizard1.Error.BadTune");
    case WizardControl::Outcome::Busy:
    case WizardControl::Outcome::Done:
        break;
    }
    return QStringLiteral("org.kivo95.Wizard1.Error.Busy");
}

} // namespace

WizardBus::WizardBus(WizardControl* control, QObject* parent)
    : QObject(parent), m_control(control), m_bus(QString())
{
    // The adaptor relays these signals (same names and arguments) to the bus.
    new Wizard1Adaptor(this);
    connect(control, &WizardControl::AttemptFailed, this, &WizardBus::AttemptFailed);
    connect(control, &WizardControl::Connected, this, &WizardBus::Connected);
    connect(control, &WizardControl::Disconnected, this, &WizardBus::Disconnected);
    connect(control, &WizardControl::propertiesChanged, this, &WizardBus::sendPropertiesChanged);
}

WizardBus::~WizardBus()
{
    if (m_registered) {
        m_bus.unregisterService(kService);
        m_bus.unregisterObject(kPath);
    }
}

QString WizardBus::registerOn(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return tr("no D-Bus session bus (%1)").arg(bus.lastError().message());
    m_bus = bus;
    if (!m_bus.registerObject(kPath, this))
        return tr("cannot put %1 on the session bus").arg(QLatin1String(kPath));
    // Not queued behind another owner: a second wizard on this bus (started
    // with another runtime directory) would otherwise take the name over
    // when the first ends, without a word.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_bus.interface()->registerService(kService, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_bus.unregisterObject(kPath);
        return reply.isValid() ? tr("the name %1 is taken on the session bus").arg(QLatin1String(kService))
                               : reply.error().message();
    }
    m_registered = true;
    return {};
}

QString WizardBus::State() const
{
    return m_control->State();
}

QString WizardBus::Entry() const
{
    return m_control->Entry();
}

uint WizardBus::ConnectedSeconds() const
{
    return m_control->ConnectedSeconds();
}

uint WizardBus::LastError() const
{
    return m_control->LastError();
}

QString WizardBus::LastErrorText() const
{
    return m_control->LastErrorText();
}

void WizardBus::Dial(const QStringList& entries, const QString& tune)
{
    const WizardControl::Outcome outcome = m_control->Dial(entries, tune);
    if (!outcome && calledFromDBus())
        sendErrorReply(errorName(outcome.kind), outcome.message);
}

void WizardBus::HangUp()
{
    m_control->HangUp();
}

QStringList WizardBus::Entries()
{
    return m_control->Entries();
}

void WizardBus::sendPropertiesChanged(const QStringList& names)
{
    if (!m_registered)
        return;
    QVariantMap changed;
    for (const QString& name : names)
        changed.insert(name, property(name.toLatin1().constData()));
    QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kInterface) << changed << QStringList();
    m_bus.send(signal);
}

} // namespace kivo
