// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/DesktopNotifier.h"

#include "wizard/KivoApplication.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotify, "kivo.wizard.notify")

namespace kivo
{

namespace
{

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
// The desktop entry and icon name the package installs.
constexpr char kAppId[] = "org.kivo95.Wizard";
// A notification server busy with something else must not leave calls
// pending for long; the answer only serves to replace a notification later.
constexpr int kTimeoutMs = 5000;

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
}

void DesktopNotifier::notify(const QString& summary, const QString& body, Kind kind)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const bool connected = kind == Kind::Connected;
    const std::uint32_t replaces = connected ? 0 : m_connectedId;
    if (!connected)
        m_connectedId = 0;
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QString::fromLatin1(kAppId)},
        {QStringLiteral("category"),
         connected ? QStringLiteral("network.connected") : QStringLiteral("network.disconnected")},
        // 1 normal, 2 critical: a broken line stays on screen until seen.
        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(connected ? 1 : 2)},
    };
    call << QString::fromStdString(KivoApplication::Title()) << static_cast<uint>(replaces)
         << QString::fromLatin1(kAppId) << summary << body << QStringList() << hints << -1;
    ++m_sent;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, connected] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            ++m_failed;
            qCDebug(lcNotify, "no notification shown: %s", qPrintable(reply.error().message()));
            return;
        }
        ++m_answered;
        if (connected)
            m_connectedId = reply.value();
    });
}

} // namespace kivo
