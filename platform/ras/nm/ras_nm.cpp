// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The NetworkManager backend: entries are NetworkManager's connection
// profiles, a dial is ActivateConnection, and the StateChanged signals of the
// active connection, its VPN side and its device are followed here and
// handed to the state mapping (ras_nm_states.cpp, with the one table of
// reasons in ras_nm_reasons.cpp), which turns them into RAS steps and error
// codes. NetworkManager's names, the calls to it and the listing of its
// profiles are in ras_nm_bus.cpp.
//
// Nothing here waits for NetworkManager on the event loop's time except the
// listing of profiles, which RasEnumEntriesA must answer at once: it is
// bounded by a short timeout. Every other call is asynchronous with a timeout
// of its own, so a NetworkManager that hangs becomes an error code, never a
// frozen wizard.
#include "platform/ras/nm/ras_nm.h"
#include "platform/ras/nm/ras_nm_bus.h"
#include "platform/ras/nm/ras_nm_states.h"

#include "platform/system/trace.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QObject>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace kivo::ras
{
namespace nm
{
namespace
{

// Listing the profiles blocks the caller (RasEnumEntriesA answers at once);
// NetworkManager answers in milliseconds, so this is only the bound.
constexpr int kListTimeoutMs = 3000;
// polkit may first ask the user for a password, so activation gets long.
constexpr int kActivateTimeoutMs = 25000;
// Property reads and DeactivateConnection.
constexpr int kCallTimeoutMs = 5000;
// Device states kept per dial until its devices are known (a few at most in
// the moment between the answer to the activation and the read of it).
constexpr std::size_t kMaxEarlyStates = 32;

class NmBackend final : public QObject, public RasBackend
{
    Q_OBJECT
  public:
    NmBackend() : m_address(systemBusAddress()), m_busName(uniqueConnectionName())
    {
        registerTypes();
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_busName));
        if (!m_bus->isConnected()) {
            qCWarning(lcRasNm, "no system bus at %s: %s", qUtf8Printable(m_address),
                      qUtf8Printable(m_bus->lastError().message()));
            return;
        }
        subscribe(true);
        m_watcher = new QDBusServiceWatcher(
            kService, *m_bus,
            QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            // A new NetworkManager numbers its profiles anew.
            m_profiles.clear();
            fetchActiveList();
        });
        connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { onServiceGone(); });
        fetchActiveList();
    }

    ~NmBackend() override
    {
        // Replies and signals still under way must not reach a half-destroyed
        // backend.
        const QObjectList kids = children();
        for (QObject* child : kids)
            if (qobject_cast<QDBusPendingCallWatcher*>(child))
                delete child;
        delete m_watcher;
        if (m_bus->isConnected())
            subscribe(false);
        m_bus.reset();
        QDBusConnection::disconnectFromBus(m_busName);
    }

    std::string name() const override { return "nm"; }

    std::string describe() const override
    {
        return "NetworkManager connection profiles on the system bus " + m_address.toStdString();
    }

    DWORD entries(const std::string& phoneBook, std::vector<std::string>& names) override
    {
        // NetworkManager keeps one set of profiles; a phonebook path has no
        // meaning here and is not an error.
        (void)phoneBook;
        const DWORD r = refreshProfiles();
        if (r)
            return r;
        // The dial-up kinds first, so that a caller that takes only the
        // first few (the dialer takes 20) is not filled up with Wi-Fi
        // networks; each group in NetworkManager's order.
        for (const bool dialUp : {true, false})
            for (const Profile& p : m_profiles)
                if (isDialUpKind(p.type) == dialUp)
                    names.push_back(p.name);
        return 0;
    }

    DWORD dial(const DialRequest& request, ConnId& id) override
    {
        // The profile holds the number and the credentials; NetworkManager's
        // secret agents ask for what is missing. The record's overrides are
        // not passed on.
        const Profile* profile = findProfile(request.entryName);
        if (!profile) {
            const DWORD r = refreshProfiles();
            if (r)
                return r;
            profile = findProfile(request.entryName);
            if (!profile)
                return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        }
        id = ++m_lastId;
        Conn& c = m_conns[id];
        c.id = id;
        c.entry = profile->name;
        c.profile = profile->path;
        c.deviceType = rasDeviceType(profile->type);
        // A WireGuard link has a device of its own and no VPN states.
        c.vpn = profile->type == QLatin1String("vpn");
        QDBusMessage m = nmCall(kManagerPath, kManagerIface, QStringLiteral("ActivateConnection"));
        m << QVariant::fromValue(QDBusObjectPath(profile->path)) << QVariant::fromValue(QDBusObjectPath("/"))
          << QVariant::fromValue(QDBusObjectPath("/"));
        qCDebug(lcRasNm, "activating %s (%s)", trace::quote(c.entry).c_str(), qUtf8Printable(c.profile));
        call(m, kActivateTimeoutMs, [this, id](const QDBusMessage& reply) { onActivated(id, reply); });
        return 0;
    }

    DWORD hangUp(ConnId id) override
    {
        if (auto it = m_conns.find(id); it != m_conns.end()) {
            Conn& c = it->second;
            if (!c.active.isEmpty()) {
                m_byActive.erase(c.active);
                m_ignored.insert(c.active);
                // Also after a failure while NetworkManager still lists it:
                // it may be trying on, and a hang-up means stop.
                if (!c.ended || m_activeList.contains(c.active))
                    deactivate(c.active);
            } else if (!c.ended) {
                // NetworkManager has not answered the activation yet: take
                // it back as soon as it does.
                m_takeBack.insert(id);
            }
            m_conns.erase(it);
            return 0;
        }
        for (auto it = m_foreign.begin(); it != m_foreign.end(); ++it) {
            if (it->second.id != id)
                continue;
            deactivate(it->first);
            m_ignored.insert(it->first);
            m_foreign.erase(it);
            return 0;
        }
        return ERROR_INVALID_HANDLE;
    }

    DWORD status(ConnId id, ConnStatus& status) override
    {
        if (auto it = m_conns.find(id); it != m_conns.end()) {
            const Conn& c = it->second;
            status.state = c.state;
            status.error = c.error;
            status.deviceType = c.deviceType;
            status.deviceName = c.deviceName;
            return 0;
        }
        for (const auto& [path, f] : m_foreign) {
            if (f.id != id)
                continue;
            status.state = f.state == kActiveActivated ? RASCS_Connected : RASCS_OpenPort;
            status.error = 0;
            status.deviceType = f.deviceType;
            status.deviceName = f.deviceName;
            return 0;
        }
        return ERROR_INVALID_HANDLE;
    }

    std::vector<ConnInfo> connections() override
    {
        std::vector<ConnInfo> out;
        std::set<QString> pendingProfiles;
        for (const auto& [id, c] : m_conns) {
            if (c.ended)
                continue;
            out.push_back({id, c.entry, c.deviceType, c.deviceName});
            if (c.active.isEmpty())
                pendingProfiles.insert(c.profile);
        }
        // Then the dial-up links others made, in NetworkManager's order; the
        // network the machine simply has (loopback, wired, Wi-Fi, bridges)
        // is no RAS connection, or a connection monitor would never see its
        // own line go. One whose profile is being activated by a dial of
        // ours that has no answer yet is most likely that dial, seen before
        // the answer: it is not listed twice.
        for (const QString& path : m_activeList) {
            auto it = m_foreign.find(path);
            if (it == m_foreign.end() || !it->second.known || it->second.state >= kActiveDeactivating ||
                !isDialUpKind(it->second.type) || pendingProfiles.count(it->second.profile))
                continue;
            const Foreign& f = it->second;
            out.push_back({f.id, f.name, f.deviceType, f.deviceName});
        }
        return out;
    }

  private Q_SLOTS:
    void onActiveState(const QDBusMessage& m)
    {
        const QList<QVariant> a = m.arguments();
        if (a.size() < 2)
            return;
        const unsigned state = a[0].toUInt();
        const unsigned reason = a[1].toUInt();
        if (Conn* c = ownByActive(m.path())) {
            applyActiveState(*c, state, reason);
        } else if (auto it = m_foreign.find(m.path()); it != m_foreign.end()) {
            it->second.state = state;
        }
    }

    void onVpnState(const QDBusMessage& m)
    {
        const QList<QVariant> a = m.arguments();
        Conn* c = ownByActive(m.path());
        if (!c || a.size() < 2)
            return;
        c->vpn = true;
        applyVpnState(*c, a[0].toUInt(), a[1].toUInt());
    }

    void onDeviceState(const QDBusMessage& m)
    {
        const QList<QVariant> a = m.arguments();
        if (a.size() < 3)
            return;
        const unsigned state = a[0].toUInt();
        const unsigned old = a[1].toUInt();
        const unsigned reason = a[2].toUInt();
        for (auto& [id, c] : m_conns) {
            if (c.ended || c.vpn)
                continue;
            if (c.devices.contains(m.path()))
                applyDeviceState(c, state, old, reason);
            else if (c.devices.isEmpty() && c.early.size() < kMaxEarlyStates)
                // Its devices are not known yet: a quick failure must not be
                // missed while they are being asked for.
                c.early.push_back({m.path(), state, old, reason});
        }
    }

    void onManagerProperties(const QDBusMessage& m)
    {
        const QList<QVariant> a = m.arguments();
        if (a.size() < 2 || a[0].toString() != kManagerIface)
            return;
        const QVariantMap changed = variantMap(a[1]);
        if (changed.contains(QStringLiteral("ActiveConnections"))) {
            ++m_listSerial;
            updateActiveList(objectPaths(changed.value(QStringLiteral("ActiveConnections"))));
        } else if (a.size() > 2 && a[2].toStringList().contains(QStringLiteral("ActiveConnections"))) {
            fetchActiveList();
        }
    }

  private:
    // A dial of ours, and where it stands.
    struct Conn : DialProgress {
        ConnId id = 0;
        std::string entry;
        QString profile;
        QString active; // the active connection, once NetworkManager answered
        QStringList devices;
        bool vpn = false;
        bool listed = false; // seen among NetworkManager's active connections
        // Device states seen before the devices of the connection were known.
        struct DeviceState {
            QString device;
            unsigned state;
            unsigned old;
            unsigned reason;
        };
        std::vector<DeviceState> early;
        std::string deviceType;
        std::string deviceName = "NetworkManager";
    };

    // An active connection of NetworkManager that we did not dial.
    struct Foreign {
        ConnId id = 0;
        bool known = false; // its properties have been read
        unsigned state = 0;
        QString profile;
        QString type; // connection.type
        std::string name;
        std::string deviceType;
        std::string deviceName = "NetworkManager";
    };

    // One subscription per kind of signal, for every object of
    // NetworkManager: the path of the message says whose it is.
    void subscribe(bool on)
    {
        struct Sub {
            const QString& path;
            const QString& iface;
            const char* name;
            const char* slot;
        };
        const QString any;
        const Sub subs[] = {
            {any, kActiveIface, "StateChanged", SLOT(onActiveState(QDBusMessage))},
            {any, kVpnIface, "VpnStateChanged", SLOT(onVpnState(QDBusMessage))},
            {any, kDeviceIface, "StateChanged", SLOT(onDeviceState(QDBusMessage))},
            {kManagerPath, kPropsIface, "PropertiesChanged", SLOT(onManagerProperties(QDBusMessage))},
        };
        for (const Sub& s : subs) {
            const bool ok = on ? m_bus->connect(kService, s.path, s.iface, s.name, this, s.slot)
                               : m_bus->disconnect(kService, s.path, s.iface, s.name, this, s.slot);
            if (!ok && on)
                qCWarning(lcRasNm, "cannot follow %s.%s", qUtf8Printable(s.iface), s.name);
        }
    }

    template <class F> void call(const QDBusMessage& m, int timeoutMs, F onReply)
    {
        auto* w = new QDBusPendingCallWatcher(m_bus->asyncCall(m, timeoutMs), this);
        connect(w, &QDBusPendingCallWatcher::finished, this, [w, onReply = std::move(onReply)] {
            w->deleteLater();
            onReply(w->reply());
        });
    }

    void traceFailure(const QString& what, const QDBusMessage& reply, DWORD code)
    {
        qCWarning(lcRasNm, "NetworkManager %s failed: %s", qUtf8Printable(what),
                  describeError(reply).c_str());
        if (trace::enabled())
            trace::line("NetworkManager." + what.toStdString() + " = " + std::to_string(code) + " " +
                        trace::quote(describeError(reply)));
    }

    const Profile* findProfile(const std::string& name) const
    {
        for (const Profile& p : m_profiles)
            if (p.name == name)
                return &p;
        return nullptr;
    }

    // Reads the profiles again, blocking for at most kListTimeoutMs.
    DWORD refreshProfiles()
    {
        if (!m_bus->isConnected())
            return ERROR_RASMAN_CANNOT_INITIALIZE;
        QDBusMessage failure;
        if (!listProfiles(*m_bus, kListTimeoutMs, m_profiles, failure)) {
            const DWORD code = dbusError(failure.errorName());
            traceFailure(QStringLiteral("ListConnections"), failure, code);
            return code;
        }
        return 0;
    }

    Conn* ownByActive(const QString& path)
    {
        auto it = m_byActive.find(path);
        if (it == m_byActive.end())
            return nullptr;
        auto c = m_conns.find(it->second);
        return c == m_conns.end() || c->second.ended ? nullptr : &c->second;
    }

    // What the state mapping tells of one of our dials goes to the layer;
    // its end is traced.
    StepSink sinkOf(const Conn& c)
    {
        return [this, &c](DWORD state, DWORD error) {
            if (error) {
                qCDebug(lcRasNm, "%s ended in state %u with %u", trace::quote(c.entry).c_str(),
                        unsigned(state), unsigned(error));
                if (trace::enabled())
                    trace::line("NetworkManager.ended(entry=" + trace::quote(c.entry) +
                                ", active=" + trace::quote(c.active.toStdString()) +
                                ") state=" + std::to_string(state) + " error=" + std::to_string(error));
            }
            report(c.id, state, error);
        };
    }

    void advance(Conn& c, DWORD state) { nm::advance(c, state, sinkOf(c)); }
    void end(Conn& c, DWORD error, DWORD fallback) { nm::end(c, error, fallback, sinkOf(c)); }
    void applyActiveState(Conn& c, unsigned state, unsigned reason)
    {
        nm::applyActiveState(c, state, reason, sinkOf(c));
    }
    void applyVpnState(Conn& c, unsigned state, unsigned reason)
    {
        nm::applyVpnState(c, state, reason, sinkOf(c));
    }
    void applyDeviceState(Conn& c, unsigned state, unsigned old, unsigned reason)
    {
        nm::applyDeviceState(c, state, old, reason, sinkOf(c));
    }

    void onActivated(ConnId id, const QDBusMessage& reply)
    {
        auto it = m_conns.find(id);
        const bool hungUp = m_takeBack.erase(id) > 0;
        if (failed(reply)) {
            DWORD code = dbusError(reply.errorName());
            // For a VPN, NetworkManager's "unknown connection" is the one it
            // would run over ("Could not find source connection"): no
            // network is up yet. The profile itself is there.
            if (it != m_conns.end() && it->second.vpn &&
                reply.errorName() == QLatin1String("org.freedesktop.NetworkManager.UnknownConnection"))
                code = ERROR_ROUTE_NOT_AVAILABLE;
            traceFailure(QStringLiteral("ActivateConnection"), reply, code);
            if (it != m_conns.end())
                end(it->second, code, code);
            return;
        }
        const QString active = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (it == m_conns.end()) {
            if (hungUp && !active.isEmpty()) {
                // The list may have shown it already, as someone else's.
                m_foreign.erase(active);
                m_ignored.insert(active);
                deactivate(active);
            }
            return;
        }
        Conn& c = it->second;
        c.active = active;
        m_byActive[active] = id;
        // The list may have shown it before this answer came.
        if (auto f = m_foreign.find(active); f != m_foreign.end())
            m_foreign.erase(f);
        c.listed = m_activeList.contains(active);
        advance(c, RASCS_OpenPort);
        call(propsCall(active, QStringLiteral("GetAll"), kActiveIface), kCallTimeoutMs,
             [this, id](const QDBusMessage& r) { onActiveProperties(id, r); });
    }

    void onActiveProperties(ConnId id, const QDBusMessage& reply)
    {
        auto it = m_conns.find(id);
        if (it == m_conns.end() || it->second.ended)
            return;
        Conn& c = it->second;
        if (failed(reply)) {
            const QString name = reply.errorName();
            // The object is gone: NetworkManager has already dropped the
            // connection again.
            if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
                name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
                name == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs")) {
                // Which device was ours cannot be asked any more; a device
                // that failed meanwhile is the best word on why.
                DWORD error = 0;
                for (const Conn::DeviceState& d : c.early)
                    if (d.state == kDeviceFailed)
                        error = reasonError(ReasonSource::Device, d.reason);
                end(c, error, ERROR_PORT_DISCONNECTED);
            } else {
                const DWORD code = dbusError(name);
                traceFailure(QStringLiteral("Connection.Active.GetAll"), reply, code);
                end(c, code, code);
            }
            return;
        }
        const QVariantMap props = variantMap(reply.arguments().value(0));
        c.vpn = c.vpn || props.value(QStringLiteral("Vpn")).toBool();
        c.devices = objectPaths(props.value(QStringLiteral("Devices")));
        const auto early = std::move(c.early);
        c.early.clear();
        // What the devices did first happened before this snapshot.
        for (const Conn::DeviceState& d : early)
            if (!c.vpn && c.devices.contains(d.device))
                applyDeviceState(c, d.state, d.old, d.reason);
        applyActiveState(c, props.value(QStringLiteral("State")).toUInt(), 0);
        if (!c.ended && !c.devices.isEmpty())
            call(propsCall(c.devices.front(), QStringLiteral("GetAll"), kDeviceIface), kCallTimeoutMs,
                 [this, id](const QDBusMessage& r) { onDeviceProperties(id, r); });
    }

    void onDeviceProperties(ConnId id, const QDBusMessage& reply)
    {
        auto it = m_conns.find(id);
        if (it == m_conns.end() || it->second.ended || failed(reply))
            return;
        Conn& c = it->second;
        const QVariantMap props = variantMap(reply.arguments().value(0));
        const QString iface = props.value(QStringLiteral("Interface")).toString();
        if (!iface.isEmpty())
            c.deviceName = iface.toStdString();
        if (c.vpn)
            return;
        unsigned reason = 0;
        const QVariant stateReason = props.value(QStringLiteral("StateReason"));
        if (stateReason.canConvert<QDBusArgument>()) {
            const QDBusArgument arg = stateReason.value<QDBusArgument>();
            unsigned state = 0;
            arg.beginStructure();
            arg >> state >> reason;
            arg.endStructure();
        }
        // A snapshot shows where the device is, not where it comes from: it
        // ends the dial only by having failed.
        applyDeviceState(c, props.value(QStringLiteral("State")).toUInt(), kDeviceUnknown, reason);
    }

    void deactivate(const QString& active)
    {
        QDBusMessage m = nmCall(kManagerPath, kManagerIface, QStringLiteral("DeactivateConnection"));
        m << QVariant::fromValue(QDBusObjectPath(active));
        call(m, kCallTimeoutMs, [this, active](const QDBusMessage& reply) {
            // Already down is as good as hung up.
            if (failed(reply) &&
                reply.errorName() != QLatin1String("org.freedesktop.NetworkManager.ConnectionNotActive"))
                traceFailure("DeactivateConnection(" + active + ")", reply, dbusError(reply.errorName()));
        });
    }

    void fetchActiveList()
    {
        const int serial = m_listSerial;
        call(propsCall(kManagerPath, QStringLiteral("Get"), kManagerIface)
                 << QStringLiteral("ActiveConnections"),
             kCallTimeoutMs, [this, serial](const QDBusMessage& reply) {
                 // A change signalled since this was asked is newer.
                 if (failed(reply) || serial != m_listSerial)
                     return;
                 updateActiveList(objectPaths(reply.arguments().value(0).value<QDBusVariant>().variant()));
             });
    }

    void updateActiveList(const QStringList& list)
    {
        m_activeList = list;
        for (auto& [id, c] : m_conns) {
            if (c.ended || c.active.isEmpty())
                continue;
            if (list.contains(c.active))
                c.listed = true;
            else if (c.listed)
                // Ended without a word (the applet, nmcli, NetworkManager's
                // stand-ins): a drop all the same.
                end(c, 0, ERROR_PORT_DISCONNECTED);
        }
        for (auto it = m_foreign.begin(); it != m_foreign.end();)
            it = list.contains(it->first) ? std::next(it) : m_foreign.erase(it);
        for (auto it = m_ignored.begin(); it != m_ignored.end();)
            it = list.contains(*it) ? std::next(it) : m_ignored.erase(it);
        for (const QString& path : list) {
            if (m_byActive.count(path) || m_ignored.count(path) || m_foreign.count(path))
                continue;
            Foreign& f = m_foreign[path];
            f.id = ++m_lastId;
            call(propsCall(path, QStringLiteral("GetAll"), kActiveIface), kCallTimeoutMs,
                 [this, path, fid = f.id](const QDBusMessage& r) { onForeignProperties(path, fid, r); });
        }
    }

    void onForeignProperties(const QString& path, ConnId fid, const QDBusMessage& reply)
    {
        auto it = m_foreign.find(path);
        if (it == m_foreign.end() || it->second.id != fid || failed(reply))
            return;
        Foreign& f = it->second;
        const QVariantMap props = variantMap(reply.arguments().value(0));
        f.known = true;
        f.name = props.value(QStringLiteral("Id")).toString().toStdString();
        f.state = props.value(QStringLiteral("State")).toUInt();
        f.profile = props.value(QStringLiteral("Connection")).value<QDBusObjectPath>().path();
        f.type = props.value(QStringLiteral("Type")).toString();
        f.deviceType = rasDeviceType(f.type);
        const QStringList devices = objectPaths(props.value(QStringLiteral("Devices")));
        if (devices.isEmpty())
            return;
        call(propsCall(devices.front(), QStringLiteral("Get"), kDeviceIface) << QStringLiteral("Interface"),
             kCallTimeoutMs, [this, path, fid](const QDBusMessage& r) {
                 auto it = m_foreign.find(path);
                 if (it == m_foreign.end() || it->second.id != fid || failed(r))
                     return;
                 const QString iface = r.arguments().value(0).value<QDBusVariant>().variant().toString();
                 if (!iface.isEmpty())
                     it->second.deviceName = iface.toStdString();
             });
    }

    // NetworkManager left the bus: nothing it held can be followed any more.
    void onServiceGone()
    {
        qCWarning(lcRasNm, "NetworkManager left the system bus");
        m_profiles.clear();
        for (auto& [id, c] : m_conns)
            end(c, ERROR_RASMAN_CANNOT_INITIALIZE, ERROR_RASMAN_CANNOT_INITIALIZE);
        ++m_listSerial;
        m_activeList.clear();
        m_foreign.clear();
        m_ignored.clear();
    }

    QString m_address;
    QString m_busName;
    std::unique_ptr<QDBusConnection> m_bus;
    QDBusServiceWatcher* m_watcher = nullptr;
    std::vector<Profile> m_profiles;
    std::map<ConnId, Conn> m_conns;
    std::map<QString, ConnId> m_byActive;
    // Dials hung up before NetworkManager answered their activation.
    std::set<ConnId> m_takeBack;
    // Active connections hung up here that NetworkManager still lists.
    std::set<QString> m_ignored;
    std::map<QString, Foreign> m_foreign;
    QStringList m_activeList;
    int m_listSerial = 0;
    ConnId m_lastId = 0;
};

} // namespace

} // namespace nm

std::unique_ptr<RasBackend> makeNmBackend()
{
    return std::make_unique<nm::NmBackend>();
}

} // namespace kivo::ras

#include "ras_nm.moc"
