// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wizard frame: start-up, the installation file, page layout and
// navigation, closing.
#include "tests/wizard/frame_support.h"

#include "components/Rascomp32.h"
#include "platform/desktop/dialup_caption.h"
#include "ui_Select.h"

#include <QFile>
#include <QSignalSpy>
#include <QTimer>

#include <filesystem>

using kivo::test::Lefts;
using kivo::test::leftsOf;
using kivo::test::WizardTest;
using kivo::test::writeFile;

namespace
{

std::vector<std::string> itemsOf(QListWidget* list)
{
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i)
        items.push_back(list->item(i)->text().toStdString());
    return items;
}

} // namespace

// ---- start-up ------------------------------------------------------------------

TEST_F(WizardTest, FirstStartTakesTheCaptionFromTheInstallationFileAndShowsTheWelcomePage)
{
    writeFile(cwd.file("kivoinfo.pdt"), "My Terminal\r\nsecond line\n");
    TfrmSelect& f = create("/nonexistent/initkivo");
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(f.Terminated());
    EXPECT_EQ(readSetting("PDTCaption").toString(), "My Terminal");
    EXPECT_EQ(f.PDTCaptionText, "My Terminal");
    EXPECT_EQ(readSetting("Tune").VType(), varString);
    EXPECT_EQ(readSetting("Tune").toString(), "");
    EXPECT_EQ(readSetting("ShowWelcome").VType(), varInteger);
    EXPECT_EQ(readSetting("ShowWelcome").toInt(), 1);

    EXPECT_EQ(f.PageIndex(), 0);
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Welcome (0 of 3)");
    EXPECT_FALSE(f.ui->btnPrev->isEnabled());
    EXPECT_TRUE(f.ui->btnNext->isEnabled());
    EXPECT_EQ(f.ui->nbWizImg->currentIndex(), 0);
    EXPECT_EQ(f.Width(), 467);
    EXPECT_EQ(f.Height(), 322);
    EXPECT_FALSE(StopDialing) << "start-up ends with the flags cleared";
    EXPECT_FALSE(SkipEntry);
    EXPECT_TRUE(SelectedEntries.empty());
    EXPECT_FALSE(f.isVisible()) << "the creation handler does not show the window";
}

TEST_F(WizardTest, ShowWelcomeOtherThanOneStartsOnTheSelectionPage)
{
    for (int value : {0, 2}) {
        installed(value);
        TfrmSelect& f = create();
        EXPECT_EQ(f.PageIndex(), 1) << value;
        EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Entry Selection (1 of 3)");
        EXPECT_FALSE(f.ui->btnPrev->isEnabled()) << "the welcome page cannot be reached";
        EXPECT_TRUE(f.ui->btnNext->isEnabled());
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(readSetting("ShowWelcome").toInt(), value) << "an existing setting is kept";
    }
}

TEST_F(WizardTest, ExistingSettingsAreKeptAndTheInstallationFileIsLeftAlone)
{
    writeSetting("PDTCaption", Variant("Existing"));
    writeSetting("Tune", Variant("/sounds/ring.wav"));
    // Unreadable if it were opened: a directory in its place.
    std::filesystem::create_directory(cwd.file("kivoinfo.pdt"));
    TfrmSelect& f = create("/nonexistent/initkivo");
    EXPECT_TRUE(boxes.empty()) << "the file is not opened when PDTCaption exists";
    EXPECT_EQ(f.PDTCaptionText, "Existing");
    EXPECT_EQ(readSetting("Tune").toString(), "/sounds/ring.wav");
    EXPECT_EQ(readSetting("ShowWelcome").toInt(), 1);
}

TEST_F(WizardTest, EmptyInstallationFileGivesAnEmptyCaption)
{
    writeFile(cwd.file("kivoinfo.pdt"), "");
    TfrmSelect& f = create("/nonexistent/initkivo");
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(settingExists("PDTCaption"));
    EXPECT_EQ(readSetting("PDTCaption").toString(), "");
    EXPECT_EQ(f.PDTCaptionText, "");
}

TEST_F(WizardTest, InstallationFileWithoutLineEndsIsReadOnlyInPart)
{
    writeFile(cwd.file("kivoinfo.pdt"), std::string(1 << 20, 'x'));
    TfrmSelect& f = create("/nonexistent/initkivo");
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(f.PDTCaptionText.empty());
    EXPECT_LE(f.PDTCaptionText.size(), 4096u);
    EXPECT_EQ(f.PDTCaptionText.find_first_not_of('x'), std::string::npos);
}

TEST_F(WizardTest, MissingFileAndInstallerEndTheProgramWithTheInstallationError)
{
    TfrmSelect& f = create(cwd.file("no-initkivo"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "KIVO95 must be reinstalled. Closing...");
    EXPECT_EQ(boxes[0].caption, "Error in installation");
    EXPECT_EQ(boxes[0].type, MB_OK);
    EXPECT_EQ(boxes[0].owner, nullptr) << "no owner window: the wizard is not shown";
    EXPECT_TRUE(f.Terminated());
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(settingExists("PDTCaption"));
    EXPECT_FALSE(settingExists("Tune")) << "start-up ends at once";
}

TEST_F(WizardTest, MissingFileIsWrittenByTheInstaller)
{
    TfrmSelect& f = create(KIVO_BIN_DIR "/initkivo");
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(f.Terminated());
    EXPECT_EQ(f.PDTCaptionText, kivo::dialup::kPostDialCaption);
    EXPECT_EQ(readSetting("PDTCaption").toString(), kivo::dialup::kPostDialCaption);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(cwd.file("kivoinfo.pdt"))));
    EXPECT_EQ(f.PageIndex(), 0);
}

TEST_F(WizardTest, InstallerInAFolderOfAnyNameIsStarted)
{
    // Blanks, double quotes, backslashes before a quote and at the end:
    // whatever the folder is called, the installer is started from it.
    for (const char* name : {"KIVO95 Wizard", "the \"dial\" tools", "odd\\\"name \\", "a\\"}) {
        std::filesystem::remove(cwd.file("kivoinfo.pdt"));
        kivo::test::TempRegistry fresh;
        kivo::test::TempDir programDir;
        const std::string dir = programDir.file(name);
        ASSERT_TRUE(std::filesystem::create_directory(dir)) << name;
        std::filesystem::copy_file(KIVO_BIN_DIR "/initkivo", dir + "/initkivo");
        boxes.clear();
        TfrmSelect& f = create(dir + "/initkivo");
        EXPECT_TRUE(boxes.empty()) << name;
        EXPECT_FALSE(f.Terminated()) << name;
        EXPECT_EQ(f.PDTCaptionText, kivo::dialup::kPostDialCaption) << name;
    }
}

TEST_F(WizardTest, InstallerThatWritesNoFileGivesTheInstallationErrorInsteadOfWaitingForever)
{
    TfrmSelect& f = create("/bin/true");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error in installation");
    EXPECT_TRUE(f.Terminated());
    EXPECT_FALSE(settingExists("PDTCaption"));
}

TEST_F(WizardTest, InstallerThatDoesNotEndWithinTheBoundGivesTheInstallationError)
{
    form = std::make_unique<TfrmSelect>();
    writeFile(cwd.file("hang"), "#!/bin/sh\nexec sleep 600\n");
    std::filesystem::permissions(cwd.file("hang"), std::filesystem::perms::owner_all);
    form->InstallerPath = cwd.file("hang");
    form->InstallerTimeoutMs = 100;
    form->FormCreate(form.get());
    const long pid = kivo::sys::lastWinExecPid();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error in installation");
    EXPECT_TRUE(form->Terminated());
    ::kill(static_cast<pid_t>(pid), SIGTERM);
}

TEST_F(WizardTest, ConnectedCaptionFormatComesFromTheShippedStringTable)
{
    installed();
    create();
    EXPECT_STREQ(ConnectedCaptionFormat, "Connected to %s");
}

TEST_F(WizardTest, StartUpAsksTheDialerForThePhonebook)
{
    setenv("KIVO95_RAS", "sim", 1);
    const std::string dir = std::string(std::getenv("XDG_CONFIG_HOME")) + "/kivo95";
    std::filesystem::create_directories(dir);
    writeFile(dir + "/phonebook.pbk", "[Office]\n[Backup]\n");
    installed();
    TfrmSelect& f = create();
    EXPECT_EQ(f.RAS->RedialAttempts(), 0);
    QStringList entries = f.RAS->PhoneBookEntries();
    entries.sort();
    EXPECT_EQ(entries, (QStringList{"Backup", "Office"}));
    EXPECT_TRUE(boxes.empty());
}

// ---- page layout -------------------------------------------------------------

TEST_F(WizardTest, FrameAreasFollowFromTheOuterSize)
{
    installed();
    TfrmSelect& f = create();
    f.show();
    ASSERT_TRUE(kivo::test::waitUntil([&] { return f.ui->Notebook1->width() == 330; }));
    EXPECT_EQ(f.size(), QSize(459, 295)) << "client area = outer size less the Windows 95 frame";
    EXPECT_EQ(f.ui->pnlBorder->geometry(), QRect(0, 0, 129, 240));
    EXPECT_EQ(f.ui->nbWizImg->size(), QSize(107, 218));
    EXPECT_EQ(f.ui->Notebook1->geometry(), QRect(129, 0, 330, 240));
    EXPECT_EQ(f.ui->pnlButtons->geometry(), QRect(0, 240, 459, 55));
    EXPECT_EQ(f.ui->Bevel1->geometry(), QRect(8, 8, 447, 17));
    EXPECT_EQ(leftsOf(f), (Lefts{136, 212, 289, 380}));
    EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "not resizable";
}

TEST_F(WizardTest, InfoPageShrinksTheWindowAndOtherPagesRestoreIt)
{
    installed();
    TfrmSelect& f = create();
    f.setPageIndex(4);
    EXPECT_EQ(f.ui->nbWizImg->currentIndex(), 1) << "the finished picture while dialing";
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Dialing");
    EXPECT_FALSE(f.ui->btnPrev->isEnabled());
    EXPECT_FALSE(f.ui->btnNext->isEnabled());

    f.setPageIndex(5);
    EXPECT_EQ(f.Width(), 338);
    EXPECT_EQ(f.Height(), 161);
    EXPECT_EQ(f.ui->Bevel1->width(), 318);
    EXPECT_EQ(leftsOf(f), (Lefts{7, 83, 160, 251}));
    EXPECT_TRUE(f.ui->pnlBorder->isHidden());
    EXPECT_TRUE(f.ui->btnPrev->isHidden());
    EXPECT_TRUE(f.ui->btnNext->isHidden());
    EXPECT_FALSE(f.ui->btnClose->isHidden());
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Info");

    for (int page : {0, 1, 2, 3, 4}) {
        f.setPageIndex(5);
        f.setPageIndex(page);
        EXPECT_EQ(f.Width(), 467) << page;
        EXPECT_EQ(f.Height(), 322) << page;
        EXPECT_EQ(f.ui->Bevel1->width(), 447) << page;
        EXPECT_EQ(leftsOf(f), (Lefts{136, 212, 289, 380})) << page;
        EXPECT_FALSE(f.ui->pnlBorder->isHidden()) << page;
        EXPECT_EQ(f.ui->nbWizImg->currentIndex(), page == 4 ? 1 : 0) << page;
    }
}

TEST_F(WizardTest, EveryPageChangeStopsDialingAndOthersDoNothing)
{
    installed();
    TfrmSelect& f = create();
    EXPECT_FALSE(StopDialing);
    f.setPageIndex(0); // the current page
    f.setPageIndex(6);
    f.setPageIndex(-1);
    EXPECT_FALSE(StopDialing) << "no change, no handler";
    EXPECT_EQ(f.PageIndex(), 0);
    f.setPageIndex(2);
    EXPECT_TRUE(StopDialing);
}

// ---- navigation ----------------------------------------------------------------

TEST_F(WizardTest, NextWithoutSelectionBeepsAndStays)
{
    installed();
    TfrmSelect& f = create();
    f.ui->btnNext->click();
    ASSERT_EQ(f.PageIndex(), 1);
    EXPECT_TRUE(f.ui->btnPrev->isEnabled()) << "ShowWelcome 1: the welcome page is one step back";
    EXPECT_TRUE(beeps.empty());
    EXPECT_TRUE(boxes.empty());

    f.ui->btnNext->click();
    EXPECT_EQ(f.PageIndex(), 1);
    EXPECT_EQ(beeps, std::vector<UINT>{MB_ICONASTERISK});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "At least one entry must be selected!");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONERROR);
    EXPECT_EQ(boxes[0].owner, &f);

    SelectedEntries.Add("Office");
    f.ui->btnNext->click();
    EXPECT_EQ(f.PageIndex(), 2);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(WizardTest, WalkingThroughThePagesSetsTitlesAndButtons)
{
    installed();
    writeSetting("Tune", Variant("/sounds/ring.wav"));
    TfrmSelect& f = create();
    SelectedEntries.Add("Office");
    f.ui->btnNext->click();
    f.ui->btnNext->click();
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Tune (2 of 3)");
    EXPECT_EQ(f.ui->edTune->text(), "/sounds/ring.wav");
    EXPECT_TRUE(f.ui->btnPrev->isEnabled());
    EXPECT_TRUE(f.ui->btnNext->isEnabled());
    f.ui->btnNext->click();
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Confirmation (3 of 3)");
    EXPECT_TRUE(f.ui->btnPrev->isEnabled());
    EXPECT_TRUE(f.ui->btnNext->isEnabled());

    f.ui->btnPrev->click();
    EXPECT_EQ(f.PageIndex(), 2);
    f.ui->btnPrev->click();
    f.ui->btnPrev->click();
    EXPECT_EQ(f.PageIndex(), 0);
    EXPECT_FALSE(f.ui->btnPrev->isEnabled());
    f.btnPrevClick(f.ui->btnPrev);
    EXPECT_EQ(f.PageIndex(), 0) << "nothing before the first page";

    f.setPageIndex(3);
    // The dial queue runs until it is stopped: Abort from inside it.
    int dialingPage = -1;
    QTimer::singleShot(0, &f, [&] {
        dialingPage = f.PageIndex();
        f.ui->btnAbort->click();
    });
    f.ui->btnNext->click();
    EXPECT_EQ(dialingPage, 4) << "Next on the confirmation page enters the dialing page";
}

TEST_F(WizardTest, SelectionPageBackFollowsTheSettingEachTime)
{
    installed(1);
    TfrmSelect& f = create();
    f.setPageIndex(1);
    EXPECT_TRUE(f.ui->btnPrev->isEnabled());
    writeSetting("ShowWelcome", Variant(std::int32_t(0)));
    f.setPageIndex(2);
    f.setPageIndex(1);
    EXPECT_FALSE(f.ui->btnPrev->isEnabled());
}

TEST_F(WizardTest, ConfirmationPageListsTheSelectionAlphabeticallyOnce)
{
    installed();
    TfrmSelect& f = create();
    for (const char* name : {"Provider", "backup", "Office", "PROVIDER"})
        SelectedEntries.Add(name);
    f.setPageIndex(3);
    EXPECT_EQ(itemsOf(f.ui->lbEntries), (std::vector<std::string>{"backup", "Office", "Provider"}));

    SelectedEntries.Remove("office");
    f.setPageIndex(2);
    f.setPageIndex(3);
    EXPECT_EQ(itemsOf(f.ui->lbEntries), (std::vector<std::string>{"backup", "Provider"}))
        << "the list is replaced on every visit";
}

TEST_F(WizardTest, TheSelectionPageTakesTheFocusOnlyWhenShown)
{
    installed();
    TfrmSelect& f = create();
    f.show();
    f.activateWindow();
    ASSERT_TRUE(kivo::test::waitUntil([&] { return f.isActiveWindow(); }));
    f.ui->btnNext->click();
    EXPECT_TRUE(f.ui->ConList->hasFocus());
}

// ---- closing --------------------------------------------------------------------

TEST_F(WizardTest, CloseButtonStopsDialingAndClosesTheWindow)
{
    installed();
    TfrmSelect& f = create();
    f.show();
    QSignalSpy closed(&f, &TfrmSelect::closed);
    StopDialing = false;
    f.ui->btnClose->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(StopDialing);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(WizardTest, ClosingByTheTitleBarStopsDialingAndHangsUp)
{
    installed();
    TfrmSelect& f = create();
    f.show();
    QSignalSpy closed(&f, &TfrmSelect::closed);
    int hangUps = 0;
    f.RAS->OnDisconnect = [&](QObject*, std::int32_t, const QString&) { ++hangUps; };
    StopDialing = false;
    EXPECT_TRUE(f.close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(StopDialing);
    EXPECT_EQ(hangUps, 1) << "the dialer's Disconnect runs on every close";
}
