// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Dialing the selected entries in turn (page 4): one attempt after the other,
// starting over after the last, until a connection, Abort, Close or any other
// page change sets StopDialing.
//
// The queue runs inside the page-change handler and keeps the window alive by
// handling events itself, so every other handler (Skip, Abort, Close, the
// dialer's steps and RASConnect, nested page changes) runs nested inside it,
// and the queue reads its flags again after each round of events.
//
// Between two looks at the dial the queue waits for the next event instead of
// looking again at once: a dial step, a click or a timer wakes it straight
// away, and a bound makes it look at least every kPollBoundMs even when
// nothing arrives. A wizard that dials for an hour then costs next to no CPU.
#include "components/Rascomp32.h"
#include "components/TrayIcon.h"
#include "platform/system/system.h"
#include "ui_Select.h"
#include "wizard/DialPump.h"
#include "wizard/Select.h"
#include "wizard/Stats.h"
#include "wizard/WatchThreads.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

int DialIndex = 0;

namespace
{

// The longest the poll goes without looking at the dial: the status is
// looked at again even if no notification comes (a backend that changes its
// status without one).
constexpr int kPollBoundMs = 250;
// The pause between two attempts.
constexpr DWORD kPauseMs = 1000;
// How long closing a connection waits for its window-hiding threads.
constexpr int kThreadEndMs = 2000;

kivo::dialpump::Style g_style = kivo::dialpump::Style::Waiting;

// Handles the events that have arrived; when none has, waits for the next
// one. The caller keeps a timer running that bounds the wait.
void handleEvents()
{
    if (g_style == kivo::dialpump::Style::Spinning)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// Handles events until kPauseMs have passed since the pause began.
void pauseBetweenAttempts()
{
    const DWORD start = GetTickCount();
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (DWORD passed = 0; passed < kPauseMs; passed = GetTickCount() - start) {
        wake.start(static_cast<int>(kPauseMs - passed));
        handleEvents();
    }
}

// Why an attempt failed, in the RAS error's own words. Taken while the dialer
// still holds the line: once it is hung up the dialer's GetErrorString is
// empty. A dial that never started holds no line; its code is the dialer's
// last result.
QString failureText(TRAS& ras, std::int32_t code)
{
    return ras.ConnHandle() ? ras.GetErrorString(code) : TRAS::ErrorText(code);
}

} // namespace

namespace kivo::dialpump
{

void setStyle(Style style)
{
    g_style = style;
}

Style style()
{
    return g_style;
}

} // namespace kivo::dialpump

void TfrmSelect::SetUpDialQueue()
{
    connect(this, &TfrmSelect::closed, this, [this] { m_closed = true; });
    wire(ui->btnSkip, &QPushButton::clicked, &TfrmSelect::btnSkipClick);
    wire(ui->btnAbort, &QPushButton::clicked, &TfrmSelect::btnAbortClick);
}

void TfrmSelect::DialQueue()
{
    // The page is painted before dialing begins; a click handled meanwhile
    // may have left the page or closed the window already, and a queue
    // started after that could not be stopped.
    if (PageIndex() != 4 || m_closed)
        return;
    // The tune: a value that is not a text, or the empty text, plays none.
    reg->setKey(kivo::reg::AppKey);
    const Variant tune = reg->ReadValue(kivo::reg::Tune);
    // A run entered from within an earlier one (Abort, then Next through to
    // this page during the earlier run's pause) takes the tune over: only the
    // current run's thread may play.
    EndTuneThread();
    if (tune.VType() == varString && !tune.toString().empty())
        PDTThread = std::make_unique<TPDTThread>(PDTCaptionText, tune.toString());
    const TPDTThread* const ownTune = PDTThread.get();

    ui->btnPrev->setEnabled(false);
    ui->btnNext->setEnabled(false);
    DialIndex = 0;
    StopDialing = false;
    emit dialRunStarted();

    do {
        const std::size_t count = SelectedEntries.Count();
        if (count == 0) {
            // The selection page never lets an empty list through; there
            // is nothing to dial should it ever be emptied behind our back.
            StopDialing = true;
            break;
        }

        RAS->setEntryName(QString::fromLocal8Bit(SelectedEntries[DialIndex % count].c_str()));
        DialIndex = (DialIndex + 1) % static_cast<int>(count);
        ui->lblEntryName->setText(RAS->EntryName());
        emit dialAttemptStarted(RAS->EntryName());
        // A dial that fails at once shows up in the poll.
        RAS->Connect();
        // The new attempt's own status at once, not the last one's failure.
        ui->lblStatus->setText(RAS->GetStatusText());

        bool skipped = false;
        std::int32_t c = 0;
        // What the page shows during the pause: why the attempt failed, or
        // nothing after Skip, Abort, Close and a connection.
        QString failure;
        {
            QTimer bound;
            bound.start(kPollBoundMs);
            for (;;) {
                handleEvents();
                if (SkipEntry) {
                    SkipEntry = false;
                    skipped = true;
                    break;
                }
                ui->lblStatus->setText(RAS->GetStatusText());
                c = RAS->GetConnectStatus();
                // 0, PENDING and ERROR_INVALID_PORT_HANDLE keep the dial
                // going; a connection ends the poll through StopDialing,
                // which RASConnect sets.
                if (StopDialing)
                    break;
                if (c > static_cast<std::int32_t>(ERROR_INVALID_PORT_HANDLE) || !RAS->ConnHandle()) {
                    failure = failureText(*RAS, c);
                    break;
                }
            }
        }

        // A connection, Abort and Close have dealt with the line already.
        if (!StopDialing) {
            if (!skipped)
                emit dialAttemptFailed(RAS->EntryName(), c, failure);
            RAS->Disconnect();
        }
        // The error text was taken before the hang-up, which empties the
        // dialer's own; shown for the whole pause, so the user can tell a
        // busy line from a refused password.
        ui->lblStatus->setText(failure);
        pauseBetweenAttempts();
        ClearTunePlayed();
    } while (!StopDialing);

    // RASConnect has ended the thread of a run that connected; a run that
    // ended otherwise ends its own here, so it cannot play during a later one.
    if (PDTThread && PDTThread.get() == ownTune)
        EndTuneThread();
    emit dialRunEnded();
}

void TfrmSelect::EndTuneThread()
{
    if (!PDTThread)
        return;
    // Asked to end, the thread also stops a tune it is playing, so this does
    // not wait for the rest of a long wave file.
    PDTThread->Terminate();
    PDTThread->WaitFor();
    PDTThread.reset();
}

void TfrmSelect::btnSkipClick(QObject*)
{
    SkipEntry = true;
}

void TfrmSelect::btnAbortClick(QObject*)
{
    StopDialing = true;
    RAS->Disconnect();
    setPageIndex(1);
}

void TfrmSelect::RASDisconnect(QObject*, std::int32_t Error, QString ErrorString)
{
    // The monitor's timer runs exactly while a connection is shown.
    const bool wasConnected = Timer1->isActive();
    emit lineReleased(Error, ErrorString);
    // Empty whenever the event comes from our own Disconnect.
    if (!ErrorString.isEmpty())
        MessageBoxA(kivo::sys::hwndOf(this), ErrorString.toLocal8Bit().constData(),
                    KivoApplication::Title().c_str(), MB_OK);
    TI->setActive(false);
    Timer1->stop();
    // The connection has ended: a window-hiding thread still searching for
    // its "connected" window would otherwise search until the program ends,
    // and hide a window of a later connection.
    TFWThread::TerminateAll(kThreadEndMs);
    FWThread = nullptr;

    // The dialer ended a connection by itself. With the tray icon gone, a
    // window hidden to the tray would have no way back: release the line and
    // bring the window back as a broken line does.
    if (wasConnected && !ErrorString.isEmpty()) {
        StopDialing = true;
        // Released without a second report: all of the above is done.
        RAS->HangUp();
        ShowWelcomeAfterLineEnd();
    }
}
