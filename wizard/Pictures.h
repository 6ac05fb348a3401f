// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wizard's pictures, drawn from the SVG files of the resource "kivo".
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace kivo::pictures
{

// The side pictures of the wizard window, 107 x 218: the steps ahead, and
// the line through (shown while dialing).
QPixmap StepsPicture();
QPixmap FinishedPicture();

// The about button's glyph: 25 x 25, 24-bit, its background in the key
// colour (the top-left pixel) that the round button paints as its face.
// The letter's soft edges are blended with `face` so they meet the button
// without a fringe.
QImage AboutGlyph(const QColor& face);
QImage AboutGlyph(); // blended with the application palette's button face
inline constexpr QRgb AboutGlyphKey = 0xFFFF00FF;

// The program's icon (window, tray, welcome page, about box): 16 x 16,
// 32 x 32 and larger sizes from the scalable drawing.
QIcon ProgramIcon();
QPixmap ProgramPixmap(int size);

// The phonebook entries' icon of the entry list, 32 x 32 and 16 x 16.
QIcon EntryIcon();
QPixmap EntryPixmap(int size);

} // namespace kivo::pictures
