// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// One wizard per user: the name is claimed once, later starts reach the
// holder, a socket left by a crash is taken over, and stray clients cannot
// make the wizard jump forward.
#include "wizard/SingleInstance.h"

#include "tests/support/testsupport.h"

#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

using kivo::SingleInstance;
using Role = kivo::SingleInstance::Role;
using kivo::test::TempDir;

namespace
{

QString socketIn(const TempDir& dir)
{
    return QString::fromStdString(dir.file("wizard"));
}

// What a wizard killed with SIGKILL leaves behind: a socket file nobody
// listens on.
void leaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    ASSERT_LT(size_t(p.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, p.constData(), p.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(path));
}

} // namespace

TEST(SingleInstance, SecondStartAsksTheFirstToComeForward)
{
    TempDir dir;
    SingleInstance first(socketIn(dir));
    QSignalSpy activations(&first, &SingleInstance::activationRequested);
    ASSERT_EQ(first.claim(), Role::Primary);
    EXPECT_TRUE(first.isListening());
    EXPECT_EQ(first.claim(), Role::Primary) << "claiming again keeps the name";

    SingleInstance second(socketIn(dir));
    EXPECT_EQ(second.claim(), Role::Secondary);
    EXPECT_FALSE(second.isListening());
    ASSERT_TRUE(activations.wait(5000));

    SingleInstance third(socketIn(dir));
    EXPECT_EQ(third.claim(), Role::Secondary);
    ASSERT_TRUE(kivo::test::waitUntil([&] { return activations.count() == 2; }));
}

TEST(SingleInstance, NameIsFreeAgainAfterTheWizardEnds)
{
    TempDir dir;
    {
        SingleInstance first(socketIn(dir));
        ASSERT_EQ(first.claim(), Role::Primary);
    }
    SingleInstance next(socketIn(dir));
    EXPECT_EQ(next.claim(), Role::Primary);
    EXPECT_TRUE(next.isListening());
}

TEST(SingleInstance, SocketLeftByACrashIsTakenOver)
{
    TempDir dir;
    leaveStaleSocket(socketIn(dir));

    SingleInstance wizard(socketIn(dir));
    QSignalSpy activations(&wizard, &SingleInstance::activationRequested);
    ASSERT_EQ(wizard.claim(), Role::Primary);
    ASSERT_TRUE(wizard.isListening());

    SingleInstance later(socketIn(dir));
    EXPECT_EQ(later.claim(), Role::Secondary);
    EXPECT_TRUE(activations.wait(5000));
}

TEST(SingleInstance, UnusableLocationStillStartsTheWizard)
{
    TempDir dir;
    SingleInstance wizard(QString::fromStdString(dir.file("missing/dir/wizard")));
    EXPECT_EQ(wizard.claim(), Role::Primary);
    EXPECT_FALSE(wizard.isListening());
}

TEST(SingleInstance, StrayClientsDoNotActivate)
{
    TempDir dir;
    SingleInstance wizard(socketIn(dir));
    QSignalSpy activations(&wizard, &SingleInstance::activationRequested);
    ASSERT_EQ(wizard.claim(), Role::Primary);

    QLocalSocket chatter;
    chatter.connectToServer(socketIn(dir));
    ASSERT_TRUE(chatter.waitForConnected(2000));
    chatter.write("activate now\nACTIVATE\n\n");
    // No line end, longer than any request: dropped, not buffered forever.
    chatter.write(QByteArray(70 * 1024, 'x'));
    chatter.flush();
    ASSERT_TRUE(kivo::test::waitUntil([&] { return chatter.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(activations.count(), 0);

    // The wizard still answers a real request afterwards.
    SingleInstance later(socketIn(dir));
    EXPECT_EQ(later.claim(), Role::Secondary);
    EXPECT_TRUE(activations.wait(5000));
    EXPECT_EQ(activations.count(), 1);
}

// Several wizards started at the same moment (a double click that landed
// twice): exactly one becomes the wizard, the rest reach it.
TEST(SingleInstance, SimultaneousStartsElectOneWizard)
{
    TempDir dir;
    const QString name = socketIn(dir);
    for (int round = 0; round < 20; ++round) {
        constexpr int kStarts = 4;
        std::atomic<int> primaries{0}, secondaries{0};
        std::latch ready(kStarts), allClaimed(kStarts);
        std::vector<std::thread> starts;
        for (int i = 0; i < kStarts; ++i) {
            starts.emplace_back([&] {
                // Each object lives and dies on its own thread.
                auto wizard = std::make_unique<SingleInstance>(name);
                ready.arrive_and_wait();
                (wizard->claim() == Role::Primary ? primaries : secondaries)++;
                allClaimed.arrive_and_wait();
            });
        }
        for (auto& t : starts)
            t.join();
        ASSERT_EQ(primaries.load(), 1) << "round " << round;
        ASSERT_EQ(secondaries.load(), kStarts - 1) << "round " << round;
    }
}

TEST(SingleInstance, DefaultNameIsInTheUsersRuntimeDirectory)
{
    // The test main points XDG_RUNTIME_DIR at a private directory.
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    ASSERT_FALSE(runtime.isEmpty());
    EXPECT_TRUE(SingleInstance::defaultName().startsWith(runtime + "/"));
}
