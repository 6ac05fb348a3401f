// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TRAS: a non-visual dialer over the RAS calls (platform/ras/ras.h) that handles
// one connection at a time. The owner configures it through its properties,
// lists the phonebook entries and the active connections, dials, hangs up
// and gets one event per step of the dial. It raises no exceptions of its
// own: every RAS result is returned and kept in LastError.
#pragma once

#include "components/Events.h"
#include "platform/ras/ras.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

// The list's index error.
class EListError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// The active connections as whole RASCONN records, each a heap copy owned by
// the list, in the order they were added.
class TConnectionList : public QObject
{
    Q_OBJECT
  public:
    explicit TConnectionList(QObject* parent = nullptr);
    ~TConnectionList() override;

    int Count() const { return static_cast<int>(m_items.size()); }
    // The record of an item (EListError for a bad index).
    const RASCONN& Items(int Index) const;
    // Releases every record.
    void Clear();

    Q_INVOKABLE void AddConnection(const RASCONN& Connection);
    Q_INVOKABLE HRASCONN RASConn(int Index) const;
    Q_INVOKABLE QString EntryName(int Index) const;
    Q_INVOKABLE void Delete(int Index);

  private:
    void check(int Index) const;
    std::vector<std::unique_ptr<RASCONN>> m_items;
};

class TRAS : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString EntryName READ EntryName WRITE setEntryName)
    Q_PROPERTY(QString PhoneNumber READ PhoneNumber WRITE setPhoneNumber)
    Q_PROPERTY(QString PhoneBookPath READ PhoneBookPath WRITE setPhoneBookPath)
    Q_PROPERTY(QString CallbackNumber READ CallbackNumber WRITE setCallbackNumber)
    Q_PROPERTY(QString UserName READ UserName WRITE setUserName)
    Q_PROPERTY(QString Password READ Password WRITE setPassword)
    Q_PROPERTY(int RedialAttempts READ RedialAttempts WRITE setRedialAttempts)
    Q_PROPERTY(QString Domain READ Domain WRITE setDomain)
    Q_PROPERTY(QString DeviceType READ DeviceType WRITE setDeviceType)
    Q_PROPERTY(QString DeviceName READ DeviceName WRITE setDeviceName)

  public:
    explicit TRAS(QObject* AOwner);
    // Hangs up a connection still held, without OnDisconnect.
    ~TRAS() override;

    // ---- published properties ----
    QString EntryName() const { return FEntryName; }
    void setEntryName(const QString& v) { FEntryName = v; }
    QString PhoneNumber() const { return FPhoneNumber; }
    void setPhoneNumber(const QString& v) { FPhoneNumber = v; }
    QString PhoneBookPath() const { return FPhoneBookPath; }
    // Refreshes PhoneBookEntries at once, also when the value is unchanged.
    void setPhoneBookPath(const QString& v);
    QString CallbackNumber() const { return FCallbackNumber; }
    void setCallbackNumber(const QString& v) { FCallbackNumber = v; }
    QString UserName() const { return FUserName; }
    void setUserName(const QString& v) { FUserName = v; }
    QString Password() const { return FPassword; }
    void setPassword(const QString& v) { FPassword = v; }
    // Stored only; each Connect makes exactly one dial.
    int RedialAttempts() const { return FRedialAttempts; }
    void setRedialAttempts(int v);
    QString Domain() const { return FDomain; }
    void setDomain(const QString& v) { FDomain = v; }
    QString DeviceType() const { return FDeviceType; }
    void setDeviceType(const QString& v) { FDeviceType = v; }
    QString DeviceName() const { return FDeviceName; }
    void setDeviceName(const QString& v) { FDeviceName = v; }

    // ---- events ----
    TNotifyEvent OnCallBack;
    TNotifyEvent OnConnect;
    TNotifyEvent OnAboutToOpenPort;
    TNotifyEvent OnPortOpened;
    TNotifyEvent OnAboutToConnDev;
    TNotifyEvent OnDevConnected;
    TNotifyEvent OnAllDevsConnected;
    TNotifyEvent OnAuthenticate;
    TNotifyEvent OnAuthNotify;
    TNotifyEvent OnAuthRetry;
    TNotifyEvent OnAuthCallBack;
    TNotifyEvent OnAuthChangePassword;
    TNotifyEvent OnAuthProject;
    TNotifyEvent OnAuthLinkSpeed;
    TNotifyEvent OnAuthAck;
    TNotifyEvent OnReAuthenticate;
    TNotifyEvent OnAuthenticated;
    TNotifyEvent OnPrepareforCallback;
    TNotifyEvent OnWaitForModemReset;
    TNotifyEvent OnInteractiveStarted;
    TNotifyEvent OnRetryAuth;
    TNotifyEvent OnPasswordExpired;
    TRasStateEvent OnDisconnect;

    // ---- state (read-only from outside) ----
    const QStringList& PhoneBookEntries() const { return FPhoneBookEntries; }
    TConnectionList* Connections() const { return FConnections; }
    std::int32_t LastError() const { return FLastError; }
    HRASCONN ConnHandle() const { return FConnHandle; }
    HWND NotifierHandle() const { return FNotifierHandle; }
    std::uint16_t DialEventMessage() const { return FDialEventMessage; }
    std::uint16_t ConnectState() const { return FConnectState; }

    // ---- operations ----
    // Refills PhoneBookEntries with at most 20 names.
    std::int32_t GetPhoneBookEntries();
    // Refills Connections with at most 4 records.
    std::int32_t GetConnections();
    // Starts an asynchronous dial of EntryName; 0 when it has started.
    std::int32_t Connect();
    // Hangs up (0 when nothing was held) and always raises OnDisconnect.
    std::int32_t Disconnect();
    // The connection's error code from a fresh status query.
    std::int32_t GetConnectStatus();
    // A one-line text for the current state or error of the connection.
    QString GetStatusText();
    // The text of a RAS code; empty while no connection is held.
    QString GetErrorString(std::int32_t Code);
    // The RAS service's text for a failure code (602 and up), also while no
    // connection is held; empty for other codes.
    static QString ErrorText(std::int32_t Code);

    // ---- internal, public for the tests ----
    // Disconnect without OnDisconnect.
    std::int32_t HangUp();
    // Raises OnDisconnect with a freshly queried error and its text.
    void DoDisconnect();
    // The notifier window's message handler.
    void HandleDialEvent(TMessage& Message);

  private:
    void Raise(const TNotifyEvent& Event);
    void ReleaseNotifier();

    QString FEntryName;
    QString FPhoneNumber;
    QString FPhoneBookPath;
    QString FCallbackNumber;
    QString FUserName;
    QString FPassword;
    QString FDomain;
    QString FDeviceType;
    QString FDeviceName;
    int FRedialAttempts = 1;
    HWND FNotifierHandle = nullptr;
    std::uint16_t FDialEventMessage = 0;
    QStringList FPhoneBookEntries;
    TConnectionList* FConnections = nullptr;
    std::int32_t FLastError = 0;
    HRASCONN FConnHandle = nullptr;
    std::uint16_t FConnectState = 0;
};
