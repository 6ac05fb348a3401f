// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The entry selection page: the list of phonebook entries with their
// statistics, the selection that becomes SelectedEntries, the view styles
// and the right-button menus.
#include "wizard/Select.h"

#include "components/Rascomp32.h"
#include "ui_props.h"
#include "ui_Select.h"
#include "wizard/Pictures.h"
#include "wizard/props.h"
#include "wizard/Stats.h"

#include <QActionGroup>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>

#include <vector>

namespace
{

// Entry names travel as the 8-bit text the RAS calls and the registry use.
std::string nameOf(const TListItem* item)
{
    return item->Caption().toLocal8Bit().toStdString();
}

// A statistic as shown in the list. A value missing under an existing entry
// key (the store was edited by hand) shows as an empty text, as does an
// access count that is no number: the list still shows every other value,
// and the properties dialog can reset the broken one.
QString statisticText(const Variant& value, bool asInteger)
{
    if (value.isNull() || value.isEmpty())
        return {};
    try {
        if (asInteger)
            return QString::number(value.toInt());
        return QString::fromLocal8Bit(value.toString().c_str());
    } catch (const EVariantError&) {
        return {};
    }
}

} // namespace

void TfrmSelect::SetUpSelectionPage()
{
    TListView* list = ui->ConList;
    const struct {
        const char* caption;
        int width;
    } columns[] = {{QT_TRANSLATE_NOOP("TfrmSelect", "Connection"), 70},
                   {QT_TRANSLATE_NOOP("TfrmSelect", "Accesses"), 70},
                   {QT_TRANSLATE_NOOP("TfrmSelect", "Last Access"), 90},
                   {QT_TRANSLATE_NOOP("TfrmSelect", "Last Time"), 80},
                   {QT_TRANSLATE_NOOP("TfrmSelect", "Total Time"), 50}};
    for (const auto& c : columns)
        list->AddColumn(tr(c.caption), c.width);
    list->setColumnClick(false);

    Large = new TImageList(this, 32, 32);
    Large->setObjectName("Large");
    Large->Add(kivo::pictures::EntryPixmap(32));
    Small = new TImageList(this, 16, 16);
    Small->setObjectName("Small");
    Small->Add(kivo::pictures::EntryPixmap(16));
    list->setLargeImages(Large);
    list->setSmallImages(Small);
    list->setViewStyle(vsIcon);

    list->OnChange = [this](QObject* sender, TListItem* item, TItemChange change) {
        KivoApplication::guard([&] { ConListChange(sender, item, change); });
    };
    list->OnMouseUp = [this](QObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
        KivoApplication::guard([&] { ConListMouseUp(sender, button, shift, x, y); });
    };

    pm = new QMenu(this);
    pm->setObjectName("pm");
    QMenu* view = pm->addMenu(tr("&View"));
    View1 = view->menuAction();
    View1->setObjectName("View1");
    auto* styles = new QActionGroup(view);
    const struct {
        QAction** action;
        const char* name;
        const char* caption;
        void (TfrmSelect::*handler)(QObject*);
    } items[] = {
        {&LArgeIcons1, "LArgeIcons1", QT_TRANSLATE_NOOP("TfrmSelect", "Lar&ge Icons"),
         &TfrmSelect::LArgeIcons1Click},
        {&Small1, "Small1", QT_TRANSLATE_NOOP("TfrmSelect", "S&mall Icons"), &TfrmSelect::Small1Click},
        {&List1, "List1", QT_TRANSLATE_NOOP("TfrmSelect", "&List"), &TfrmSelect::List1Click},
        {&Details1, "Details1", QT_TRANSLATE_NOOP("TfrmSelect", "&Details"), &TfrmSelect::Details1Click},
    };
    for (const auto& i : items) {
        QAction* a = view->addAction(tr(i.caption));
        a->setObjectName(i.name);
        a->setCheckable(true);
        styles->addAction(a);
        *i.action = a;
        wire(a, &QAction::triggered, i.handler);
    }
    LArgeIcons1->setChecked(true);

    pmEntry = new QMenu(this);
    pmEntry->setObjectName("pmEntry");
    EntryProperties1 = pmEntry->addAction(tr("Entry Properties"));
    EntryProperties1->setObjectName("EntryProperties1");
    wire(EntryProperties1, &QAction::triggered, &TfrmSelect::EntryProperties1Click);
    // Menus are windows of their own and take the desktop's font unless told.
    for (QMenu* menu : {pm, view, pmEntry})
        menu->setFont(font());
}

// ---- filling and refreshing ------------------------------------------------------

void TfrmSelect::FillEntryList()
{
    // One look at the store finds the entries seen before; each new entry
    // then gets its four initial statistics in one transaction. A failure
    // of the store is reported (the handler ends) and writes nothing: only
    // a LastAccess that is really not there makes an entry new.
    std::vector<std::string> fresh;
    {
        TRegTransaction look(TRegTransaction::tmRead);
        for (const QString& name : RAS->PhoneBookEntries()) {
            TListItem* item = ui->ConList->Add();
            item->setCaption(name);
            reg->setKey(kivo::reg::EntryKey(nameOf(item)));
            // An entry seen before keeps whatever it has, even a partial set.
            if (!reg->ValueExists("", kivo::reg::LastAccess))
                fresh.push_back(nameOf(item));
        }
    }
    for (const std::string& name : fresh) {
        TRegTransaction tx(TRegTransaction::tmWrite);
        reg->setKey(kivo::reg::EntryKey(name));
        if (reg->ValueExists("", kivo::reg::LastAccess))
            continue; // another wizard gave it its statistics meanwhile
        for (const kivo::reg::Value& v : kivo::reg::Layout)
            if (v.scope == kivo::reg::Scope::Entry)
                reg->WriteValue(v.name, v.Default());
        tx.Commit();
    }
}

void TfrmSelect::ShowEntryListError(std::int32_t code)
{
    // The dialer holds no connection here: the service's own text.
    const QString text = TRAS::ErrorText(code);
    const QString reason = text.isEmpty() ? tr("Status Unknown") : text;
    EntryListError = tr("The entries could not be read (error %1): %2").arg(code).arg(reason);
    // In place of the hint about the entries' statistics: there are none.
    ui->Label10->setText(EntryListError);
}

void TfrmSelect::RefreshStatistics()
{
    // One pass over one state of the store.
    TRegTransaction look(TRegTransaction::tmRead);
    TListView* list = ui->ConList;
    for (int i = 0; i < list->Count(); ++i) {
        TListItem* item = list->Item(i);
        item->ClearSubItems();
        reg->setKey(kivo::reg::EntryKey(nameOf(item)));
        item->AddSubItem(statisticText(reg->ReadValue(kivo::reg::Accesses), true));
        for (const char* name : {kivo::reg::LastAccess, kivo::reg::LastTime, kivo::reg::TotalTime})
            item->AddSubItem(statisticText(reg->ReadValue(name), false));
    }
}

// ---- selection ---------------------------------------------------------------------

void TfrmSelect::ConListChange(QObject*, TListItem* Item, TItemChange Change)
{
    if (Change != ctState)
        return;
    if (Item->Selected())
        SelectedEntries.Add(nameOf(Item));
    else
        SelectedEntries.Remove(nameOf(Item));
}

// ---- view styles -----------------------------------------------------------------------

namespace
{

void chooseStyle(TListView* list, TViewStyle style, QAction* chosen, std::initializer_list<QAction*> all)
{
    for (QAction* a : all)
        a->setChecked(a == chosen);
    list->setViewStyle(style);
}

} // namespace

void TfrmSelect::LArgeIcons1Click(QObject*)
{
    chooseStyle(ui->ConList, vsIcon, LArgeIcons1, {LArgeIcons1, Small1, List1, Details1});
}

void TfrmSelect::Small1Click(QObject*)
{
    chooseStyle(ui->ConList, vsSmallIcon, Small1, {LArgeIcons1, Small1, List1, Details1});
}

void TfrmSelect::List1Click(QObject*)
{
    chooseStyle(ui->ConList, vsList, List1, {LArgeIcons1, Small1, List1, Details1});
}

void TfrmSelect::Details1Click(QObject*)
{
    chooseStyle(ui->ConList, vsReport, Details1, {LArgeIcons1, Small1, List1, Details1});
}

// ---- right button and the properties dialog -------------------------------------------

void TfrmSelect::ConListMouseUp(QObject*, TMouseButton Button, TShiftState, int X, int Y)
{
    if (Button != mbRight)
        return;
    const QPoint screen = ui->ConList->mapToGlobal(QPoint(X, Y));
    TListItem* item = ui->ConList->GetItemAt(X, Y);
    if (!item) {
        pm->popup(screen);
        return;
    }
    PopupItem = item;
    pmEntry->popup(screen);
}

void TfrmSelect::EntryProperties1Click(QObject*)
{
    if (!PopupItem)
        return;
    // The dialog writes through reg and relies on this key.
    reg->setKey(kivo::reg::EntryKey(nameOf(PopupItem)));
    // Owned by the window, which may go while the dialog runs.
    QPointer<TfrmProps> frmProps = new TfrmProps(this, *reg, [this] { RefreshStatistics(); });
    const auto release = qScopeGuard([&] { delete frmProps.data(); });
    // The labels show what the list shows; the registry is not read again.
    const QStringList sub = PopupItem->SubItems();
    frmProps->ui->lbConn->setText(PopupItem->Caption());
    frmProps->ui->lblNA->setText(sub.value(0));
    frmProps->ui->lblLA->setText(sub.value(1));
    frmProps->ui->lblLAT->setText(sub.value(2));
    frmProps->ui->lblTAT->setText(sub.value(3));
    frmProps->exec();
}
