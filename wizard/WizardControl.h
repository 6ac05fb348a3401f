// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The wizard as seen from outside its window: what it is doing (idle,
// dialing an entry, connected), what went wrong last, and the requests a
// script may make (dial these entries, hang up). The command line (through
// the single-instance channel) and D-Bus both go through this one object,
// so they cannot disagree; it also raises the desktop notifications.
//
// Requests act on the window the way its user would: a dial selects the
// entries on the selection page, sets the tune and presses Next on the
// confirmation page; a hang-up is the tray menu's Disconnect (or Abort
// Dialing while a dial is under way). The window reports back through its
// signals (TfrmSelect's dial and line signals).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>

class TfrmSelect;

namespace kivo
{

class DesktopNotifier;

class WizardControl : public QObject
{
    Q_OBJECT
  public:
    // The three states, as D-Bus and the command line name them.
    static constexpr char kIdle[] = "idle";
    static constexpr char kDialing[] = "dialing";
    static constexpr char kConnected[] = "connected";

    // The answer to a request. `message` tells the user what was refused and
    // why (translated); it is empty when the request was taken.
    struct Outcome {
        enum Kind {
            Done,
            UnknownEntry, // no entry of that name (or none named at all)
            BadTune,      // the tune is not a readable file given by its full path
            Busy          // connected already, or the wizard waits for an answer in a dialog
        };
        Kind kind = Done;
        QString message;
        explicit operator bool() const { return kind == Done; }
    };

    explicit WizardControl(TfrmSelect* form, QObject* parent = nullptr);
    ~WizardControl() override;

    // Desktop notifications (none while unset).
    void setNotifier(DesktopNotifier* notifier) { m_notifier = notifier; }

    // ---- requests ---------------------------------------------------------

    // The entries of the selection page, in its order.
    QStringList Entries() const;
    // Checks the request and, when it is good, dials those entries (and only
    // those) once control is back in the event loop; a dial under way is
    // aborted first. Names match exactly, else ignoring case when that finds
    // one entry. An empty tune leaves the Tune setting as it is.
    Outcome Dial(const QStringList& entries, const QString& tune);
    // Hangs up as the tray menu's Disconnect does; aborts a dial under way;
    // withdraws a dial asked for but not begun. Nothing to do is no error.
    void HangUp();

    // ---- state ----------------------------------------------------------------

    QString State() const { return m_state; }
    // The entry being dialled or connected to; empty while idle.
    QString Entry() const { return m_entry; }
    // How long the connection has lasted; 0 unless connected.
    std::uint32_t ConnectedSeconds() const;
    // The RAS error of the last failed attempt of this dial run, or of the
    // line's end; 0 for none.
    std::uint32_t LastError() const { return m_lastError; }
    QString LastErrorText() const { return m_lastErrorText; }
    // The attempt under way in this dial run, from 1; 0 before the first.
    int Attempt() const { return m_attempt; }
    // One line for people: "idle", "dialing ENTRY, attempt N, last error:
    // TEXT", "connected to ENTRY for HH:MM:SS".
    QString StatusText() const;

  signals:
    // Names of the properties (State, Entry, ConnectedSeconds, LastError,
    // LastErrorText) whose values have just changed.
    void propertiesChanged(const QStringList& names);
    void AttemptFailed(const QString& entry, std::uint32_t code, const QString& text);
    void Connected(const QString& entry);
    // code 0 and an empty text when the wizard hung up itself.
    void Disconnected(const QString& entry, std::uint32_t code, const QString& text);

  private:
    void dialRunStarted();
    void attemptStarted(const QString& entry);
    void attemptFailed(const QString& entry, std::int32_t code, const QString& text);
    void dialRunEnded();
    void connectedTo(const QString& entry);
    void lineEnded(std::int32_t code, const QString& text, bool broken);
    void performDial(const QStringList& names, const QString& tune);
    bool windowOutOfSight() const;

    void setState(const QString& state, const QString& entry);
    void setLastError(std::uint32_t code, const QString& text);

    QPointer<TfrmSelect> m_form;
    DesktopNotifier* m_notifier = nullptr;
    QString m_state = kIdle;
    QString m_entry;
    std::uint32_t m_lastError = 0;
    QString m_lastErrorText;
    int m_attempt = 0;
    // Counts dial requests; a request still waiting for the event loop runs
    // only while it is the latest and no hang-up came after it.
    quint64 m_dialTicket = 0;
};

} // namespace kivo
