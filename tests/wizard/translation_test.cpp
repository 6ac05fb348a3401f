// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The wizard in German: the program's translator and Qt's installed as the
// program installs them, then the window, its buttons, its boxes and the
// system's texts read as a German user sees them.
#include "platform/ras/ras.h"
#include "platform/system/i18n.h"
#include "tests/wizard/frame_support.h"
#include "wizard/about.h"

#include "ui_about.h"

#include <QMessageBox>
#include <QPushButton>

namespace
{

class GermanWizardTest : public kivo::test::WizardTest
{
  protected:
    void TearDown() override
    {
        WizardTest::TearDown();
        kivo::i18n::RemoveTranslators();
    }
};

} // namespace

TEST(Language, FirstTranslatedLanguageOfTheUsersListWinsUnlessEnglishComesFirst)
{
    using kivo::i18n::ChooseLanguage;
    EXPECT_TRUE(kivo::i18n::AvailableLanguages().contains("de"));
    EXPECT_EQ(ChooseLanguage({"de", "de-Latn-DE", "de-DE"}), "de");  // LANGUAGE=de
    EXPECT_EQ(ChooseLanguage({"de-AT", "de-Latn-AT"}), "de");        // LANG=de_AT.UTF-8
    EXPECT_EQ(ChooseLanguage({"fr", "fr-FR", "de", "de-DE"}), "de"); // LANGUAGE=fr:de
    EXPECT_EQ(ChooseLanguage({"en", "en-US", "de", "de-DE"}), "");   // LANGUAGE=en:de
    EXPECT_EQ(ChooseLanguage({"C"}), "");
    EXPECT_EQ(ChooseLanguage({"fr-FR", "fr"}), "");
    EXPECT_EQ(ChooseLanguage({}), "");
}

TEST_F(GermanWizardTest, TitlesButtonsBoxesAndSystemTextsAreGerman)
{
    ASSERT_EQ(kivo::i18n::InstallTranslators({"de-DE", "de-Latn-DE", "de"}), "de");
    EXPECT_EQ(kivo::i18n::Language(), "de");
    installed();
    TfrmSelect& f = create();

    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Willkommen (0 von 3)");
    EXPECT_EQ(f.ui->btnNext->text(), "Weiter >");
    EXPECT_EQ(f.ui->btnPrev->text(), "< Zurück");
    EXPECT_EQ(f.ui->btnClose->text(), "Schließen");
    EXPECT_EQ(f.ui->Label8->text(), "Willkommen bei KIVO95!");
    EXPECT_TRUE(f.ui->Memo1->toPlainText().startsWith("Dieses Programm ergänzt"));

    f.ui->btnNext->click();
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Auswahl der Einträge (1 von 3)");
    f.ui->btnNext->click(); // nothing selected
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Es muss mindestens ein Eintrag markiert sein!");
    EXPECT_EQ(boxes[0].caption, "Fehler");

    TAboutBox about(&f);
    EXPECT_EQ(about.windowTitle(), "Info");
    EXPECT_TRUE(about.ui->Comments->text().contains("Version 3 oder neuer (GPL-3.0-or-later)"));

    // Qt's own buttons, from Debian's Qt translations.
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "&Ja");
    EXPECT_EQ(box.button(QMessageBox::No)->text(), "&Nein");

    // The system's texts: a RAS error and the "connected" window's caption
    // from the dial-up program's German string table.
    char text[257] = {};
    ASSERT_EQ(RasGetErrorStringA(ERROR_LINE_BUSY, text, 256), 0u);
    EXPECT_STREQ(text, "Die Leitung ist besetzt.");
    HMODULE rnaapp = LoadLibraryA("rnaapp.exe");
    ASSERT_NE(rnaapp, nullptr);
    char caption[501] = {};
    EXPECT_GT(LoadStringA(rnaapp, 204, caption, sizeof caption), 0);
    EXPECT_STREQ(caption, "Verbunden mit %s");
    FreeLibrary(rnaapp);
}

TEST_F(GermanWizardTest, EnglishAgainOnceTheTranslatorsAreRemoved)
{
    ASSERT_EQ(kivo::i18n::InstallTranslators({"de"}), "de");
    kivo::i18n::RemoveTranslators();
    EXPECT_EQ(kivo::i18n::Language(), "");
    installed();
    TfrmSelect& f = create();
    EXPECT_EQ(f.windowTitle(), "KIVO95 Wizard - Welcome (0 of 3)");
    EXPECT_EQ(f.ui->btnNext->text(), "Next >");
    HMODULE rnaapp = LoadLibraryA("rnaapp.exe");
    ASSERT_NE(rnaapp, nullptr);
    char caption[501] = {};
    LoadStringA(rnaapp, 204, caption, sizeof caption);
    EXPECT_STREQ(caption, "Connected to %s");
    FreeLibrary(rnaapp);
}
