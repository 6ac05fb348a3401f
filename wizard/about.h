// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The about box: product name, version, copyright and licence, a request
// for comments, and a line for the machine's backends, closed with OK.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class TAboutBox;
}

class TAboutBox : public QDialog
{
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* AOwner = nullptr);
    ~TAboutBox() override;

    // A line telling which backends this run uses (empty hides it).
    void setBackendInfo(const QString& text);

    std::unique_ptr<Ui::TAboutBox> ui;

  protected:
    // Opens centred on the screen rather than over its owner.
    void showEvent(QShowEvent* event) override;

  private:
    bool m_placed = false;
};

// The box while it is shown (set by whoever opens it), else null.
extern TAboutBox* AboutBox;
