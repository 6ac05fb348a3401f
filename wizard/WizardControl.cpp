// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/WizardControl.h"

#include "components/Rascomp32.h"
#include "platform/ras/ras.h"
#include "ui_Select.h"
#include "wizard/DesktopNotifier.h"
#include "wizard/KivoApplication.h"
#include "wizard/Select.h"
#include "wizard/Stats.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace kivo
{

namespace
{

// RAS failures are 602 and above (600 and 601 are no failures); other codes
// (a failed status query of a line that is gone) say nothing about why.
constexpr std::int32_t kFirstFailure = 602;

QString quoted(const QString& name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace

WizardControl::WizardControl(TfrmSelect* form, QObject* parent) : QObject(parent), m_form(form)
{
    connect(form, &TfrmSelect::dialRunStarted, this, &WizardControl::dialRunStarted);
    connect(form, &TfrmSelect::dialAttemptStarted, this, &WizardControl::attemptStarted);
    connect(form, &TfrmSelect::dialAttemptFailed, this, &WizardControl::attemptFailed);
    connect(form, &TfrmSelect::dialRunEnded, this, &WizardControl::dialRunEnded);
    connect(form, &TfrmSelect::connectedTo, this, &WizardControl::connectedTo);
    connect(form, &TfrmSelect::lineBroken, this,
            [this](const QString&, int code, const QString& text) { lineEnded(code, text, true); });
    connect(form, &TfrmSelect::lineReleased, this,
            [this](int code, const QString& text) { lineEnded(code, text, false); });
    // The connection's clock moves with the monitor's one-second timer.
    connect(form->Timer1, &QTimer::timeout, this, [this] {
        if (m_state == kConnected)
            emit propertiesChanged({QStringLiteral("ConnectedSeconds")});
    });
}

WizardControl::~WizardControl() = default;

// ---- requests ------------------------------------------------------------------------

QStringList WizardControl::Entries() const
{
    QStringList names;
    if (!m_form)
        return names;
    const TListView* list = m_form->ui->ConList;
    for (int i = 0; i < list->Count(); ++i)
        names << list->Item(i)->Caption();
    return names;
}

WizardControl::Outcome WizardControl::Dial(const QStringList& entries, const QString& tune)
{
    const QStringList known = Entries();
    const auto listOfKnown = [&] {
        QStringList q;
        for (const QString& k : known)
            q << quoted(k);
        return known.isEmpty() ? tr("The phonebook has no entries.")
                               : tr("The entries are: %1.").arg(q.join(QStringLiteral(", ")));
    };
    if (entries.isEmpty())
        return {Outcome::UnknownEntry, tr("No entry to dial was named.") + QLatin1Char(' ') + listOfKnown()};

    QStringList names;
    QStringList unknown;
    for (const QString& wanted : entries) {
        QString found;
        if (known.contains(wanted)) {
            found = wanted;
        } else {
            const auto same = [&](const QString& k) { return k.compare(wanted, Qt::CaseInsensitive) == 0; };
            if (std::count_if(known.begin(), known.end(), same) == 1)
                found = *std::find_if(known.begin(), known.end(), same);
        }
        if (found.isEmpty())
            unknown << quoted(wanted);
        else if (!names.contains(found))
            names << found;
    }
    if (!unknown.isEmpty())
        return {Outcome::UnknownEntry, tr("No entry named %1.").arg(unknown.join(QStringLiteral(", "))) +
                                           QLatin1Char(' ') + listOfKnown()};

    if (!tune.isEmpty()) {
        const QFileInfo file(tune);
        if (file.isRelative())
            return {Outcome::BadTune, tr("The tune %1 must be given with its full path.").arg(quoted(tune))};
        if (!file.isFile() || !file.isReadable())
            return {Outcome::BadTune, tr("The tune %1 is not a file that can be read.").arg(quoted(tune))};
    }

    if (m_state == kConnected)
        return {Outcome::Busy, tr("Already connected to %1; hang up first.").arg(quoted(m_entry))};
    // A dial started under an open box would run inside it, and whatever the
    // box's handler does once it is answered would act on the new dial.
    if (QApplication::activeModalWidget())
        return {Outcome::Busy, tr("The wizard is waiting for an answer in one of its windows.")};

    const quint64 ticket = ++m_dialTicket;
    QTimer::singleShot(0, this, [this, ticket, names, tune] {
        if (ticket == m_dialTicket)
            KivoApplication::guard([&] { performDial(names, tune); });
    });
    return {};
}

// What the user would do: select exactly these entries, set the tune and go
// through the tune and confirmation pages to Next. The dial queue then runs
// inside this call, as it runs inside a click on Next.
void WizardControl::performDial(const QStringList& names, const QString& tune)
{
    TfrmSelect* f = m_form;
    if (!f || m_state == kConnected || QApplication::activeModalWidget())
        return;
    if (f->PageIndex() == 4 && !StopDialing)
        f->btnAbortClick(nullptr);
    // An Info page left without a connection has lost Back and Next; the
    // tray menu's Disconnect brings them back, as it would for the user.
    if (f->PageIndex() == 5)
        f->Disconnect1Click(nullptr);
    f->ShowAndRestore();

    // The list's change events keep SelectedEntries in step.
    const TListView* list = f->ui->ConList;
    for (int i = 0; i < list->Count(); ++i) {
        TListItem* item = list->Item(i);
        item->setSelected(names.contains(item->Caption()));
    }
    if (!tune.isEmpty()) {
        f->reg->setKey(kivo::reg::AppKey);
        f->reg->WriteValue(kivo::reg::Tune, Variant(tune.toLocal8Bit().toStdString()));
    }
    // Page 2 shows the tune, page 3 lists the selection; coming from page 3
    // itself, the list is made again on the way back.
    f->setPageIndex(2);
    f->setPageIndex(3);
    if (f->PageIndex() == 3)
        f->btnNextClick(nullptr);
}

void WizardControl::HangUp()
{
    ++m_dialTicket;
    TfrmSelect* f = m_form;
    if (!f)
        return;
    // Also a wizard left on its Info page without a connection (the dialer
    // reported the line's end itself): the tray menu that would bring it
    // back is gone with the connection.
    if (m_state == kConnected || (f->PageIndex() == 5 && !QApplication::activeModalWidget()))
        f->Disconnect1Click(nullptr);
    else if (f->PageIndex() == 4 && !StopDialing)
        f->btnAbortClick(nullptr);
    if (m_state == kDialing)
        setState(kIdle, {});
}

// ---- state -------------------------------------------------------------------------------

// The connection's one clock, the one the Info page and the tray tip show.
std::uint32_t WizardControl::ConnectedSeconds() const
{
    if (m_state != kConnected)
        return 0;
    return static_cast<std::uint32_t>(std::max(0, ConnectSeconds));
}

QString WizardControl::StatusText() const
{
    if (m_state == kConnected)
        return tr("connected to %1 for %2")
            .arg(m_entry, QString::fromStdString(SecsToStr(static_cast<int>(ConnectedSeconds()))));
    if (m_state == kDialing) {
        QString text = tr("dialing %1, attempt %2").arg(m_entry).arg(m_attempt);
        if (!m_lastErrorText.isEmpty())
            text += tr(", last error: %1").arg(m_lastErrorText);
        return text;
    }
    return tr("idle");
}

void WizardControl::setState(const QString& state, const QString& entry)
{
    QStringList changed;
    if (state != m_state) {
        // The clock starts and stops with the connected state.
        if (state == kConnected || m_state == kConnected)
            changed << QStringLiteral("ConnectedSeconds");
        m_state = state;
        changed << QStringLiteral("State");
    }
    if (entry != m_entry) {
        m_entry = entry;
        changed << QStringLiteral("Entry");
    }
    if (!changed.isEmpty())
        emit propertiesChanged(changed);
}

void WizardControl::setLastError(std::uint32_t code, const QString& text)
{
    QStringList changed;
    if (code != m_lastError) {
        m_lastError = code;
        changed << QStringLiteral("LastError");
    }
    if (text != m_lastErrorText) {
        m_lastErrorText = text;
        changed << QStringLiteral("LastErrorText");
    }
    if (!changed.isEmpty())
        emit propertiesChanged(changed);
}

// ---- what the window reports -----------------------------------------------------------

void WizardControl::dialRunStarted()
{
    m_attempt = 0;
    setLastError(0, {});
}

void WizardControl::attemptStarted(const QString& entry)
{
    ++m_attempt;
    setState(kDialing, entry);
}

void WizardControl::attemptFailed(const QString& entry, std::int32_t code, const QString& text)
{
    const QString shown = text.isEmpty() ? TRAS::ErrorText(code) : text;
    const auto ucode = static_cast<std::uint32_t>(std::max(code, 0));
    setLastError(ucode, shown);
    emit AttemptFailed(entry, ucode, shown);
}

void WizardControl::dialRunEnded()
{
    // A run that connected has handed over to the connected state.
    if (m_state == kDialing)
        setState(kIdle, {});
}

void WizardControl::connectedTo(const QString& entry)
{
    setState(kConnected, entry);
    emit Connected(entry);
    // Only when the wizard went out of sight on its own: the user then
    // learns of the connection here.
    if (m_notifier && windowOutOfSight())
        m_notifier->notify(tr("Connected to %1").arg(entry), {}, DesktopNotifier::Kind::Connected);
}

// The line of a connection has ended: found gone by the monitor (broken),
// reported with an error by the dialer (broken too), or released by a
// hang-up of ours (empty text). Each end is told once: after the monitor's
// report, the hang-up that follows it finds the state idle already.
void WizardControl::lineEnded(std::int32_t code, const QString& text, bool broken)
{
    if (m_state != kConnected)
        return;
    broken = broken || !text.isEmpty();
    const QString entry = m_entry;
    std::uint32_t ucode = 0;
    QString reason;
    if (broken) {
        // A line that is gone without a RAS reason was disconnected all the same.
        ucode = code >= kFirstFailure ? static_cast<std::uint32_t>(code) : ERROR_PORT_DISCONNECTED;
        reason =
            text.isEmpty() || code < kFirstFailure ? TRAS::ErrorText(static_cast<std::int32_t>(ucode)) : text;
        setLastError(ucode, reason);
    }
    const bool outOfSight = windowOutOfSight();
    setState(kIdle, {});
    emit Disconnected(entry, ucode, reason);
    if (broken && m_notifier && outOfSight) {
        const QString summary = QCoreApplication::translate("TfrmSelect", "Connection has been broken!");
        m_notifier->notify(summary, reason.isEmpty() ? entry : QStringLiteral("%1: %2").arg(entry, reason),
                           DesktopNotifier::Kind::Broken);
    }
}

bool WizardControl::windowOutOfSight() const
{
    return m_form && (!m_form->isVisible() || m_form->isMinimized());
}

} // namespace kivo
