// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/props.h"

#include "components/RegFiles.h"
#include "platform/system/system.h"
#include "tests/support/testsupport.h"
#include "tests/wizard/layout_support.h"
#include "ui_props.h"
#include "wizard/Placement.h"
#include "wizard/Stats.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace
{

using kivo::sys::MessageBoxRequest;

// One entry's statistics in a registry of the test's own, and the dialog
// opened on them as the selection list opens it.
struct PropsFixture : ::testing::Test {
    kivo::test::TempRegistry store;
    TRegFile reg;
    int refreshes = 0;
    std::optional<TfrmProps> dlg;
    std::vector<MessageBoxRequest> asked;

    void SetUp() override
    {
        reg.setRootKey(kivo::reg::Root);
        reg.setKey(kivo::reg::EntryKey("Office"));
        reg.WriteValue(kivo::reg::Accesses, Variant(std::int32_t(4)));
        reg.WriteValue(kivo::reg::LastAccess, Variant("03/04/97 - 10:11:12"));
        reg.WriteValue(kivo::reg::LastTime, Variant("00:01:30"));
        reg.WriteValue(kivo::reg::TotalTime, Variant("00:11:30"));
        dlg.emplace(nullptr, reg, [this] { ++refreshes; });
        dlg->ui->lbConn->setText("Office");
        dlg->ui->lblNA->setText("4");
        dlg->ui->lblLA->setText("03/04/97 - 10:11:12");
        dlg->ui->lblLAT->setText("00:01:30");
        dlg->ui->lblTAT->setText("00:11:30");
    }
    void TearDown() override { kivo::sys::setMessageBoxHook(nullptr); }

    void answer(INT id)
    {
        kivo::sys::setMessageBoxHook([this, id](const MessageBoxRequest& r) {
            asked.push_back(r);
            return id;
        });
    }
    std::string stored(const char* name) { return reg.ReadValue(name).toString(); }
    std::vector<QString> labels() const
    {
        return {dlg->ui->lblNA->text(), dlg->ui->lblLA->text(), dlg->ui->lblLAT->text(),
                dlg->ui->lblTAT->text()};
    }
    std::vector<std::string> values()
    {
        return {stored(kivo::reg::Accesses), stored(kivo::reg::LastAccess), stored(kivo::reg::LastTime),
                stored(kivo::reg::TotalTime)};
    }
    void clickAll()
    {
        for (QPushButton* b : {dlg->ui->btnclNA, dlg->ui->btnclLA, dlg->ui->btnclLAT, dlg->ui->btnclTAT})
            b->click();
    }
};

} // namespace

TEST_F(PropsFixture, AsksInTwoLinesWithNoAsTheDefault)
{
    answer(IDNO);
    dlg->ui->btnclNA->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Do you really want to clear Office's \n\rNumber of Accesses?");
    EXPECT_EQ(asked[0].caption, "Confirmation");
    EXPECT_EQ(asked[0].type, UINT(MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2));
    EXPECT_EQ(asked[0].owner, &*dlg);
}

TEST_F(PropsFixture, NoLeavesRegistryAndLabelsAsTheyWere)
{
    const auto before = values();
    const auto shown = labels();
    answer(IDNO);
    clickAll();
    EXPECT_EQ(asked.size(), 4u);
    EXPECT_EQ(values(), before);
    EXPECT_EQ(labels(), shown);
}

TEST_F(PropsFixture, EnterInTheRealBoxAnswersNo)
{
    const auto before = values();
    int boxes = 0;
    // Presses Enter in each question box as soon as it is up.
    QTimer presser;
    presser.setInterval(20);
    QObject::connect(&presser, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    presser.start();
    dlg->ui->btnclNA->click();
    dlg->ui->btnclTAT->click();
    presser.stop();
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(values(), before);
    EXPECT_EQ(dlg->ui->lblNA->text(), "4");
    EXPECT_EQ(dlg->ui->lblTAT->text(), "00:11:30");
}

TEST_F(PropsFixture, EachClearAsksItsOwnQuestionAndWritesItsValue)
{
    answer(IDYES);
    const std::string zero = SecsToStr(0);

    dlg->ui->btnclNA->click();
    EXPECT_EQ(reg.ReadValue(kivo::reg::Accesses).VType(), varInteger);
    EXPECT_EQ(reg.ReadValue(kivo::reg::Accesses).toInt(), 0);
    EXPECT_EQ(dlg->ui->lblNA->text(), "0");
    EXPECT_EQ(stored(kivo::reg::LastAccess), "03/04/97 - 10:11:12"); // only its own value

    dlg->ui->btnclLA->click();
    EXPECT_EQ(stored(kivo::reg::LastAccess), "00/00/00");
    EXPECT_EQ(dlg->ui->lblLA->text(), "00/00/00");

    dlg->ui->btnclLAT->click();
    EXPECT_EQ(stored(kivo::reg::LastTime), zero);
    EXPECT_EQ(dlg->ui->lblLAT->text().toStdString(), zero);
    EXPECT_EQ(stored(kivo::reg::TotalTime), "00:11:30");

    dlg->ui->btnclTAT->click();
    EXPECT_EQ(stored(kivo::reg::TotalTime), zero);
    EXPECT_EQ(dlg->ui->lblTAT->text().toStdString(), zero);

    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[1].text, "Do you really want to clear Office's \n\rLast of Access Date?");
    EXPECT_EQ(asked[2].text, "Do you really want to clear Office's \n\rLast Connection Duration Time?");
    EXPECT_EQ(asked[3].text, "Do you really want to clear Office's \n\rTotal Access Time?");
    EXPECT_EQ(refreshes, 0); // the list is refreshed by OK only
}

TEST_F(PropsFixture, OkRefreshesTheListAndCloses)
{
    QTimer::singleShot(0, [this] { QTest::mouseClick(dlg->ui->Button1, Qt::LeftButton); });
    EXPECT_EQ(dlg->exec(), QDialog::Accepted);
    EXPECT_EQ(refreshes, 1);
}

TEST_F(PropsFixture, ClosingOtherwiseDoesNotRefresh)
{
    QTimer::singleShot(0, [this] { dlg->reject(); });
    EXPECT_EQ(dlg->exec(), QDialog::Rejected);
    EXPECT_EQ(refreshes, 0);
}

TEST_F(PropsFixture, ShowsTheGeneralSheetAtItsSize)
{
    EXPECT_EQ(dlg->windowTitle(), "Entry Properties");
    EXPECT_EQ(dlg->size(), QSize(361, 385));
    EXPECT_EQ(dlg->ui->PageControl1->count(), 1);
    EXPECT_EQ(dlg->ui->PageControl1->tabText(0), "General");
    EXPECT_EQ(dlg->ui->Label4->text(), "Total Acesss Time:");
    EXPECT_FALSE(dlg->ui->Image1->pixmap().isNull());
}

// ---- room for every value ----------------------------------------------------------------

namespace
{

// The widest date text of each locale Qt knows, as the statistics store it
// (every month, a two-digit day, a morning and an afternoon hour), measured
// with the font of the value labels.
struct Widest {
    QString text;
    int width = 0;
    std::string locale;
};

std::vector<Widest> widestDateTexts(const QFont& font)
{
    const QFontMetrics fm(font);
    std::vector<Widest> out;
    for (const QLocale& l :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        Widest w;
        w.locale = l.name().toStdString();
        for (int month = 1; month <= 12; ++month)
            for (int hour : {0, 11, 12, 23}) {
                const QDateTime moment(QDate(2024, month, 28), QTime(hour, 58, 59));
                const QString text = QString::fromStdString(DateText(moment, l));
                if (fm.horizontalAdvance(text) > w.width) {
                    w.width = fm.horizontalAdvance(text);
                    w.text = text;
                }
            }
        out.push_back(w);
    }
    std::sort(out.begin(), out.end(), [](const Widest& a, const Widest& b) { return a.width > b.width; });
    return out;
}

} // namespace

TEST_F(PropsFixture, NoValueIsCutOffInAnyLocalesDateFormat)
{
    const std::vector<Widest> all = widestDateTexts(dlg->ui->lblLA->font());
    ASSERT_GT(all.size(), 100u);
    std::printf("%zu locales; widest date text %d px (%s): %s\n", all.size(), all.front().width,
                all.front().locale.c_str(), all.front().text.toUtf8().constData());

    // Everyday values keep the dialog at its designed size.
    dlg->show();
    EXPECT_EQ(dlg->size(), QSize(361, 385));
    EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(dlg->ui->TabSheet1)), "");

    // The widest dates of all, in every row at once, with a hundred-thousand
    // hour duration and a hand-edited count: nothing cut off, nothing on top
    // of anything else, everything inside the dialog.
    for (std::size_t i = 0; i < 5; ++i) {
        dlg->ui->lblNA->setText("2147483647");
        dlg->ui->lblLA->setText(all[i].text);
        dlg->ui->lblLAT->setText(all[i + 1].text);
        dlg->ui->lblTAT->setText(QString::fromStdString(SecsToStr(2147483647)));
        dlg->LayOutValues();
        EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(dlg->ui->TabSheet1)), "") << all[i].locale;
        EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(dlg.operator->())), "") << all[i].locale;
        EXPECT_TRUE(dlg->ui->PageControl1->rect().contains(QRect(
            dlg->ui->TabSheet1->mapTo(dlg->ui->PageControl1, QPoint(0, 0)), dlg->ui->TabSheet1->size())));
    }

    // Cleared again, the dialog is back to its size.
    answer(IDYES);
    clickAll();
    EXPECT_EQ(dlg->size(), QSize(361, 385));
    EXPECT_EQ(kivo::test::joined(kivo::test::layoutFaults(dlg->ui->TabSheet1)), "");
}

TEST_F(PropsFixture, OpensCentredOnTheScreenNotOverItsOwner)
{
    QWidget owner;
    owner.setGeometry(10, 10, 200, 100);
    owner.show();
    TfrmProps box(&owner, reg, [] {});
    box.show();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // Before the desktop frames the dialog, a Windows 95 frame stands in.
    const QRect outer(box.pos(), box.frameGeometry().size() == box.size()
                                     ? box.size() + QSize(kivo::kNominalFrameWidth, kivo::kNominalFrameHeight)
                                     : box.frameGeometry().size());
    EXPECT_LE(std::abs(outer.center().x() - area.center().x()), 1)
        << kivo::test::rectText(outer) << " " << kivo::test::rectText(area) << " "
        << kivo::test::rectText(box.frameGeometry());
    EXPECT_LE(std::abs(outer.center().y() - area.center().y()), 1) << outer.y();
}
