// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The connected state: the Info page (page 5), the one-second timer that
// times the connection in the entry statistics and notices when the line is
// gone, the tray icon with its menu, and hanging up.
#include "components/Rascomp32.h"
#include "components/TrayIcon.h"
#include "platform/desktop/notify.h"
#include "platform/system/safeformat.h"
#include "platform/system/system.h"
#include "platform/system/trace.h"
#include "ui_Select.h"
#include "wizard/Pictures.h"
#include "wizard/Select.h"
#include "wizard/Stats.h"
#include "wizard/WatchThreads.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <exception>

Q_LOGGING_CATEGORY(lcMonitor, "kivo.wizard.monitor")

QDateTime ConnectStart;
int ConnectSeconds = 0;

namespace
{

// The one clock of a connection: the Info page, the tray tip and LastTime
// all show ConnectSeconds, the ticks since the connection was reported.
// Each tick is due at the next whole second of a monotonic clock started
// with the connection, so the ticks neither drift from it nor come twice in
// one second, and a text never repeats or skips a second.
QElapsedTimer g_connectClock;

std::string elapsedText()
{
    return ElapsedText(ConnectSeconds);
}

std::string toolTipText(const std::string& entry)
{
    return QCoreApplication::translate("TfrmSelect", "Connected to %1: %2")
        .arg(QString::fromLocal8Bit(entry.c_str()), QString::fromStdString(elapsedText()))
        .toLocal8Bit()
        .toStdString();
}

// Milliseconds until the tick after ConnectSeconds is due; 0 when it is due
// already (the event loop was held up), so the count catches up tick by tick.
int msUntilNextTick()
{
    const qint64 due = qint64(ConnectSeconds + 1) * 1000 - g_connectClock.elapsed();
    return static_cast<int>(std::clamp<qint64>(due, 0, 1000));
}

// Shows the report once the handler that made it has finished, so that a
// tick is never held up by its own error box (ticks go on meanwhile).
void reportLater(QObject* context, const std::string& message)
{
    QTimer::singleShot(0, context, [message] { KivoApplication::ShowException(message); });
}

} // namespace

void TfrmSelect::SetUpConnectionMonitor()
{
    // Re-armed by every tick for the next whole second of the connection.
    Timer1->setTimerType(Qt::PreciseTimer);
    wire(Timer1, &QTimer::timeout, &TfrmSelect::Timer1Timer);
    wire(ui->Button1, &QPushButton::clicked, &TfrmSelect::Button1Click);

    TI = new TTrayIcon(this);
    TI->setObjectName("TI");
    TI->setIcon(kivo::pictures::ProgramIcon());
    TI->OnClick = [this](QObject* Sender) { KivoApplication::guard([&] { TIClick(Sender); }); };
    TI->OnRightClick = [this](QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
        KivoApplication::guard([&] { TIRightClick(Sender, Button, Shift, X, Y); });
    };

    Ipm = new QMenu(this);
    Ipm->setObjectName("Ipm");
    Ipm->setFont(font()); // a window of its own: it would take the desktop's font
    Info1 = Ipm->addAction(tr("Info"));
    Info1->setObjectName("Info1");
    Ipm->addSeparator();
    Disconnect1 = Ipm->addAction(tr("Disconnect"));
    Disconnect1->setObjectName("Disconnect1");
    wire(Info1, &QAction::triggered, &TfrmSelect::Info1Click);
    wire(Disconnect1, &QAction::triggered, &TfrmSelect::Disconnect1Click);

    NotificationAreaAvailable = [] { return kivo::notify::TrayAvailable(); };
}

void TfrmSelect::RASConnect(QObject*)
{
    EndTuneThread();
    StopDialing = true;
    setPageIndex(5);
    ui->lblEntry->setText(RAS->EntryName());

    // Count the access.
    m_connectedEntry = RAS->EntryName().toLocal8Bit().toStdString();
    m_badTotalReported = false;
    m_statsFailureReported = false;
    {
        // LastAccess and Accesses change together or not at all.
        TRegTransaction tx(TRegTransaction::tmWrite);
        reg->setKey(kivo::reg::EntryKey(m_connectedEntry));
        reg->WriteValue(kivo::reg::LastAccess, Variant(DateText(QDateTime::currentDateTime())));
        // Start-up leaves an entry that has a LastAccess alone even when its
        // Accesses is missing; such an entry counts from 0 rather than failing
        // here and leaving the connection without its monitor.
        const Variant accesses = reg->ReadValue(kivo::reg::Accesses);
        reg->WriteValue(kivo::reg::Accesses,
                        Variant(std::int32_t((accesses.isNull() ? 0 : accesses.toInt()) + 1)));
        tx.Commit();
    }

    ConnectStart = QDateTime::currentDateTime();
    ConnectSeconds = 0;
    g_connectClock.start();
    ui->lblTime->setText(QString::fromStdString(elapsedText()));
    TI->setToolTip(toolTipText(m_connectedEntry));
    Timer1->start(msUntilNextTick());
    HideToTray();

    // Without the dial-up program's caption format there is no "connected"
    // window to look for: an empty caption would hide some other window that
    // has no title.
    if (ConnectedCaptionFormat[0])
        FWThread = new TFWThread(kivo::FormatS(ConnectedCaptionFormat, {m_connectedEntry}));
    TI->setActive(true);
    emit connectedTo(RAS->EntryName());
}

void TfrmSelect::Timer1Timer(QObject*)
{
    // The elapsed text, LastTime and the tip all show this tick's count.
    ++ConnectSeconds;
    if (Timer1->isActive())
        Timer1->start(msUntilNextTick());
    ui->lblTime->setText(QString::fromStdString(elapsedText()));
    CountTick();
    TI->setToolTip(toolTipText(m_connectedEntry));

    // Any active connection on the system counts, not only ours.
    RAS->GetConnections();
    if (RAS->Connections()->Count() > 0)
        return;

    // The line is gone. Why, the dialer can still say while it holds it.
    Timer1->stop();
    const std::int32_t why = RAS->GetConnectStatus();
    emit lineBroken(QString::fromLocal8Bit(m_connectedEntry.c_str()), why, RAS->GetErrorString(why));
    MessageBoxA(kivo::sys::hwndOf(this), tr("Connection has been broken!").toLocal8Bit().constData(),
                tr("Information").toLocal8Bit().constData(), MB_OK);
    StopDialing = true;
    RAS->Disconnect();
    TI->setActive(false);
    ShowWelcomeAfterLineEnd();
}

// After a line that ended by itself: the window comes back from the tray on
// the welcome page, with the statistics of the connection in the list.
void TfrmSelect::ShowWelcomeAfterLineEnd()
{
    ShowAndRestore();
    setPageIndex(0);
    ui->pnlButtons->show();
    ui->btnPrev->show();
    ui->btnNext->show();
    ui->btnPrev->setEnabled(false);
    ui->btnNext->setEnabled(true);
    RefreshStatistics();
}

// LastTime and TotalTime for one more tick. A failure here is reported once
// per connection and does not end the tick: the line is still checked every
// second, and a store that keeps failing does not raise a box every second.
void TfrmSelect::CountTick()
{
    try {
        // One transaction: LastTime and TotalTime move on together, and a
        // store that fails leaves both as they were.
        TRegTransaction tx(TRegTransaction::tmWrite);
        reg->setKey(kivo::reg::EntryKey(m_connectedEntry));
        reg->WriteValue(kivo::reg::LastTime, Variant(SecsToStr(ConnectSeconds)));
        const Variant total = reg->ReadValue(kivo::reg::TotalTime);
        int seconds = 0;
        try {
            seconds = StrToSecs(total.toString());
        } catch (const std::exception& e) {
            // A hand-edited or missing TotalTime: count on from zero, so that
            // the next tick reads a good value again.
            if (!m_badTotalReported) {
                m_badTotalReported = true;
                const QString entry = QString::fromLocal8Bit(m_connectedEntry.c_str());
                const QString why = QString::fromLocal8Bit(e.what());
                const QString text =
                    total.VType() == varString
                        ? tr("The total time of %1 is \"%2\", which is no duration (%3). It counts on from "
                             "00:00:00.")
                              .arg(entry, QString::fromLocal8Bit(total.toString().c_str()), why)
                        : tr("The total time of %1 is missing, which is no duration (%2). It counts on from "
                             "00:00:00.")
                              .arg(entry, why);
                reportLater(this, text.toLocal8Bit().toStdString());
            }
        }
        reg->WriteValue(kivo::reg::TotalTime, Variant(SecsToStr(seconds + 1)));
        tx.Commit();
    } catch (const ERegFileError& e) {
        if (m_statsFailureReported) {
            qCWarning(lcMonitor, "statistics of %s not written: %s",
                      kivo::trace::quote(m_connectedEntry).c_str(), kivo::trace::escape(e.what()).c_str());
            return;
        }
        m_statsFailureReported = true;
        reportLater(this, e.what());
    }
}

void TfrmSelect::Button1Click(QObject*)
{
    HideToTray();
}

void TfrmSelect::TIClick(QObject*)
{
    ShowAndRestore();
}

void TfrmSelect::TIRightClick(QObject*, TMouseButton, TShiftState, int X, int Y)
{
    Ipm->popup(QPoint(X, Y));
}

void TfrmSelect::Info1Click(QObject*)
{
    ui->btnClose->hide();
    ShowAndRestore();
}

void TfrmSelect::Disconnect1Click(QObject*)
{
    StopDialing = true;
    RAS->Disconnect();
    TI->setActive(false);
    ShowAndRestore();
    setPageIndex(1);
    ui->btnPrev->show();
    ui->btnNext->show();
    ui->btnClose->show();
    ui->btnClose->setEnabled(true);
    ui->btnPrev->setEnabled(false);
    ui->btnNext->setEnabled(true);
    ui->ConList->setFocus();
    RefreshStatistics();
}

// Hides the window and with it its taskbar entry; the tray icon brings it
// back. Qt has no application window of its own besides the main window, so
// hiding that one is all there is to hide. Without a notification area the
// icon could not be seen or clicked: the window is minimised instead, so that
// the taskbar keeps a way back to it.
void TfrmSelect::HideToTray()
{
    if (NotificationAreaAvailable && NotificationAreaAvailable())
        hide();
    else
        showMinimized();
}

void TfrmSelect::ShowAndRestore()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}
