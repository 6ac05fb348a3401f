// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The welcome page's ShowWelcome box, the tune page's Tune and the about box,
// on the real wizard window.
#include "tests/wizard/frame_support.h"

#include "components/RndSpeed.h"
#include "ui_Select.h"
#include "platform/ras/ras.h"
#include "wizard/about.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

using kivo::test::WizardTest;

namespace
{

void key(QWidget* w, QEvent::Type type, int k)
{
    QKeyEvent e(type, k, Qt::NoModifier, k == Qt::Key_Space ? " " : "");
    QApplication::sendEvent(w, &e);
}

struct WelcomeTuneTest : WizardTest {
    std::vector<kivo::sys::OpenFileRequest> opened;
    std::string chosen; // what the file dialog answers; empty is Cancel

    void SetUp() override
    {
        WizardTest::SetUp();
        kivo::sys::setOpenFileHook([this](const kivo::sys::OpenFileRequest& r) {
            opened.push_back(r);
            return chosen;
        });
    }
    void TearDown() override
    {
        kivo::sys::setOpenFileHook(nullptr);
        WizardTest::TearDown();
    }
    int showWelcome() { return readSetting(kivo::reg::ShowWelcome).toInt(); }
    std::string tune() { return readSetting(kivo::reg::Tune).toString(); }
};

} // namespace

TEST_F(WelcomeTuneTest, ClearingTheWelcomeBoxStoresItAtOnceAndTheNextStartSkipsThePage)
{
    installed(1);
    TfrmSelect& f = create();
    ASSERT_EQ(f.PageIndex(), 0);
    ASSERT_TRUE(f.ui->cbShowWelcome->isChecked());

    QTest::mouseClick(f.ui->cbShowWelcome, Qt::LeftButton);
    EXPECT_EQ(showWelcome(), 0);
    QTest::mouseClick(f.ui->cbShowWelcome, Qt::LeftButton);
    EXPECT_EQ(showWelcome(), 1);
    QTest::mouseClick(f.ui->cbShowWelcome, Qt::LeftButton);
    EXPECT_EQ(showWelcome(), 0);

    form.reset();
    TfrmSelect& again = create();
    EXPECT_EQ(again.PageIndex(), 1);
    EXPECT_FALSE(again.ui->btnPrev->isEnabled());
}

TEST_F(WelcomeTuneTest, KeyPressWritesTheStateBeforeTheSpaceBarTogglesIt)
{
    installed(1);
    TfrmSelect& f = create();
    QCheckBox* box = f.ui->cbShowWelcome;

    writeSetting(kivo::reg::ShowWelcome, Variant(std::int32_t(7)));
    key(box, QEvent::KeyPress, Qt::Key_Space);
    EXPECT_EQ(showWelcome(), 1); // still checked at the press
    key(box, QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(showWelcome(), 0); // then the toggle's own write

    // Tab rewrites the current state and changes nothing.
    writeSetting(kivo::reg::ShowWelcome, Variant(std::int32_t(7)));
    key(box, QEvent::KeyPress, Qt::Key_Tab);
    EXPECT_EQ(showWelcome(), 0);
    EXPECT_FALSE(box->isChecked());
}

TEST_F(WelcomeTuneTest, BrowseStoresTheChosenFileAndReopensWithIt)
{
    installed(1);
    TfrmSelect& f = create();
    f.setPageIndex(2);
    chosen = "/home/user/sounds/ring.wav";
    f.ui->btnBrowse->click();

    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].filter, "Wave files (*.wav)|*.wav");
    EXPECT_EQ(opened[0].defaultExt, "wav");
    EXPECT_TRUE(opened[0].pathMustExist);
    EXPECT_TRUE(opened[0].fileMustExist);
    EXPECT_EQ(opened[0].initialFile, "");
    EXPECT_EQ(opened[0].owner, &f);
    EXPECT_EQ(f.ui->edTune->text().toStdString(), chosen);
    EXPECT_EQ(tune(), chosen);

    // Cancel changes nothing, and the dialog opens with the last name.
    chosen.clear();
    f.ui->btnBrowse->click();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].initialFile, "/home/user/sounds/ring.wav");
    EXPECT_EQ(f.ui->edTune->text().toStdString(), "/home/user/sounds/ring.wav");
    EXPECT_EQ(tune(), "/home/user/sounds/ring.wav");

    // The page shows the stored tune whenever it is entered.
    f.ui->edTune->setText("unsaved");
    f.setPageIndex(1);
    f.setPageIndex(2);
    EXPECT_EQ(f.ui->edTune->text().toStdString(), "/home/user/sounds/ring.wav");
}

TEST_F(WelcomeTuneTest, TypingThenLeavingTheBoxStoresTheTextEvenEmpty)
{
    installed(1);
    TfrmSelect& f = create();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.setPageIndex(2);
    QLineEdit* ed = f.ui->edTune;
    ed->setFocus();
    ASSERT_TRUE(kivo::test::waitUntil([&] { return ed->hasFocus(); }));
    QTest::keyClicks(ed, "/no/such/file.wav");
    EXPECT_EQ(tune(), ""); // nothing until the focus leaves
    f.ui->btnNext->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(tune(), "/no/such/file.wav");

    ed->setFocus();
    ASSERT_TRUE(kivo::test::waitUntil([&] { return ed->hasFocus(); }));
    ed->clear();
    f.ui->btnBrowse->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(readSetting(kivo::reg::Tune).VType(), varString);
    EXPECT_EQ(tune(), "");
}

TEST_F(WelcomeTuneTest, AnotherWindowTakingTheFocusIsNotLeavingTheBox)
{
    installed(1);
    TfrmSelect& f = create();
    f.setPageIndex(2);
    f.ui->edTune->setText("typed");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(f.ui->edTune, &away);
    EXPECT_EQ(tune(), "");
    QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(f.ui->edTune, &tab);
    EXPECT_EQ(tune(), "typed");
}

TEST_F(WelcomeTuneTest, RoundAboutButtonOpensTheBoxOwnedByTheWindowAndFreesIt)
{
    installed(1);
    TfrmSelect& f = create();
    TRndSpeedButton* about = f.ui->rdbAbout;
    EXPECT_EQ(about->geometry(), QRect(136, 20, 25, 25));
    EXPECT_EQ(about->toolTip(), "About...");
    EXPECT_EQ(about->Glyph().size(), QSize(25, 25));

    QPointer<TAboutBox> seen;
    QWidget* owner = nullptr;
    bool wasGlobal = false;
    QString backendLine;
    QTimer::singleShot(0, [&] {
        seen = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(seen);
        owner = seen->parentWidget();
        wasGlobal = AboutBox == seen;
        for (QLabel* l : seen->findChildren<QLabel*>())
            if (l->isVisibleTo(seen) && l->text().startsWith("Dial service: "))
                backendLine = l->text();
        QTest::keyClick(seen, Qt::Key_Return);
    });
    QTest::mousePress(about, Qt::LeftButton, {}, QPoint(12, 12));
    QTest::mouseRelease(about, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(owner, &f);
    EXPECT_TRUE(wasGlobal);
    EXPECT_EQ(backendLine, TfrmSelect::DialServiceText(kivo::ras::backendName()))
        << "the about box says which dial service is in use";
    EXPECT_TRUE(seen.isNull()); // freed when it closed
    EXPECT_EQ(AboutBox, nullptr);
    EXPECT_EQ(f.PageIndex(), 0); // the window is as it was
}
