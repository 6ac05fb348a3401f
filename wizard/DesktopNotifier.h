// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Desktop notifications (the freedesktop org.freedesktop.Notifications
// service) for news the user would otherwise miss while the wizard is out of
// sight. One Notify call per event, sent without waiting: when no
// notification server answers, nothing is shown and nothing is reported.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>

namespace kivo
{

class DesktopNotifier : public QObject
{
    Q_OBJECT
  public:
    enum class Kind {
        Connected, // a connection was made
        Broken     // the line of a connection broke; replaces the news of that connection
    };

    // bus: the session bus to send on; a bus that is not connected sends nothing.
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    void notify(const QString& summary, const QString& body, Kind kind);

    // Notify calls sent, those a server answered, and those nobody did.
    int sent() const { return m_sent; }
    int answered() const { return m_answered; }
    int failed() const { return m_failed; }

  private:
    QDBusConnection m_bus;
    // The server's id of the last "connected" notification, replaced by the
    // report of that connection's end.
    std::uint32_t m_connectedId = 0;
    int m_sent = 0;
    int m_answered = 0;
    int m_failed = 0;
};

} // namespace kivo
