// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A bevel drawn as an etched line along its top edge (the separator above a
// wizard's buttons); the rest of its rectangle stays empty.
#pragma once

#include <QWidget>

class TBevel : public QWidget
{
    Q_OBJECT
  public:
    explicit TBevel(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
