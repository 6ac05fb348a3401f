// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/about.h"

#include "platform/system/i18n.h"
#include "tests/wizard/layout_support.h"
#include "ui_about.h"
#include "wizard/Select.h"

#include <QGuiApplication>
#include <QScreen>

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TEST(AboutBox, ShowsNameAndVersionAndClosesWithOk)
{
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.size(), QSize(345, 247));
    EXPECT_EQ(box.ui->ProductName->text(), "Kivo Wizard for Windows 95");
    EXPECT_EQ(box.ui->Version->text(), "Version 1.0.0");
    EXPECT_TRUE(box.ui->Comments->text().contains("GPL-3.0-or-later"))
        << box.ui->Comments->text().toStdString();
    EXPECT_TRUE(box.ui->Copyright->text().contains("KIVO95 Wizard developers"));
    EXPECT_FALSE(box.ui->ProgramIcon->pixmap().isNull());
    QTimer::singleShot(0, [&] { QTest::mouseClick(box.ui->OKButton, Qt::LeftButton); });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
}

TEST(AboutBox, EnterPressesTheDefaultOk)
{
    TAboutBox box;
    EXPECT_TRUE(box.ui->OKButton->isDefault());
    QTimer::singleShot(0, [&] { QTest::keyClick(&box, Qt::Key_Return); });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
}

TEST(AboutBox, BackendLineShowsOnlyWithText)
{
    TAboutBox box;
    box.show();
    EXPECT_FALSE(box.ui->lblBackend->isVisible());
    box.setBackendInfo("Dial-up: simulated phonebook");
    EXPECT_TRUE(box.ui->lblBackend->isVisible());
    box.setBackendInfo("");
    EXPECT_FALSE(box.ui->lblBackend->isVisible());
}

TEST(AboutBox, GlobalReferenceIsClearedWhenTheBoxGoes)
{
    {
        TAboutBox box;
        AboutBox = &box;
    }
    EXPECT_EQ(AboutBox, nullptr);
}

TEST(AboutBox, TheDialServiceLineIsInPlainWordsAndNothingIsCutOff)
{
    // In English and in the German translation.
    for (const char* language : {"en", "de"}) {
        if (std::string(language) == "de") {
            ASSERT_EQ(kivo::i18n::InstallTranslators({"de"}), "de");
        }
        for (const char* service : {"sim", "pppd", "nm"}) {
            TAboutBox box;
            const QString line = TfrmSelect::DialServiceText(service);
            box.setBackendInfo(line);
            box.show();
            const std::string what = std::string(language) + " " + service + ": " + line.toStdString();
            // How the service is chosen belongs in the manual page.
            EXPECT_FALSE(line.contains("KIVO95")) << what;
            EXPECT_FALSE(line.contains('=')) << what;
            EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(box.ui->Panel1)), "") << what;
            EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(&box)), "") << what;
            EXPECT_TRUE(box.ui->Panel1->contentsRect().contains(box.ui->lblBackend->geometry()));
        }
    }
    kivo::i18n::RemoveTranslators();
    EXPECT_TRUE(TfrmSelect::DialServiceText("sim").startsWith("Dial service: "));
    EXPECT_NE(TfrmSelect::DialServiceText("nm"), TfrmSelect::DialServiceText("pppd"));
    EXPECT_NE(TfrmSelect::DialServiceText("sim"), TfrmSelect::DialServiceText("pppd"));
}

TEST(AboutBox, OpensCentredOnTheScreenNotOverItsOwner)
{
    QWidget owner;
    owner.setGeometry(10, 10, 200, 100);
    owner.show();
    TAboutBox box(&owner);
    box.show();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // The outer rectangle: before the desktop frames the box, the frame of
    // a Windows 95 dialog stands in for its own.
    const QRect outer(box.pos(), box.frameGeometry().size() == box.size()
                                     ? box.size() + QSize(kivo::kNominalFrameWidth, kivo::kNominalFrameHeight)
                                     : box.frameGeometry().size());
    EXPECT_LE(std::abs(outer.center().x() - area.center().x()), 1) << outer.x();
    EXPECT_LE(std::abs(outer.center().y() - area.center().y()), 1) << outer.y();
}
