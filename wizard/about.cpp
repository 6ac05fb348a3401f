// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/about.h"

#include "ui_about.h"
#include "wizard/FormFont.h"
#include "wizard/Licence.h"
#include "wizard/Pictures.h"
#include "wizard/Placement.h"

TAboutBox* AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget* AOwner) : QDialog(AOwner), ui(std::make_unique<Ui::TAboutBox>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(kivo::FormFont());
    setFixedSize(345, 247);
    ui->ProgramIcon->setPixmap(kivo::pictures::ProgramPixmap(64));
    ui->Copyright->setText(QStringLiteral("Copyright © ") + QLatin1String(kivo::licence::kCopyrightHolder));
    ui->Comments->setText(kivo::licence::AboutNotice());
    ui->lblBackend->hide();
    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox()
{
    if (AboutBox == this)
        AboutBox = nullptr;
}

void TAboutBox::setBackendInfo(const QString& text)
{
    ui->lblBackend->setText(text);
    ui->lblBackend->setVisible(!text.isEmpty());
}

void TAboutBox::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        kivo::CentreOnScreen(this);
    }
    QDialog::showEvent(event);
}
