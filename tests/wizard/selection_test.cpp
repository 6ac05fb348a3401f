// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The entry selection page: the list filled from the phonebook with each
// entry's statistics, the selection that becomes SelectedEntries, the view
// styles, the right-button menus and the properties dialog.
#include "tests/wizard/frame_support.h"

#include "components/Rascomp32.h"
#include "tests/support/tracecapture.h"
#include "ui_props.h"
#include "ui_Select.h"
#include "wizard/props.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdlib>

using kivo::test::waitUntil;
using kivo::test::WizardTest;

namespace
{

using Strings = std::vector<std::string>;

class SelectionTest : public WizardTest
{
  protected:
    void SetUp() override
    {
        WizardTest::SetUp();
        setenv("KIVO95_RAS", "sim", 1);
        SelectedEntries.Clear();
        phonebook = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
                    "/kivo95/phonebook.pbk";
        QDir().mkpath(QString::fromStdString(phonebook).section('/', 0, -2));
    }
    void TearDown() override
    {
        WizardTest::TearDown();
        QFile::remove(QString::fromStdString(phonebook));
        SelectedEntries.Clear();
    }

    // The user's phonebook of the simulated service: one section per name.
    void phonebookOf(const Strings& names)
    {
        std::string text;
        for (const std::string& n : names)
            text += "[" + n + "]\nPhoneNumber=555 0100\nDevice=Test Modem\nDeviceType=modem\n\n";
        kivo::test::writeFile(phonebook, text);
    }

    // The wizard on the selection page with the given phonebook.
    TfrmSelect& selectionPage(const Strings& names)
    {
        phonebookOf(names);
        installed(0);
        TfrmSelect& f = create();
        EXPECT_EQ(f.PageIndex(), 1);
        return f;
    }

    void writeStatistic(const std::string& entry, const std::string& name, const Variant& value)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kivo::reg::EntryKey(entry));
        reg.WriteValue(name, value);
    }
    Variant readStatistic(const std::string& entry, const std::string& name)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kivo::reg::EntryKey(entry));
        return reg.ReadValue(name);
    }
    bool statisticExists(const std::string& entry, const std::string& name)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kivo::reg::EntryKey(entry));
        return reg.ValueExists("", name);
    }

    static Strings captions(TListView* list)
    {
        Strings out;
        for (int i = 0; i < list->Count(); ++i)
            out.push_back(list->Item(i)->Caption().toStdString());
        return out;
    }
    static Strings subItems(TListItem* item)
    {
        Strings out;
        for (const QString& s : item->SubItems())
            out.push_back(s.toStdString());
        return out;
    }
    static TListItem* itemNamed(TListView* list, const QString& name)
    {
        for (int i = 0; i < list->Count(); ++i)
            if (list->Item(i)->Caption() == name)
                return list->Item(i);
        ADD_FAILURE() << "no item " << name.toStdString();
        return nullptr;
    }
    static Strings selected() { return SelectedEntries.Strings(); }

    // Where an item is drawn, in the control's coordinates.
    static QPoint centreOf(TListView* list, TListItem* item)
    {
        auto* view = static_cast<QAbstractItemView*>(list->CurrentView());
        const QPoint inViewport = view->visualRect(item->index()).center();
        return view->viewport()->mapTo(list, inViewport);
    }
    // A click on the current view at a point of the control.
    static void click(TListView* list, QPoint at, Qt::MouseButton button,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        auto* view = static_cast<QAbstractItemView*>(list->CurrentView());
        QTest::mouseClick(view->viewport(), button, modifiers, view->viewport()->mapFrom(list, at));
    }
    static void ctrlClick(TListView* list, TListItem* item)
    {
        click(list, centreOf(list, item), Qt::LeftButton, Qt::ControlModifier);
    }
    // A point of the control with no item under it.
    static QPoint emptySpot(TListView* list)
    {
        const QPoint p(list->width() - 5, list->height() - 5);
        EXPECT_EQ(list->GetItemAt(p.x(), p.y()), nullptr);
        return p;
    }

    std::vector<QAction*> checkedStyles(TfrmSelect& f)
    {
        std::vector<QAction*> out;
        for (QAction* a : {f.LArgeIcons1, f.Small1, f.List1, f.Details1})
            if (a->isChecked())
                out.push_back(a);
        return out;
    }

    std::string phonebook;
};

const Strings kNewStatistics{"0", "00/00/00", "00:00:00", "00:00:00"};

} // namespace

// ---- the start-up fill and RefreshStatistics --------------------------------------

TEST_F(SelectionTest, NewEntriesGetTheirInitialStatisticsInOrderAndShowThem)
{
    kivo::test::TraceCapture trace;
    TfrmSelect& f = selectionPage({"Provider", "Backup", "Office"});
    TListView* list = f.ui->ConList;
    EXPECT_EQ(captions(list), (Strings{"Backup", "Office", "Provider"})) << "kept sorted by caption";
    for (const char* entry : {"Backup", "Office", "Provider"}) {
        EXPECT_EQ(readStatistic(entry, "LastAccess").VType(), varString) << entry;
        EXPECT_EQ(readStatistic(entry, "LastAccess").toString(), "00/00/00");
        EXPECT_EQ(readStatistic(entry, "TotalTime").toString(), "00:00:00");
        EXPECT_EQ(readStatistic(entry, "LastTime").toString(), "00:00:00");
        EXPECT_EQ(readStatistic(entry, "Accesses").VType(), varInteger);
        EXPECT_EQ(readStatistic(entry, "Accesses").toInt(), 0);
        EXPECT_EQ(subItems(itemNamed(list, entry)), kNewStatistics) << entry;
    }
    // A new entry's values are written in the order the layout gives them.
    Strings written;
    for (const std::string& line : trace.lines())
        if (line.rfind("RegSetValueExA", 0) == 0)
            for (const char* name : {"LastAccess", "TotalTime", "LastTime", "Accesses"})
                if (line.find(std::string("\"") + name + "\"") != std::string::npos)
                    written.push_back(name);
    Strings expected;
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), {"LastAccess", "TotalTime", "LastTime", "Accesses"});
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SelectionTest, AnEntrySeenBeforeKeepsItsValuesEvenAPartialSet)
{
    writeStatistic("Office", "LastAccess", Variant("12/03/98 - 10:11:12"));
    writeStatistic("Office", "TotalTime", Variant("101:00:05"));
    writeStatistic("Office", "LastTime", Variant("00:10:00"));
    writeStatistic("Office", "Accesses", Variant(std::int32_t(7)));
    // Edited by hand: only LastAccess left, and a count that is no number.
    writeStatistic("Backup", "LastAccess", Variant("01/01/99 - 08:00:00"));
    writeStatistic("Provider", "LastAccess", Variant("00/00/00"));
    writeStatistic("Provider", "Accesses", Variant("many"));

    TfrmSelect& f = selectionPage({"Office", "Backup", "Provider"});
    TListView* list = f.ui->ConList;
    EXPECT_EQ(subItems(itemNamed(list, "Office")),
              (Strings{"7", "12/03/98 - 10:11:12", "00:10:00", "101:00:05"}));
    EXPECT_EQ(subItems(itemNamed(list, "Backup")), (Strings{"", "01/01/99 - 08:00:00", "", ""}))
        << "a missing value shows as an empty text";
    EXPECT_EQ(subItems(itemNamed(list, "Provider")), (Strings{"", "00/00/00", "", ""}));
    EXPECT_FALSE(statisticExists("Backup", "Accesses")) << "an entry with LastAccess is left alone";
    EXPECT_FALSE(statisticExists("Backup", "TotalTime"));
    EXPECT_EQ(readStatistic("Provider", "Accesses").toString(), "many");
    EXPECT_TRUE(boxes.empty()) << "nothing to report";

    // Entering the page reads the store again.
    writeStatistic("Backup", "Accesses", Variant(std::int32_t(3)));
    f.setPageIndex(2);
    f.setPageIndex(1);
    EXPECT_EQ(subItems(itemNamed(list, "Backup")), (Strings{"3", "01/01/99 - 08:00:00", "", ""}));
    EXPECT_EQ(f.reg->Key(), kivo::reg::EntryKey("Provider")) << "the key is left on the last item's";
}

// Another program holds the store to itself: the wizard reports the store's
// error and writes no initial statistics over an entry's real ones, at
// start-up and when it lists the phonebook.
TEST_F(SelectionTest, AStoreHeldByAnotherProgramIsReportedAndNoStatisticIsLost)
{
    phonebookOf({"Office", "Backup"});
    installed(0);
    const Strings office{"7", "1 Jan 2026 - 01:02:03", "00:10:00", "01:02:03"};
    writeStatistic("Office", "LastAccess", Variant(office[1]));
    writeStatistic("Office", "LastTime", Variant(office[2]));
    writeStatistic("Office", "TotalTime", Variant(office[3]));
    writeStatistic("Office", "Accesses", Variant(std::int32_t(7)));
    const auto untouched = [&](const char* newEntry) {
        EXPECT_EQ(readStatistic("Office", "Accesses"), Variant(std::int32_t(7)));
        EXPECT_EQ(readStatistic("Office", "LastAccess").toString(), office[1]);
        EXPECT_EQ(readStatistic("Office", "LastTime").toString(), office[2]);
        EXPECT_EQ(readStatistic("Office", "TotalTime").toString(), office[3]);
        EXPECT_FALSE(statisticExists(newEntry, "LastAccess"));
    };

    kivo::registry::ReleaseConnections();
    {
        kivo::test::StoreHolder holder(registry.path());
        ASSERT_TRUE(holder.ok()) << holder.error();
        KivoApplication::guard([&] { create(); });
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Reg Error: 000000AA");
    untouched("Backup");

    // Started while the store was free; held when a new entry is listed.
    boxes.clear();
    form.reset();
    TfrmSelect& f = create();
    EXPECT_EQ(subItems(itemNamed(f.ui->ConList, "Office")), office);
    phonebookOf({"Office", "Backup", "Home"});
    f.RAS->GetPhoneBookEntries();
    kivo::registry::ReleaseConnections();
    {
        kivo::test::StoreHolder holder(registry.path());
        ASSERT_TRUE(holder.ok()) << holder.error();
        KivoApplication::guard([&] { f.FillEntryList(); });
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Reg Error: 000000AA");
    untouched("Home");
}

TEST_F(SelectionTest, AnEmptyPhonebookListsNothingAndNextAsksForASelection)
{
    TfrmSelect& f = selectionPage({});
    EXPECT_EQ(f.ui->ConList->Count(), 0);
    EXPECT_TRUE(boxes.empty());
    f.ui->btnNext->click();
    EXPECT_EQ(f.PageIndex(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "At least one entry must be selected!");
}

TEST_F(SelectionTest, TheListIsSetUpAsTheWindowDescribesIt)
{
    TfrmSelect& f = selectionPage({"Office"});
    TListView* list = f.ui->ConList;
    EXPECT_EQ(list->geometry(), QRect(1, 28, 321, 170));
    ASSERT_EQ(list->ColumnCount(), 5);
    const std::pair<const char*, int> columns[] = {
        {"Connection", 70}, {"Accesses", 70}, {"Last Access", 90}, {"Last Time", 80}, {"Total Time", 50}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list->ColumnCaption(i), columns[i].first);
        EXPECT_EQ(list->ColumnWidth(i), columns[i].second);
    }
    EXPECT_FALSE(list->ReportView()->header()->sectionsClickable());
    EXPECT_EQ(list->ViewStyle(), vsIcon);
    EXPECT_EQ(list->IconView()->iconSize(), QSize(32, 32));
    EXPECT_EQ(f.Large->Width(), 32);
    EXPECT_EQ(f.Small->Width(), 16);
    EXPECT_EQ(f.ui->Label5->text(), "Select one or more entries do dial below:");
    EXPECT_EQ(f.ui->Label10->text(),
              "Press secondary mouse button on an entry if you wish to review or reset its statistics.");
    EXPECT_EQ(f.RAS->RedialAttempts(), 0);
    EXPECT_TRUE(static_cast<bool>(f.RAS->OnConnect));
}

// ---- selection ------------------------------------------------------------------------

TEST_F(SelectionTest, SelectionIsTrackedItemByItemInNameOrder)
{
    TfrmSelect& f = selectionPage({"Provider", "Backup", "Office", "Spare"});
    f.show();
    TListView* list = f.ui->ConList;
    for (const char* name : {"Provider", "Backup", "Office"})
        ctrlClick(list, itemNamed(list, name));
    EXPECT_EQ(selected(), (Strings{"Backup", "Office", "Provider"}));
    ctrlClick(list, itemNamed(list, "Office"));
    EXPECT_EQ(selected(), (Strings{"Backup", "Provider"})) << "only the deselected name goes";
    EXPECT_FALSE(itemNamed(list, "Office")->Selected());

    // A plain click replaces the selection: the others are removed.
    click(list, centreOf(list, itemNamed(list, "Spare")), Qt::LeftButton);
    EXPECT_EQ(selected(), (Strings{"Spare"}));
    // Refreshing the statistics changes texts only: the selection stays.
    f.RefreshStatistics();
    EXPECT_EQ(selected(), (Strings{"Spare"}));
    EXPECT_TRUE(itemNamed(list, "Spare")->Selected());
    EXPECT_EQ(list->SelCount(), 1);
}

TEST_F(SelectionTest, SelectionAndSelectedEntriesSurviveAChangeOfViewStyle)
{
    TfrmSelect& f = selectionPage({"Provider", "Backup", "Office"});
    f.show();
    TListView* list = f.ui->ConList;
    ctrlClick(list, itemNamed(list, "Office"));
    ctrlClick(list, itemNamed(list, "Provider"));
    ASSERT_EQ(selected(), (Strings{"Office", "Provider"}));

    const std::pair<QAction*, TViewStyle> styles[] = {
        {f.Details1, vsReport}, {f.List1, vsList}, {f.Small1, vsSmallIcon}, {f.LArgeIcons1, vsIcon}};
    for (const auto& [action, style] : styles) {
        action->trigger();
        EXPECT_EQ(list->ViewStyle(), style);
        EXPECT_EQ(checkedStyles(f), std::vector<QAction*>{action}) << "exactly one style checked";
        EXPECT_TRUE(list->CurrentView()->isVisible());
        EXPECT_TRUE(itemNamed(list, "Office")->Selected());
        EXPECT_TRUE(itemNamed(list, "Provider")->Selected());
        EXPECT_FALSE(itemNamed(list, "Backup")->Selected());
        EXPECT_EQ(list->SelCount(), 2);
        EXPECT_EQ(selected(), (Strings{"Office", "Provider"}));
    }

    // The details view selects whole rows and reports them once each.
    f.Details1->trigger();
    EXPECT_EQ(list->ReportView()->iconSize(), QSize(16, 16));
    ctrlClick(list, itemNamed(list, "Backup"));
    EXPECT_EQ(selected(), (Strings{"Backup", "Office", "Provider"}));
    EXPECT_EQ(list->SelCount(), 3);
    // A row's statistics show in its columns.
    const QModelIndex accesses = list->Model()->index(itemNamed(list, "Backup")->row(), 1);
    EXPECT_EQ(accesses.data().toString(), "0");
    EXPECT_EQ(list->Model()->index(accesses.row(), 4).data().toString(), "00:00:00");
}

TEST_F(SelectionTest, TheViewMenuHasItsFourRadioItemsWithOneChecked)
{
    TfrmSelect& f = selectionPage({"Office"});
    ASSERT_EQ(f.pm->actions().size(), 1);
    EXPECT_EQ(f.pm->actions()[0], f.View1);
    EXPECT_EQ(f.View1->text(), "&View");
    ASSERT_NE(f.View1->menu(), nullptr);
    const QList<QAction*> items = f.View1->menu()->actions();
    ASSERT_EQ(items.size(), 4);
    const char* texts[] = {"Lar&ge Icons", "S&mall Icons", "&List", "&Details"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(items[i]->text(), texts[i]);
        EXPECT_TRUE(items[i]->isCheckable());
    }
    EXPECT_EQ(checkedStyles(f), std::vector<QAction*>{f.LArgeIcons1});
    // The handlers themselves keep one item checked, however they are called.
    f.List1Click(f.List1);
    EXPECT_EQ(checkedStyles(f), std::vector<QAction*>{f.List1});
    f.List1Click(f.List1);
    EXPECT_EQ(checkedStyles(f), std::vector<QAction*>{f.List1});
    EXPECT_EQ(f.ui->ConList->ViewStyle(), vsList);
    ASSERT_EQ(f.pmEntry->actions().size(), 1);
    EXPECT_EQ(f.pmEntry->actions()[0], f.EntryProperties1);
    EXPECT_EQ(f.EntryProperties1->text(), "Entry Properties");

    // Menus are windows of their own; they show in the form's font, not in
    // the desktop's (the tray menu too).
    ASSERT_NE(f.font(), QApplication::font("QMenu")) << "the test needs a form font of its own";
    for (QMenu* menu : {f.pm, f.View1->menu(), f.pmEntry, f.Ipm}) {
        EXPECT_EQ(menu->font(), f.font()) << menu->objectName().toStdString();
        EXPECT_EQ(QFontInfo(menu->font()).pixelSize(), 11);
    }
}

// ---- right button ------------------------------------------------------------------------

TEST_F(SelectionTest, TheRightButtonOpensTheMenuOfWhatIsUnderItAndKeepsTheSelection)
{
    TfrmSelect& f = selectionPage({"Provider", "Backup", "Office"});
    f.show();
    TListView* list = f.ui->ConList;
    ctrlClick(list, itemNamed(list, "Backup"));
    ASSERT_EQ(selected(), (Strings{"Backup"}));
    EXPECT_EQ(f.PopupItem, nullptr);

    for (TViewStyle style : {vsIcon, vsReport, vsList}) {
        list->setViewStyle(style);
        TListItem* office = itemNamed(list, "Office");
        const QPoint at = centreOf(list, office);
        click(list, at, Qt::RightButton);
        EXPECT_TRUE(f.pmEntry->isVisible()) << style;
        EXPECT_FALSE(f.pm->isVisible());
        EXPECT_EQ(f.PopupItem, office);
        EXPECT_EQ(f.pmEntry->pos(), list->mapToGlobal(at)) << "at the point of the release";
        EXPECT_EQ(selected(), (Strings{"Backup"})) << "the selection is not changed";
        EXPECT_FALSE(office->Selected());
        EXPECT_TRUE(itemNamed(list, "Backup")->Selected());
        f.pmEntry->hide();

        const QPoint empty = emptySpot(list);
        click(list, empty, Qt::RightButton);
        EXPECT_TRUE(f.pm->isVisible()) << style;
        EXPECT_FALSE(f.pmEntry->isVisible());
        EXPECT_EQ(f.pm->pos(), list->mapToGlobal(empty));
        EXPECT_EQ(f.PopupItem, office) << "kept until the entry menu opens again";
        EXPECT_EQ(selected(), (Strings{"Backup"}));
        f.pm->hide();
    }

    // Other buttons open nothing.
    click(list, emptySpot(list), Qt::LeftButton);
    click(list, emptySpot(list), Qt::MiddleButton);
    EXPECT_FALSE(f.pm->isVisible());
    EXPECT_FALSE(f.pmEntry->isVisible());
}

// ---- the way through to the confirmation page ------------------------------------------------

TEST_F(SelectionTest, NextTwiceShowsTheSelectedEntriesAlphabetically)
{
    TfrmSelect& f = selectionPage({"Provider", "Backup", "Office", "Spare"});
    f.show();
    TListView* list = f.ui->ConList;
    for (const char* name : {"Provider", "Backup", "Office"})
        ctrlClick(list, itemNamed(list, name));
    f.ui->btnNext->click();
    f.ui->btnNext->click();
    ASSERT_EQ(f.PageIndex(), 3);
    QListWidget* entries = f.ui->lbEntries;
    Strings shown;
    for (int i = 0; i < entries->count(); ++i)
        shown.push_back(entries->item(i)->text().toStdString());
    EXPECT_EQ(shown, (Strings{"Backup", "Office", "Provider"}));

    // Back on the selection page nothing is forgotten.
    f.ui->btnPrev->click();
    f.ui->btnPrev->click();
    ASSERT_EQ(f.PageIndex(), 1);
    EXPECT_EQ(list->SelCount(), 3);
    EXPECT_EQ(selected(), (Strings{"Backup", "Office", "Provider"}));
}

TEST_F(SelectionTest, TheListTheConfirmationPageAndTheDialOrderSortAlikeInEveryLocale)
{
    // Letter case never decides the order, also in the C locale, where the
    // byte order would put every capital first.
    const Strings names = {"Zulu", "alpha", "Mike", "bravo", "Échelle", "echo", "Delta"};
    const QLocale previous;
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Swedish),
                                  QLocale(QLocale::Turkish), QLocale(QLocale::Japanese)}) {
        QLocale::setDefault(locale);
        SelectedEntries.Clear();
        TfrmSelect& f = selectionPage(names);
        f.show();
        TListView* list = f.ui->ConList;
        for (int i = 0; i < list->Count(); ++i)
            ctrlClick(list, list->Item(i));
        const Strings listed = captions(list);
        EXPECT_EQ(listed, selected()) << locale.name().toStdString() << ": the list and the dial order";
        f.ui->btnNext->click();
        f.ui->btnNext->click();
        ASSERT_EQ(f.PageIndex(), 3);
        Strings confirmed;
        for (int i = 0; i < f.ui->lbEntries->count(); ++i)
            confirmed.push_back(f.ui->lbEntries->item(i)->text().toStdString());
        EXPECT_EQ(confirmed, listed) << locale.name().toStdString() << ": the confirmation page";
        const auto at = [&](const std::string& n) { return std::find(listed.begin(), listed.end(), n); };
        EXPECT_LT(at("alpha"), at("bravo")) << locale.name().toStdString();
        EXPECT_LT(at("bravo"), at("Delta")) << locale.name().toStdString();
        EXPECT_LT(at("Delta"), at("Mike")) << locale.name().toStdString();
        EXPECT_LT(at("Mike"), at("Zulu")) << locale.name().toStdString();
        if (locale == QLocale::c()) {
            EXPECT_EQ(listed.front(), "alpha");
        }
    }
    QLocale::setDefault(previous);
}

// ---- the properties dialog ---------------------------------------------------------------------

TEST_F(SelectionTest, EntryPropertiesShowsTheRowAndOkRefreshesTheList)
{
    writeStatistic("Office", "LastAccess", Variant("12/03/98 - 10:11:12"));
    writeStatistic("Office", "TotalTime", Variant("101:00:05"));
    writeStatistic("Office", "LastTime", Variant("00:10:00"));
    writeStatistic("Office", "Accesses", Variant(std::int32_t(7)));
    TfrmSelect& f = selectionPage({"Office", "Backup"});
    f.show();
    TListView* list = f.ui->ConList;
    TListItem* office = itemNamed(list, "Office");
    click(list, centreOf(list, office), Qt::RightButton);
    ASSERT_EQ(f.PopupItem, office);
    f.pmEntry->hide();
    // The store changes behind the list's back: the dialog shows the row.
    writeStatistic("Office", "LastTime", Variant("00:20:00"));

    boxAnswer = IDYES;
    Strings labels;
    std::string keyWhileShown;
    bool ownedByWindow = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TfrmProps*>(QApplication::activeModalWidget());
        if (!d)
            return;
        ownedByWindow = d->parentWidget() == &f;
        for (QLabel* l : {d->ui->lbConn, d->ui->lblNA, d->ui->lblLA, d->ui->lblLAT, d->ui->lblTAT})
            labels.push_back(l->text().toStdString());
        keyWhileShown = f.reg->Key();
        d->ui->btnclNA->click();
        d->ui->Button1->click();
    });
    f.EntryProperties1->trigger();

    EXPECT_EQ(labels, (Strings{"Office", "7", "12/03/98 - 10:11:12", "00:10:00", "101:00:05"}));
    EXPECT_TRUE(ownedByWindow);
    EXPECT_EQ(keyWhileShown, kivo::reg::EntryKey("Office"));
    EXPECT_EQ(readStatistic("Office", "Accesses").toInt(), 0);
    EXPECT_EQ(subItems(office), (Strings{"0", "12/03/98 - 10:11:12", "00:20:00", "101:00:05"}))
        << "OK refreshed the list";
    EXPECT_TRUE(f.findChildren<TfrmProps*>().isEmpty()) << "the dialog is freed when it closes";
}

TEST_F(SelectionTest, ClosingThePropertiesDialogOtherwiseLeavesTheListAsItWas)
{
    TfrmSelect& f = selectionPage({"Office"});
    f.show();
    TListView* list = f.ui->ConList;
    TListItem* office = itemNamed(list, "Office");
    click(list, centreOf(list, office), Qt::RightButton);
    f.pmEntry->hide();
    boxAnswer = IDYES;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TfrmProps*>(QApplication::activeModalWidget());
        if (!d)
            return;
        shown = true;
        d->ui->btnclLA->click();
        d->reject();
    });
    f.EntryProperties1->trigger();
    EXPECT_TRUE(shown);
    EXPECT_EQ(readStatistic("Office", "LastAccess").toString(), "00/00/00");
    EXPECT_EQ(subItems(office), kNewStatistics);
    EXPECT_TRUE(f.findChildren<TfrmProps*>().isEmpty());
}

// ---- closing -----------------------------------------------------------------------------------

TEST_F(SelectionTest, ClosingTheWindowHangsUpThroughTheDialer)
{
    TfrmSelect& f = selectionPage({"Office"});
    f.show();
    f.Timer1->start();
    int disconnects = 0;
    const TRasStateEvent wired = f.RAS->OnDisconnect;
    ASSERT_TRUE(static_cast<bool>(wired));
    f.RAS->OnDisconnect = [&](QObject* sender, std::int32_t error, QString text) {
        ++disconnects;
        EXPECT_TRUE(text.isEmpty()) << "nothing to tell after Disconnect";
        wired(sender, error, text);
    };
    f.ui->btnClose->click();
    EXPECT_EQ(disconnects, 1);
    EXPECT_FALSE(f.Timer1->isActive()) << "RASDisconnect stops the timer";
    EXPECT_TRUE(StopDialing);
}

// ---- the list control on its own ------------------------------------------------------------

TEST(ListView, SettingACaptionReSortsAndKeepsTheSelectionWithTheItem)
{
    TListView list;
    list.AddColumn("Name", 50);
    list.AddColumn("Value", 50);
    std::vector<std::pair<QString, TItemChange>> changes;
    list.OnChange = [&](QObject* sender, TListItem* item, TItemChange change) {
        EXPECT_EQ(sender, &list);
        changes.emplace_back(item->Caption(), change);
    };
    for (const char* name : {"gamma", "alpha", "beta"})
        list.Add()->setCaption(name);
    auto order = [&] {
        QStringList out;
        for (int i = 0; i < list.Count(); ++i)
            out << list.Item(i)->Caption();
        return out;
    };
    EXPECT_EQ(order(), (QStringList{"alpha", "beta", "gamma"}));

    TListItem* alpha = list.Item(0);
    alpha->AddSubItem("1");
    alpha->setSelected(true);
    changes.clear();
    alpha->setCaption("zeta");
    EXPECT_EQ(order(), (QStringList{"beta", "gamma", "zeta"}));
    EXPECT_EQ(list.Item(2), alpha);
    EXPECT_TRUE(alpha->Selected()) << "the selection follows the item";
    EXPECT_EQ(list.Model()->index(2, 1).data().toString(), "1") << "its cells move with it";
    EXPECT_EQ(changes, (std::vector<std::pair<QString, TItemChange>>{{"zeta", ctText}}));

    changes.clear();
    alpha->setImageIndex(1);
    alpha->setSelected(false);
    EXPECT_EQ(changes, (std::vector<std::pair<QString, TItemChange>>{{"zeta", ctImage}, {"zeta", ctState}}));
    // More sub-items than columns are kept, though not shown.
    alpha->AddSubItem("2");
    EXPECT_EQ(alpha->SubItems(), (QStringList{"1", "2"}));
}

TEST(ListView, NoItemUnderTheHeaderOrOutsideTheControl)
{
    TListView list;
    list.resize(200, 100);
    list.AddColumn("Name", 50);
    list.Add()->setCaption("one");
    list.setViewStyle(vsReport);
    list.show();
    ASSERT_TRUE(waitUntil([&] { return list.isVisible(); }));
    const QHeaderView* header = list.ReportView()->header();
    EXPECT_EQ(list.GetItemAt(5, header->height() / 2), nullptr);
    EXPECT_EQ(list.GetItemAt(-5, 40), nullptr);
    EXPECT_EQ(list.GetItemAt(5, 500), nullptr);
    const QRect row = list.ReportView()->visualRect(list.Item(0)->index());
    const QPoint at = list.ReportView()->viewport()->mapTo(&list, row.center());
    EXPECT_EQ(list.GetItemAt(at.x(), at.y()), list.Item(0));
}
