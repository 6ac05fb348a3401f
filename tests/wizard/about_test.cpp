#include "wizard/about.h"

#include "ui_about.h"

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
