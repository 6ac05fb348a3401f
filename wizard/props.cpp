#include "wizard/props.h"

#include "components/RegFiles.h"
#include "platform/system.h"
#include "ui_props.h"
#include "wizard/FormFont.h"
#include "wizard/Pictures.h"
#include "wizard/Stats.h"

TfrmProps::TfrmProps(QWidget* AOwner, TRegFile& reg, std::function<void()> refresh)
    : QDialog(AOwner), ui(std::make_unique<Ui::TfrmProps>()), m_reg(reg), m_refresh(std::move(refresh))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(kivo::FormFont());
    setFixedSize(361, 385);
    ui->Image1->setPixmap(kivo::pictures::EntryPixmap(32));

    connect(ui->btnclNA, &QPushButton::clicked, this, [this] { btnclNAClick(ui->btnclNA); });
    connect(ui->btnclLA, &QPushButton::clicked, this, [this] { btnclLAClick(ui->btnclLA); });
    connect(ui->btnclLAT, &QPushButton::clicked, this, [this] { btnclLATClick(ui->btnclLAT); });
    connect(ui->btnclTAT, &QPushButton::clicked, this, [this] { btnclTATClick(ui->btnclTAT); });
    connect(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(ui->Button1); });
}

TfrmProps::~TfrmProps() = default;

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
}

void TfrmProps::btnclLAClick(QObject*)
{
    if (!ConfirmClear(QT_TR_NOOP("Last of Access Date")))
        return;
    m_reg.WriteValue(kivo::reg::LastAccess, Variant(kivo::reg::NeverAccessed));
    ui->lblLA->setText(kivo::reg::NeverAccessed);
}

void TfrmProps::btnclLATClick(QObject*)
{
    if (!ConfirmClear(QT_TR_NOOP("Last Connection Duration Time")))
        return;
    const std::string zero = SecsToStr(0);
    m_reg.WriteValue(kivo::reg::LastTime, Variant(zero));
    ui->lblLAT->setText(QString::fromStdString(zero));
}

void TfrmProps::btnclTATClick(QObject*)
{
    if (!ConfirmClear(QT_TR_NOOP("Total Access Time")))
        return;
    const std::string zero = SecsToStr(0);
    m_reg.WriteValue(kivo::reg::TotalTime, Variant(zero));
    ui->lblTAT->setText(QString::fromStdString(zero));
}

void TfrmProps::Button1Click(QObject*)
{
    // The button's result closes the dialog even when the refresh fails.
    accept();
    if (m_refresh)
        m_refresh();
}
