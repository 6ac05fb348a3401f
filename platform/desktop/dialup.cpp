// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/desktop/dialup.h"

#include "platform/desktop/dialup_caption.h"
#include "platform/system/safeformat.h"
#include "platform/system/system.h"
#include "platform/system/trace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>

namespace kivo::dialup
{
namespace
{

constexpr UINT kConnectedCaptionId = 204;

// The caption format of the "connected" window, from the dial-up program's
// string table; a sensible text when the table is missing.
std::string connectedCaptionFormat()
{
    char buffer[501] = {};
    HMODULE module = LoadLibraryA("rnaapp.exe");
    if (module) {
        LoadStringA(module, kConnectedCaptionId, buffer, sizeof buffer);
        FreeLibrary(module);
    }
    return buffer[0] ? std::string(buffer)
                     : QCoreApplication::translate("DialupWindows", "Connected to %s").toStdString();
}

std::string durationText(qint64 seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

Qt::WindowFlags dialupWindowFlags()
{
    return Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
}

// The windows are the system's, so their texts come in the user's language.
class PostDial : public QWidget
{
  public:
    PostDial(const std::string& entry) : QWidget(nullptr, dialupWindowFlags())
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setWindowTitle(QString::fromUtf8(kPostDialCaption));
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(QCoreApplication::translate("DialupWindows",
                                                            "The remote computer for \"%1\" has answered.\n"
                                                            "Setting up the connection...")
                                    .arg(QString::fromStdString(entry)),
                                this);
        layout->addWidget(text);
        setFixedSize(sizeHint().expandedTo(QSize(300, 90)));
    }
};

class Connected : public QWidget
{
  public:
    Connected(HRASCONN conn, const std::string& entry) : QWidget(nullptr, dialupWindowFlags()), m_conn(conn)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setWindowTitle(QString::fromStdString(FormatS(connectedCaptionFormat(), {entry})));

        RASCONNSTATUS status{};
        status.dwSize = sizeof status;
        QString device;
        if (RasGetConnectStatusA(conn, &status) == 0 && status.szDeviceName[0])
            device = QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(status.szDeviceName),
                                                   QString::fromLocal8Bit(status.szDeviceType));

        auto* layout = new QVBoxLayout(this);
        layout->addWidget(
            new QLabel(device.isEmpty()
                           ? QCoreApplication::translate("DialupWindows", "Connected")
                           : QCoreApplication::translate("DialupWindows", "Connected through %1").arg(device),
                       this));
        m_duration = new QLabel(this);
        m_duration->setObjectName(QStringLiteral("lblDuration"));
        layout->addWidget(m_duration);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        auto* disconnect = new QPushButton(QCoreApplication::translate("DialupWindows", "Dis&connect"), this);
        disconnect->setObjectName(QStringLiteral("btnDisconnect"));
        buttons->addWidget(disconnect);
        layout->addLayout(buttons);
        connect(disconnect, &QPushButton::clicked, this, [this] {
            kivo::ras::DisconnectLine(m_conn);
            close();
        });

        m_clock.start();
        updateDuration();
        auto* timer = new QTimer(this);
        timer->setInterval(1000);
        connect(timer, &QTimer::timeout, this, &Connected::updateDuration);
        timer->start();
        setFixedSize(sizeHint().expandedTo(QSize(300, 100)));
    }

  private:
    void updateDuration()
    {
        m_duration->setText(QCoreApplication::translate("DialupWindows", "Duration: %1")
                                .arg(QString::fromStdString(durationText(m_clock.elapsed() / 1000))));
    }

    HRASCONN m_conn;
    QElapsedTimer m_clock;
    QLabel* m_duration = nullptr;
};

struct Windows {
    QPointer<QWidget> postDial;
    QPointer<QWidget> connected;
};

struct State {
    bool started = false;
    int observer = 0;
    std::map<std::uint32_t, Windows> windows;
};

State& state()
{
    static State s;
    return s;
}

void closeLater(QPointer<QWidget>& w)
{
    // Observers run inside the RAS layer's delivery: let the window go once
    // it is done.
    if (w) {
        w->hide();
        w->deleteLater();
    }
    w = nullptr;
}

void trace(std::string_view what, HRASCONN conn)
{
    if (kivo::trace::enabled())
        kivo::trace::line("dialup: " + std::string(what) + " conn=" + std::to_string(conn.value()));
}

} // namespace

bool Start()
{
    State& s = state();
    if (s.started)
        return true;
    const char* env = std::getenv("KIVO95_DIALUP_WINDOWS");
    if (env && std::string_view(env) == "0")
        return false;
    s.started = true;
    kivo::ras::ConnectionObserver o;
    o.deviceConnected = [](HRASCONN conn, const std::string& entry) {
        Windows& w = state().windows[conn.value()];
        if (w.postDial)
            return;
        trace("post-dial window", conn);
        w.postDial = new PostDial(entry);
        w.postDial->show();
    };
    o.connected = [](HRASCONN conn, const std::string& entry) {
        Windows& w = state().windows[conn.value()];
        closeLater(w.postDial);
        if (w.connected)
            return;
        trace("connected window", conn);
        w.connected = new Connected(conn, entry);
        w.connected->show();
    };
    o.ended = [](HRASCONN conn) {
        auto it = state().windows.find(conn.value());
        if (it == state().windows.end())
            return;
        trace("windows closed", conn);
        closeLater(it->second.postDial);
        closeLater(it->second.connected);
        state().windows.erase(it);
    };
    s.observer = kivo::ras::addConnectionObserver(std::move(o));
    return true;
}

void Stop()
{
    State& s = state();
    if (!s.started)
        return;
    kivo::ras::removeConnectionObserver(s.observer);
    for (auto& [id, w] : s.windows) {
        closeLater(w.postDial);
        closeLater(w.connected);
    }
    s.windows.clear();
    s.started = false;
}

QWidget* PostDialWindow(HRASCONN conn)
{
    auto it = state().windows.find(conn.value());
    return it == state().windows.end() ? nullptr : it->second.postDial.data();
}

QWidget* ConnectedWindow(HRASCONN conn)
{
    auto it = state().windows.find(conn.value());
    return it == state().windows.end() ? nullptr : it->second.connected.data();
}

} // namespace kivo::dialup
