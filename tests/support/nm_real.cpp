// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tests/support/nm_real.h"

#include "platform/ras/nm/ras_nm.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo::test
{
namespace
{

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kManagerIface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kSettingsIface = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kActiveIface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kProfileIface = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kPropsIface = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr int kCallTimeoutMs = 10000;

// What a child reports before it execs; only async-signal-safe calls.
[[noreturn]] void childFails(const char* what)
{
    const char* reason = std::strerror(errno);
    const char prefix[] = "kivo95 test harness: ";
    (void)!write(2, prefix, sizeof prefix - 1);
    (void)!write(2, what, std::strlen(what));
    (void)!write(2, ": ", 2);
    (void)!write(2, reason, std::strlen(reason));
    (void)!write(2, "\n", 1);
    _exit(127);
}

// The child ends with the test process, even when that is killed.
void tieToParent(pid_t parent)
{
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        childFails("prctl(PR_SET_PDEATHSIG)");
    if (getppid() != parent)
        _exit(127);
}

QString findProgram(const QString& name)
{
    const QString inPath = QStandardPaths::findExecutable(name);
    if (!inPath.isEmpty())
        return inPath;
    return QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
}

std::string busConfig(const std::string& socket)
{
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>system</type>\n"
           "  <listen>unix:path=" +
           socket +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <allow own=\"*\"/>\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow receive_sender=\"*\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

// Nothing of the machine's own configuration, no changes to its DNS or host
// name, no profiles made up by NetworkManager, no polkit (the tests run as
// root anyway), no connectivity checks out of the namespace.
std::string nmConfig(const std::string& profiles)
{
    return "[main]\n"
           "plugins=keyfile\n"
           "auth-polkit=false\n"
           "dns=none\n"
           "rc-manager=unmanaged\n"
           "systemd-resolved=false\n"
           "hostname-mode=none\n"
           "no-auto-default=*\n"
           "dhcp=internal\n"
           "\n"
           "[keyfile]\n"
           "path=" +
           profiles +
           "\n"
           "\n"
           "[connectivity]\n"
           "enabled=false\n"
           "\n"
           "[logging]\n"
           "level=INFO\n"
           "backend=journal\n";
}

std::string nsOf(pid_t pid)
{
    char buf[64] = {};
    const std::string link = "/proc/" + std::to_string(pid) + "/ns/net";
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
}

} // namespace

RealNetworkManager::RealNetworkManager()
{
    static std::atomic<int> counter{0};
    qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
    if (const char* previous = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
        m_previousAddress = previous;
        m_hadPreviousAddress = true;
    }
    // NetworkManager gets a fresh /run: the folder must lie elsewhere.
    if (m_dir.path().rfind("/run/", 0) == 0) {
        m_error = "the temporary folder " + m_dir.path() + " lies below /run; set TMPDIR elsewhere";
        return;
    }
    for (const char* sub : {"profiles", "conf.d", "state", "empty"})
        QDir().mkpath(QString::fromStdString(m_dir.file(sub)));
    chmod(m_dir.file("profiles").c_str(), 0700);
    writeFile(m_dir.file("NetworkManager.conf"), nmConfig(m_dir.file("profiles")));
    m_connName = QStringLiteral("kivo95-real-nm-%1").arg(++counter);
    m_error = startBus();
    if (m_error.empty())
        m_error = startNamespace();
}

RealNetworkManager::~RealNetworkManager()
{
    stop(SIGTERM);
    if (::testing::Test::HasFailure() && QFile::exists(QString::fromStdString(m_dir.file("nm.log"))))
        std::fprintf(stderr, "---- the end of NetworkManager's log ----\n%s\n----\n", logTail().c_str());
    if (m_conn) {
        m_conn.reset();
        QDBusConnection::disconnectFromBus(m_connName);
    }
    endProcess(m_holder, false, SIGKILL);
    if (m_netns >= 0)
        close(m_netns);
    endProcess(m_bus, false, SIGTERM);
    if (m_hadPreviousAddress)
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_previousAddress.c_str(), 1);
    else
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

std::string RealNetworkManager::startBus()
{
    const QString daemon = findProgram("dbus-daemon");
    if (daemon.isEmpty())
        return "dbus-daemon is missing (package dbus)";
    const std::string socket = m_dir.file("system_bus_socket");
    writeFile(m_dir.file("bus.conf"), busConfig(socket));
    const pid_t parent = getpid();
    m_bus.setProgram(daemon);
    m_bus.setArguments(
        {"--config-file=" + QString::fromStdString(m_dir.file("bus.conf")), "--nofork", "--print-address"});
    m_bus.setChildProcessModifier([parent] { tieToParent(parent); });
    m_bus.start();
    if (!m_bus.waitForStarted(10000))
        return "cannot start dbus-daemon: " + m_bus.errorString().toStdString();
    // It prints the address once it accepts connections.
    while (!m_bus.canReadLine() && m_bus.waitForReadyRead(10000)) {
    }
    if (!m_bus.canReadLine())
        return "dbus-daemon printed no address: " + m_bus.readAllStandardError().toStdString();
    m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toLocal8Bit().constData(), 1);
    m_conn = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_connName));
    if (!m_conn->isConnected())
        return "cannot connect to the private bus: " + m_conn->lastError().message().toStdString();
    return {};
}

std::string RealNetworkManager::startNamespace()
{
    const QString sleep = findProgram("sleep");
    if (sleep.isEmpty())
        return "sleep is missing (package coreutils)";
    const pid_t parent = getpid();
    m_holder.setProgram(sleep);
    m_holder.setArguments({"infinity"});
    m_holder.setChildProcessModifier([parent] {
        tieToParent(parent);
        if (unshare(CLONE_NEWNET) != 0)
            childFails("unshare(CLONE_NEWNET)");
    });
    m_holder.start();
    if (!m_holder.waitForStarted(10000))
        return "cannot start the namespace's holder: " + m_holder.errorString().toStdString();
    const pid_t holder = static_cast<pid_t>(m_holder.processId());
    const std::string ns = nsOf(holder);
    if (m_holder.state() != QProcess::Running || ns.empty() || ns == nsOf(getpid())) {
        m_holder.waitForFinished(1000);
        return "cannot make a network namespace: " + m_holder.readAllStandardError().toStdString();
    }
    m_netns = open(("/proc/" + std::to_string(holder) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    if (m_netns < 0)
        return std::string("cannot open the network namespace: ") + std::strerror(errno);
    return {};
}

QDBusConnection& RealNetworkManager::bus()
{
    return *m_conn;
}

std::string RealNetworkManager::addProfile(const std::string& name, const std::string& keyfile)
{
    const std::string path = m_dir.file("profiles/" + name + ".nmconnection");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return "cannot write " + path + ": " + std::strerror(errno);
    const bool written = write(fd, keyfile.data(), keyfile.size()) == static_cast<ssize_t>(keyfile.size());
    close(fd);
    if (!written)
        return "cannot write " + path;
    if (!running())
        return {};
    const QDBusMessage r =
        call(kSettingsPath, kSettingsIface, "LoadConnections", {QStringList{QString::fromStdString(path)}});
    if (r.type() != QDBusMessage::ReplyMessage || !r.arguments().value(0).toBool())
        return "NetworkManager did not load " + path + ": " + r.errorMessage().toStdString();
    return {};
}

bool RealNetworkManager::running() const
{
    return m_nm.state() != QProcess::NotRunning;
}

std::string RealNetworkManager::start()
{
    if (!m_error.empty())
        return m_error;
    if (running())
        return "NetworkManager runs already";
    const QString program = findProgram("NetworkManager");
    if (program.isEmpty())
        return "NetworkManager is missing (package network-manager)";
    // Its compiled-in state folder is bound over with one of ours; it must
    // exist to be bound over (the package makes it).
    struct stat st;
    if (stat("/var/lib/NetworkManager", &st) != 0 || !S_ISDIR(st.st_mode))
        return "/var/lib/NetworkManager is missing (package network-manager)";

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", m_address);
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    env.insert("LANG", "C.UTF-8");
    m_nm.setProcessEnvironment(env);
    m_nm.setProgram(program);
    const QString dir = QString::fromStdString(m_dir.path());
    m_nm.setArguments({"--debug", "--config=" + dir + "/NetworkManager.conf",
                       "--config-dir=" + dir + "/conf.d", "--system-config-dir=" + dir + "/conf.d"});
    m_nm.setStandardInputFile(QProcess::nullDevice());
    m_nm.setStandardOutputFile(QString::fromStdString(m_dir.file("nm.log")), QIODevice::Append);
    m_nm.setStandardErrorFile(QString::fromStdString(m_dir.file("nm.log")), QIODevice::Append);

    const pid_t parent = getpid();
    const int netns = m_netns;
    // Copies made before the fork: the child only makes system calls.
    const std::string state = m_dir.file("state");
    const std::string empty = m_dir.file("empty");
    m_nm.setChildProcessModifier([parent, netns, state, empty] {
        tieToParent(parent);
        // One group, so that it ends with everything it started.
        if (setpgid(0, 0) != 0)
            childFails("setpgid");
        if (setns(netns, CLONE_NEWNET) != 0)
            childFails("setns(network namespace)");
        if (unshare(CLONE_NEWNS) != 0)
            childFails("unshare(CLONE_NEWNS)");
        // Nothing mounted from here on reaches the machine's mount table.
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            childFails("mount --make-rprivate /");
        if (mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0)
            childFails("mount tmpfs /run");
        if (mkdir("/run/NetworkManager", 0755) != 0)
            childFails("mkdir /run/NetworkManager");
        if (mount(state.c_str(), "/var/lib/NetworkManager", nullptr, MS_BIND, nullptr) != 0)
            childFails("mount --bind state /var/lib/NetworkManager");
        // The namespace's own interfaces; read-only, so NetworkManager takes
        // them as they are instead of waiting for udev to announce them.
        if (mount("sysfs", "/sys", "sysfs", MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
            childFails("mount sysfs /sys");
        // Profiles a distribution or an administrator put here are not
        // the test's.
        struct stat st;
        if (stat("/usr/lib/NetworkManager/system-connections", &st) == 0 &&
            mount(empty.c_str(), "/usr/lib/NetworkManager/system-connections", nullptr, MS_BIND, nullptr) !=
                0)
            childFails("mount --bind empty /usr/lib/NetworkManager/system-connections");
        // No word of the test reaches the machine's syslog.
        if (lstat("/dev/log", &st) == 0 && S_ISSOCK(st.st_mode) &&
            mount("/dev/null", "/dev/log", nullptr, MS_BIND, nullptr) != 0)
            childFails("mount --bind /dev/null /dev/log");
    });
    m_nm.start();
    if (!m_nm.waitForStarted(10000))
        return "cannot start NetworkManager: " + m_nm.errorString().toStdString();

    // Up once it owns its name and says it has finished starting.
    const auto startupDone = [&] {
        if (!running())
            return true;
        QDBusMessage has = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                          "org.freedesktop.DBus", "NameHasOwner");
        has << kService;
        const QDBusMessage owner = bus().call(has, QDBus::Block, kCallTimeoutMs);
        if (!owner.arguments().value(0).toBool())
            return false;
        const QDBusMessage r = call(kManagerPath, kPropsIface, "Get", {kManagerIface, "Startup"});
        return r.type() == QDBusMessage::ReplyMessage &&
               !r.arguments().value(0).value<QDBusVariant>().variant().toBool();
    };
    if (!waitUntil(startupDone, 60000) || !running())
        return "NetworkManager did not start up:\n" + logTail();
    return {};
}

void RealNetworkManager::stop(int sig)
{
    endProcess(m_nm, true, sig);
}

void RealNetworkManager::endProcess(QProcess& p, bool group, int sig)
{
    if (p.state() == QProcess::NotRunning)
        return;
    const pid_t pid = static_cast<pid_t>(p.processId());
    const auto signal = [&](int s) {
        if (group)
            kill(-pid, s);
        else
            kill(pid, s);
    };
    signal(sig);
    if (!p.waitForFinished(10000)) {
        signal(SIGKILL);
        p.waitForFinished(10000);
    } else if (group) {
        // Whatever it started and left behind in its group.
        kill(-pid, SIGKILL);
    }
}

std::string RealNetworkManager::ip(const QStringList& args)
{
    const QString program = findProgram("ip");
    if (program.isEmpty())
        return "ip is missing (package iproute2)";
    if (m_netns < 0)
        return "no network namespace: " + m_error;
    QProcess p;
    const pid_t parent = getpid();
    const int netns = m_netns;
    p.setProgram(program);
    p.setArguments(args);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setChildProcessModifier([parent, netns] {
        tieToParent(parent);
        if (setns(netns, CLONE_NEWNET) != 0)
            childFails("setns(network namespace)");
    });
    p.start();
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(5000);
        return "ip " + args.join(' ').toStdString() + " did not finish";
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return "ip " + args.join(' ').toStdString() + ": " + p.readAll().toStdString();
    return {};
}

RealNetworkManager::Result RealNetworkManager::nmcli(const QStringList& args)
{
    Result result;
    const QString program = findProgram("nmcli");
    if (program.isEmpty()) {
        result.output = "nmcli is missing (package network-manager)";
        return result;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", m_address);
    env.insert("LANG", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.setProgram(program);
    p.setArguments(args);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        result.output = "nmcli " + args.join(' ').toStdString() + " did not finish";
        return result;
    }
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.output = p.readAll().toStdString();
    return result;
}

QDBusMessage RealNetworkManager::call(const QString& path, const QString& iface, const QString& method,
                                      const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
    m.setAutoStartService(false);
    m.setArguments(args);
    return bus().call(m, QDBus::Block, kCallTimeoutMs);
}

std::vector<std::pair<QString, unsigned>> RealNetworkManager::active()
{
    std::vector<std::pair<QString, unsigned>> out;
    const QDBusMessage r = call(kManagerPath, kPropsIface, "Get", {kManagerIface, "ActiveConnections"});
    if (r.type() != QDBusMessage::ReplyMessage)
        return out;
    const QVariant paths = r.arguments().value(0).value<QDBusVariant>().variant();
    for (const QString& path : kivo::ras::nm::objectPaths(paths)) {
        const QDBusMessage a = call(path, kPropsIface, "GetAll", {kActiveIface});
        if (a.type() != QDBusMessage::ReplyMessage)
            continue; // gone meanwhile
        const QVariantMap props = qdbus_cast<QVariantMap>(a.arguments().value(0));
        out.emplace_back(props.value("Id").toString(), props.value("State").toUInt());
    }
    return out;
}

QStringList RealNetworkManager::activeIds()
{
    QStringList ids;
    for (const auto& [id, state] : active())
        ids << id;
    return ids;
}

bool RealNetworkManager::waitActivated(const QString& id, int timeoutMs)
{
    // NMActiveConnectionState 2: activated.
    return waitUntil(
        [&] {
            for (const auto& [name, state] : active())
                if (name == id && state == 2)
                    return true;
            return false;
        },
        timeoutMs);
}

bool RealNetworkManager::waitInactive(const QString& id, int timeoutMs)
{
    return waitUntil([&] { return !activeIds().contains(id); }, timeoutMs);
}

QStringList RealNetworkManager::profileIds()
{
    QStringList ids;
    const QDBusMessage r = call(kSettingsPath, kSettingsIface, "ListConnections");
    if (r.type() != QDBusMessage::ReplyMessage)
        return ids;
    for (const QString& path : kivo::ras::nm::objectPaths(r.arguments().value(0))) {
        const QDBusMessage s = call(path, kProfileIface, "GetSettings");
        if (s.type() != QDBusMessage::ReplyMessage)
            continue;
        const auto settings = qdbus_cast<QMap<QString, QVariantMap>>(s.arguments().value(0));
        ids << settings.value("connection").value("id").toString();
    }
    return ids;
}

std::string RealNetworkManager::logTail(int lines) const
{
    const QString all = QString::fromStdString(readFile(m_dir.file("nm.log")));
    QStringList l = all.split('\n');
    if (l.size() > lines)
        l = l.mid(l.size() - lines);
    return l.join('\n').toStdString();
}

} // namespace kivo::test
