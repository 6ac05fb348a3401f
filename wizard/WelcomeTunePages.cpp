// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The welcome page (ShowWelcome), the tune page (Tune) and the about box.
// Both settings are written the moment they change, nothing is kept in
// memory only.
#include "components/RndSpeed.h"
#include "platform/ras/ras.h"
#include "ui_Select.h"
#include "wizard/about.h"
#include "wizard/Pictures.h"
#include "wizard/Select.h"
#include "wizard/Stats.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>

#include <functional>
#include <memory>

namespace
{

// Hands a control's key presses or focus losses to a handler, as the
// OnKeyDown and OnExit events of the form description do.
class EventTap : public QObject
{
  public:
    EventTap(QObject* control, std::function<bool(QEvent*)> handler)
        : QObject(control), m_handler(std::move(handler))
    {
        control->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override { return m_handler(e); }

  private:
    std::function<bool(QEvent*)> m_handler;
};

} // namespace

void TfrmSelect::SetUpWelcomeTuneAbout()
{
    ui->rdbAbout->setGlyph(kivo::pictures::AboutGlyph(ui->rdbAbout->Color()));
    ui->rdbAbout->OnClick = [this](QObject* Sender) { rdbAboutClick(Sender); };

    Od.owner = this;
    Od.title = tr("Open").toLocal8Bit().toStdString();
    Od.filter = tr("Wave files (*.wav)|*.wav").toLocal8Bit().toStdString();
    Od.defaultExt = "wav";
    Od.pathMustExist = true;
    Od.fileMustExist = true;

    wire(ui->cbShowWelcome, &QCheckBox::toggled, &TfrmSelect::cbShowWelcomeClick);
    // Key presses reach the filter before the check box acts on them, so the
    // state written is the one before a space bar toggles it; Tab is seen too.
    new EventTap(ui->cbShowWelcome, [this](QEvent* e) {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            int key = k->key();
            cbShowWelcomeKeyDown(ui->cbShowWelcome, key, KeyShiftState(k->modifiers()));
        }
        return false;
    });
    // Leaving the edit box for another control of the window stores the
    // text; the window losing the focus to another window, or a popup menu
    // opening, does not count as leaving it.
    new EventTap(ui->edTune, [this](QEvent* e) {
        if (e->type() == QEvent::FocusOut) {
            const Qt::FocusReason why = static_cast<QFocusEvent*>(e)->reason();
            if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
                edTuneExit(ui->edTune);
        }
        return false;
    });
    wire(ui->btnBrowse, &QPushButton::clicked, &TfrmSelect::btnBrowseClick);
}

void TfrmSelect::cbShowWelcomeClick(QObject*)
{
    reg->setKey(kivo::reg::AppKey);
    reg->WriteValue(kivo::reg::ShowWelcome, Variant(std::int32_t(ui->cbShowWelcome->isChecked() ? 1 : 0)));
}

void TfrmSelect::cbShowWelcomeKeyDown(QObject*, int&, TShiftState)
{
    reg->setKey(kivo::reg::AppKey);
    reg->WriteValue(kivo::reg::ShowWelcome, Variant(std::int32_t(ui->cbShowWelcome->isChecked() ? 1 : 0)));
}

void TfrmSelect::edTuneExit(QObject*)
{
    reg->setKey(kivo::reg::AppKey);
    reg->WriteValue(kivo::reg::Tune, Variant(ui->edTune->text().toLocal8Bit().toStdString()));
}

void TfrmSelect::btnBrowseClick(QObject*)
{
    const std::string chosen = kivo::sys::GetOpenFileName(Od);
    if (chosen.empty())
        return;
    Od.initialFile = chosen;
    ui->edTune->setText(QString::fromLocal8Bit(chosen.c_str()));
    reg->setKey(kivo::reg::AppKey);
    reg->WriteValue(kivo::reg::Tune, Variant(ui->edTune->text().toLocal8Bit().toStdString()));
}

void TfrmSelect::rdbAboutClick(QObject*)
{
    // Freed when it closes, also when an error interrupts the showing.
    auto box = std::make_unique<TAboutBox>(this);
    AboutBox = box.get();
    // Which dial service this run uses: the first thing to know when a dial
    // does not do what the user expects. How it is chosen is told in the
    // manual page; the trace gives the reason in full.
    box->setBackendInfo(DialServiceText(kivo::ras::backendName()));
    box->exec();
}

QString TfrmSelect::DialServiceText(const std::string& service)
{
    if (service == "nm")
        return tr("Dial service: NetworkManager, dialing the network connections set up on this computer.");
    if (service == "pppd")
        return tr("Dial service: pppd, dialing the modem connections set up on this computer.");
    return tr("Dial service: a simulation with practice entries; no modem or network is used.");
}
