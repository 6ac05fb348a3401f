// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/props.h"

#include "components/RegFiles.h"
#include "platform/system/system.h"
#include "ui_props.h"
#include "wizard/FormFont.h"
#include "wizard/Pictures.h"
#include "wizard/Placement.h"
#include "wizard/Stats.h"

#include <QLabel>

#include <algorithm>

TfrmProps::TfrmProps(QWidget* AOwner, TRegFile& reg, std::function<void()> refresh)
    : QDialog(AOwner), ui(std::make_unique<Ui::TfrmProps>()), m_reg(reg), m_refresh(std::move(refresh))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(kivo::FormFont());
    setFixedSize(361, 385);
    ui->Image1->setPixmap(kivo::pictures::EntryPixmap(32));
    for (QLabel* value : {ui->lblNA, ui->lblLA, ui->lblLAT, ui->lblTAT})
        value->setWordWrap(true);
    for (QWidget* w : ui->TabSheet1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        m_designed.emplace_back(w, w->geometry());
    m_designedDialog = size();
    m_designedPages = ui->PageControl1->size();
    m_designedOk = ui->Button1->pos();

    connect(ui->btnclNA, &QPushButton::clicked, this, [this] { btnclNAClick(ui->btnclNA); });
    connect(ui->btnclLA, &QPushButton::clicked, this, [this] { btnclLAClick(ui->btnclLA); });
    connect(ui->btnclLAT, &QPushButton::clicked, this, [this] { btnclLATClick(ui->btnclLAT); });
    connect(ui->btnclTAT, &QPushButton::clicked, this, [this] { btnclTATClick(ui->btnclTAT); });
    connect(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(ui->Button1); });
}

TfrmProps::~TfrmProps() = default;

void TfrmProps::LayOutValues()
{
    // The tab control places its sheet only once it is shown.
    if (!isVisible())
        return;
    for (const auto& [w, r] : m_designed)
        w->setGeometry(r);
    const auto designedTop = [&](QWidget* w) {
        for (const auto& [d, r] : m_designed)
            if (d == w)
                return r.top();
        return w->y();
    };
    // A value may take the room down to the next row (two lines) before the
    // rows below have to move.
    const struct {
        QLabel* value;
        std::initializer_list<QWidget*> row;
    } rows[] = {
        {ui->lblNA, {ui->Label1, ui->lblNA, ui->btnclNA}},
        {ui->lblLA, {ui->Label2, ui->lblLA, ui->btnclLA}},
        {ui->lblLAT, {ui->Label3, ui->lblLAT, ui->btnclLAT}},
        {ui->lblTAT, {ui->Label4, ui->lblTAT, ui->btnclTAT}},
    };
    constexpr int kRowPitch = 30, kGap = 2;
    int shift = 0;
    for (const auto& r : rows) {
        for (QWidget* w : r.row)
            w->move(w->x(), designedTop(w) + shift);
        const int needed = r.value->heightForWidth(r.value->width());
        r.value->resize(r.value->width(), std::max(r.value->height(), needed));
        shift += std::max(0, needed - (kRowPitch - kGap));
    }
    for (QWidget* w : {static_cast<QWidget*>(ui->Bevel2), static_cast<QWidget*>(ui->Label5),
                       static_cast<QWidget*>(ui->Label6)})
        w->move(w->x(), designedTop(w) + shift);
    // The dialog grows only by what the sheet cannot hold any more. (The
    // sheet's height is the tab control's less its tabs: the designed one
    // plus what the dialog has grown already.)
    const int sheetHeight = ui->TabSheet1->height() - (ui->PageControl1->height() - m_designedPages.height());
    const int spare = sheetHeight - (designedTop(ui->Label6) + ui->Label6->height());
    const int grow = std::max(0, shift - std::max(0, spare - 8));
    ui->PageControl1->resize(m_designedPages + QSize(0, grow));
    ui->Button1->move(m_designedOk + QPoint(0, grow));
    setFixedSize(m_designedDialog + QSize(0, grow));
}

void TfrmProps::showEvent(QShowEvent* event)
{
    LayOutValues();
    if (!m_placed) {
        m_placed = true;
        kivo::CentreOnScreen(this);
    }
    QDialog::showEvent(event);
}

bool TfrmProps::ConfirmClear(const std::string& what)
{
    // The name is the entry's; it is only ever text of the box, never a format
    // (both texts go in at once, so a "%2" in the name stays as it is).
    const QString text =
        tr("Do you really want to clear %1's \n\r%2?").arg(ui->lbConn->text(), tr(what.c_str()));
    return MessageBoxA(kivo::sys::hwndOf(this), text.toLocal8Bit().constData(),
                       tr("Confirmation").toLocal8Bit().constData(),
                       MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2) == IDYES;
}

void TfrmProps::btnclNAClick(QObject*)
{
    if (!ConfirmClear(QT_TR_NOOP("Number of Accesses")))
        return;
    m_reg.WriteValue(kivo::reg::Accesses, Variant(std::int32_t(0)));
    ui->lblNA->setText("0");
    LayOutValues();
}

void TfrmProps::btnclLAClick(QObject*)
{
    if (!ConfirmClear(QT_TR_NOOP("Last of Access Date")))
        return;
    m_reg.WriteValue(kivo::reg::LastAccess, Variant(kivo::reg::NeverAccessed));
    ui->lblLA->setText(kivo::reg::NeverAccessed);
    LayOutValues();
}

void TfrmProps::btnclLATClick(QObject*)
{
    if (!ConfirmClear(QT_TR_NOOP("Last Connection Duration Time")))
        return;
    const std::string zero = SecsToStr(0);
    m_reg.WriteValue(kivo::reg::LastTime, Variant(zero));
    ui->lblLAT->setText(QString::fromStdString(zero));
    LayOutValues();
}

void TfrmProps::btnclTATClick(QObject*)
{
    if (!ConfirmClear(QT_TR_NOOP("Total Access Time")))
        return;
    const std::string zero = SecsToStr(0);
    m_reg.WriteValue(kivo::reg::TotalTime, Variant(zero));
    ui->lblTAT->setText(QString::fromStdString(zero));
    LayOutValues();
}

void TfrmProps::Button1Click(QObject*)
{
    // The button's result closes the dialog even when the refresh fails.
    accept();
    if (m_refresh)
        m_refresh();
}
