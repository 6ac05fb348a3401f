// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/Pictures.h"

#include <gtest/gtest.h>

using namespace kivo::pictures;

namespace
{

// Share of pixels that are drawn (not transparent), to tell a picture from
// a blank or an unreadable resource.
double drawnShare(const QImage& img)
{
    int drawn = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            drawn += qAlpha(img.pixel(x, y)) > 0;
    return double(drawn) / (img.width() * img.height());
}

} // namespace

TEST(Pictures, SidePicturesFillTheirPanel)
{
    for (const QPixmap& p : {StepsPicture(), FinishedPicture()}) {
        ASSERT_EQ(p.size(), QSize(107, 218));
        EXPECT_EQ(drawnShare(p.toImage()), 1.0);
    }
    EXPECT_NE(StepsPicture().toImage(), FinishedPicture().toImage());
}

TEST(Pictures, AboutGlyphHasItsKeyColourTopLeftAndTheLetterOnTheFace)
{
    const QColor face(qRgb(192, 192, 192));
    const QImage g = AboutGlyph(face);
    ASSERT_EQ(g.size(), QSize(25, 25));
    EXPECT_EQ(g.format(), QImage::Format_RGB32);
    EXPECT_EQ(g.pixel(0, 0), AboutGlyphKey);
    int letter = 0, fringe = 0;
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x) {
            const QRgb c = g.pixel(x, y);
            if (c == AboutGlyphKey)
                continue;
            ++letter;
            // Soft edges lie between the letter's blue and the face: never
            // a blend with the key colour, which would show as a pink rim.
            fringe += qRed(c) > qGreen(c) + 40;
        }
    EXPECT_GT(letter, 30);
    EXPECT_EQ(fringe, 0);
}

TEST(Pictures, IconsComeInTheListAndTraySizes)
{
    for (const QIcon& icon : {ProgramIcon(), EntryIcon()}) {
        ASSERT_FALSE(icon.isNull());
        for (int size : {16, 32}) {
            const QImage img = icon.pixmap(size, size).toImage();
            EXPECT_EQ(img.size(), QSize(size, size));
            EXPECT_GT(drawnShare(img), 0.3) << size;
        }
    }
    EXPECT_EQ(ProgramPixmap(64).size(), QSize(64, 64));
    EXPECT_EQ(EntryPixmap(16).size(), QSize(16, 16));
}
