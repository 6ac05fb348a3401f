// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "components/RndSpeed.h"

#include "platform/system/system.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace
{

// The ellipse inscribed in a rectangle, pixel by pixel: a pixel belongs to
// it when its centre lies strictly inside. Painting and the hit test use this
// one shape, so the rims are exactly its edge and nothing of the face lies
// beyond them.
struct Ellipse {
    double cx, cy, rx, ry;
    Ellipse(int left, int top, int right, int bottom)
        : cx((left + right) / 2.0), cy((top + bottom) / 2.0), rx((right - left) / 2.0),
          ry((bottom - top) / 2.0)
    {
    }
    bool contains(int x, int y) const
    {
        if (rx <= 0 || ry <= 0)
            return false;
        const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
        return dx * dx + dy * dy < 1.0;
    }
    // An inside pixel with a neighbour outside (left, right, above, below):
    // together these make a closed line one pixel wide.
    bool onEdge(int x, int y) const
    {
        return contains(x, y) &&
               (!contains(x - 1, y) || !contains(x + 1, y) || !contains(x, y - 1) || !contains(x, y + 1));
    }
    // Which side of the line from the lower-left to the upper-right of the
    // rectangle a pixel lies on: below 0 the upper-left half, above 0 the
    // lower-right half. The rims' arcs end on that line.
    double side(int x, int y) const { return (x + 0.5 - cx) / rx + (y + 0.5 - cy) / ry; }
};

TMouseButton buttonOf(Qt::MouseButton b)
{
    switch (b) {
    case Qt::RightButton:
        return mbRight;
    case Qt::MiddleButton:
        return mbMiddle;
    default:
        return mbLeft;
    }
}

TShiftState shiftOf(const QMouseEvent* e)
{
    TShiftState s = KeyShiftState(e->modifiers());
    const Qt::MouseButtons b = e->buttons();
    if (b & Qt::LeftButton)
        s |= ssLeft;
    if (b & Qt::RightButton)
        s |= ssRight;
    if (b & Qt::MiddleButton)
        s |= ssMiddle;
    return s;
}

} // namespace

TRndSpeedButton::TRndSpeedButton(QWidget* AOwner) : QWidget(AOwner)
{
    resize(25, 25);
}

QColor TRndSpeedButton::Color() const
{
    return m_colorSet ? m_color : palette().color(QPalette::Button);
}

void TRndSpeedButton::setColor(const QColor& value)
{
    if (value == Color())
        return;
    m_color = value;
    m_colorSet = true;
    update();
}

void TRndSpeedButton::setGlyph(const QImage& picture)
{
    if (picture.isNull()) {
        m_glyph = QImage();
        update();
        return;
    }
    QImage glyph(width(), height(), QImage::Format_RGB32);
    glyph.fill(picture.pixelColor(0, 0).rgb());
    {
        QPainter p(&glyph);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(0, 0), picture.convertToFormat(QImage::Format_RGB32), glyph.rect());
    }
    m_glyph = glyph;
    update();
}

void TRndSpeedButton::setGlyph(const QPixmap& picture)
{
    setGlyph(picture.toImage());
}

bool TRndSpeedButton::InEllipse(int X, int Y) const
{
    return Ellipse(0, 0, width(), height()).contains(X, Y);
}

void TRndSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (!InEllipse(X, Y))
        return;
    m_isUp = false;
    update();
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TRndSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    const bool wasPressed = !m_isUp;
    m_isUp = true;
    update();
    if (!InEllipse(X, Y))
        return;
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
    if (wasPressed && OnClick)
        OnClick(this);
}

void TRndSpeedButton::DblClick()
{
    POINT cursor{};
    GetCursorPos(&cursor);
    const QPoint local = mapFromGlobal(QPoint(cursor.x, cursor.y));
    if (!InEllipse(local.x(), local.y()))
        return;
    m_isUp = true;
    update();
    if (OnDblClick)
        OnDblClick(this);
}

void TRndSpeedButton::Paint(QPainter& canvas)
{
    const int W = width(), H = height();
    if (W <= 0 || H <= 0)
        return;
    const int gw = m_glyph.width(), gh = m_glyph.height();
    const QColor face = Color();
    const Ellipse outer(0, 0, W, H), inner(1, 1, W - 1, H - 1);

    // The face is drawn into a picture of its own that is transparent outside
    // the ellipse, then laid over the parent's background in one go.
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    img.fill(face);
    {
        QRect g(W / 2 - gw / 2 + 2, H / 2 - gh / 2 + 2, gw, gh);
        if (!m_isUp)
            g.translate(1, 1);
        QPainter p(&img);
        p.setBrush(face);
        if (!m_glyph.isNull())
            DrawTransparentGlyph(p, g, m_glyph, QRect(0, 0, gw, gh), m_glyph.pixelColor(0, 0));
    }

    // The rims, one-pixel lines of pure white, black and shadow as on the
    // window's bevels: the outer edge split between its two halves, and half
    // of the edge one pixel further in.
    const QRgb upperLeft = m_isUp ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    const QRgb lowerRight = m_isUp ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    const QRgb shadow = palette().color(QPalette::Dark).rgb();
    for (int y = 0; y < H; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < W; ++x) {
            if (!outer.contains(x, y))
                line[x] = 0; // the parent's
            else if (inner.onEdge(x, y) && (m_isUp ? inner.side(x, y) >= 0 : inner.side(x, y) <= 0))
                line[x] = shadow;
            else if (outer.onEdge(x, y))
                line[x] = outer.side(x, y) < 0 ? upperLeft : lowerRight;
        }
    }
    canvas.drawImage(QPoint(0, 0), img);
}

void TRndSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter canvas(this);
    Paint(canvas);
}

void TRndSpeedButton::mousePressEvent(QMouseEvent* event)
{
    // Accepted even outside the ellipse: the press still belongs to the
    // button (a left press keeps the pointer until its release).
    event->accept();
    const QPoint p = event->position().toPoint();
    MouseDown(buttonOf(event->button()), shiftOf(event), p.x(), p.y());
}

void TRndSpeedButton::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const QPoint p = event->position().toPoint();
    // Qt grabs the pointer for every button; only the left button should.
    // A release of another button outside the control would not reach it,
    // so the face stays pressed until a release that does.
    if (event->button() != Qt::LeftButton && !rect().contains(p))
        return;
    MouseUp(buttonOf(event->button()), shiftOf(event), p.x(), p.y());
}

void TRndSpeedButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt delivers the double-click in place of the second press: report the
    // double-click first, then that press marked as the double one.
    event->accept();
    DblClick();
    const QPoint p = event->position().toPoint();
    MouseDown(buttonOf(event->button()), shiftOf(event) | ssDouble, p.x(), p.y());
}

void DrawTransparentGlyph(QPainter& canvas, const QRect& dest, const QImage& bitmap, const QRect& src,
                          const QColor& transparent)
{
    if (bitmap.isNull())
        return;
    const int w = std::min(dest.width(), src.width());
    const int h = std::min(dest.height(), src.height());
    if (w <= 0 || h <= 0)
        return;
    QImage part = bitmap.copy(QRect(src.topLeft(), QSize(w, h))).convertToFormat(QImage::Format_RGB32);
    const QRgb key = transparent.rgb() & RGB_MASK;
    const QRgb face = canvas.brush().color().rgb();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(part.scanLine(y));
        for (int x = 0; x < w; ++x)
            if ((line[x] & RGB_MASK) == key)
                line[x] = face;
    }
    canvas.drawImage(dest.topLeft(), part);
}
