// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Exceptions thrown by handlers end at the application object: one error
// box with the message, the handler is over, the program goes on.
#include "tests/wizard/frame_support.h"

#include "ui_Select.h"
#include "wizard/KivoApplication.h"

#include <QPushButton>
#include <QTest>

#include <stdexcept>

using kivo::test::WizardTest;

namespace
{

// The key store made unusable: its path names a directory.
struct BrokenStore {
    kivo::test::TempDir dir;
    BrokenStore() { setenv("KIVO95_REGISTRY", dir.path().c_str(), 1); }
};

} // namespace

TEST_F(WizardTest, HandlerExceptionShowsOneErrorBoxAndTheProgramGoesOn)
{
    QPushButton button;
    int clicks = 0;
    bool after = false;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++clicks;
        throw ERegFileError("Reg Error: 00000005");
        after = true; // never reached
    });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Reg Error: 00000005");
    EXPECT_EQ(boxes[0].caption, "KIVO95 Wizard");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONERROR);
    EXPECT_FALSE(after);

    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2) << "the button still works";
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(button.isDown()) << "the failed click left the button released";
}

TEST_F(WizardTest, ExceptionsWhileAnErrorBoxIsOpenShowNoSecondBox)
{
    // The box's own event loop runs further handlers; one of them fails too.
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, [] { throw std::runtime_error("first"); });
    int shown = 0;
    kivo::sys::setMessageBoxHook([&](const kivo::sys::MessageBoxRequest& r) {
        ++shown;
        boxes.push_back(r);
        QMetaObject::invokeMethod(
            &button, [] { throw std::runtime_error("second"); }, Qt::QueuedConnection);
        QCoreApplication::processEvents();
        return IDOK;
    });
    button.show();
    const int droppedBefore = KivoApplication::droppedReports();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(shown, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "first");
    EXPECT_EQ(KivoApplication::droppedReports(), droppedBefore + 1);

    // Once the box is gone, the next failure is reported again.
    kivo::sys::setMessageBoxHook([&](const kivo::sys::MessageBoxRequest& r) {
        boxes.push_back(r);
        return IDOK;
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(WizardTest, RegistryFailureInAPageChangeEndsOnlyThatHandler)
{
    installed();
    TfrmSelect& f = create();
    f.show();
    BrokenStore broken;
    // A click arrives as an event, as every handler in the program is reached.
    QTest::mouseClick(f.ui->btnNext, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "KIVO95 Wizard");
    EXPECT_NE(boxes[0].text.find("Reg Error"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(f.PageIndex(), 1) << "the page had changed before the handler failed";
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Entry Selection (1 of 3)");
    EXPECT_TRUE(f.isVisible());
    QTest::mouseClick(f.ui->btnClose, Qt::LeftButton);
    EXPECT_FALSE(f.isVisible()) << "the window still answers";
}

TEST_F(WizardTest, RegistryFailureInTheCreationHandlerIsReportedAndTheWindowStillShows)
{
    BrokenStore broken;
    form = std::make_unique<TfrmSelect>();
    EXPECT_FALSE(KivoApplication::guard([&] { form->FormCreate(form.get()); }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "KIVO95 Wizard");
    EXPECT_FALSE(form->Terminated()) << "only the installation error ends the program";
    EXPECT_EQ(form->PageIndex(), 1) << "the rest of the handler was skipped";
    form->show();
    EXPECT_TRUE(form->isVisible());
    SelectedEntries.Add("x");
    EXPECT_NO_THROW(form->setPageIndex(3)) << "program-wide state exists although start-up failed";
}

TEST_F(WizardTest, HandlersAreGuardedWhereTheyAreWired)
{
    // A click made in code, with no event around it: the handler's exception
    // still ends at the handler and never reaches the caller.
    installed();
    TfrmSelect& f = create();
    BrokenStore broken;
    EXPECT_NO_THROW(f.ui->btnNext->click());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("Reg Error"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(f.PageIndex(), 1);
}

TEST_F(WizardTest, PageChangeFailureReachesTheCodeThatChangedThePage)
{
    installed();
    TfrmSelect& f = create();
    BrokenStore broken;
    EXPECT_THROW(f.setPageIndex(1), ERegFileError) << "as a handler that changes the page must end too";
    EXPECT_TRUE(boxes.empty());
}
