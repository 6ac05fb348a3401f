// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/Pictures.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

// The resource lives in a static library: its initialiser is only linked
// in when something refers to it.
static void initResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(kivo);
        return true;
    }();
    (void)done;
}

namespace kivo::pictures
{
namespace
{

QImage render(const char* name, int w, int h)
{
    initResources();
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QSvgRenderer svg(QString(":/kivo/") + name);
    QPainter p(&img);
    svg.render(&p);
    return img;
}

QIcon icon(const char* name)
{
    QIcon result;
    for (int size : {16, 22, 32, 48, 64})
        result.addPixmap(QPixmap::fromImage(render(name, size, size)));
    return result;
}

} // namespace

QPixmap StepsPicture()
{
    return QPixmap::fromImage(render("steps.svg", 107, 218));
}

QPixmap FinishedPicture()
{
    return QPixmap::fromImage(render("finished.svg", 107, 218));
}

QImage AboutGlyph(const QColor& face)
{
    const QImage letter = render("about.svg", 25, 25);
    QImage glyph(25, 25, QImage::Format_RGB32);
    glyph.fill(AboutGlyphKey);
    const QRgb back = face.rgb();
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x) {
            const QRgb c = letter.pixel(x, y); // unpremultiplied
            const int a = qAlpha(c);
            if (a == 0)
                continue;
            auto mix = [a](int fg, int bg) { return (fg * a + bg * (255 - a) + 127) / 255; };
            glyph.setPixel(
                x, y,
                qRgb(mix(qRed(c), qRed(back)), mix(qGreen(c), qGreen(back)), mix(qBlue(c), qBlue(back))));
        }
    return glyph;
}

QImage AboutGlyph()
{
    return AboutGlyph(QApplication::palette().color(QPalette::Button));
}

QIcon ProgramIcon()
{
    return icon("kivo.svg");
}

QPixmap ProgramPixmap(int size)
{
    return QPixmap::fromImage(render("kivo.svg", size, size));
}

QIcon EntryIcon()
{
    return icon("entry.svg");
}

QPixmap EntryPixmap(int size)
{
    return QPixmap::fromImage(render("entry.svg", size, size));
}

} // namespace kivo::pictures
