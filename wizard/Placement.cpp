// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizard/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kivo
{

void CentreOnScreen(QWidget* window)
{
    QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : window;
    QScreen* screen = owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // A window already framed knows its frame; before that, the frame of
    // the window's heritage stands in for it.
    QSize outer = window->frameGeometry().size();
    if (outer == window->size())
        outer += QSize(kNominalFrameWidth, kNominalFrameHeight);
    const QRect area = screen->availableGeometry();
    // A window's position is that of its frame's top-left corner.
    window->move(area.x() + (area.width() - outer.width()) / 2,
                 area.y() + (area.height() - outer.height()) / 2);
}

} // namespace kivo
