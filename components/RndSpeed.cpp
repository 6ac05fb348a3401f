#include "components/RndSpeed.h"

#include "platform/system.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <numbers>

namespace
{

// Rectangles below are given as the drawing calls of the button's heritage
// take them: (left, top, right, bottom) with right and bottom outside the
// shape. Qt's integer QRect for an aliased outline wants the last pixel.
QRect outlineRect(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// Angle (1/16 degree, counter-clockwise from 3 o'clock) of the ellipse point
// on the radial from the centre through p. Qt measures arc angles in the
// ellipse's parameter, so the radial is scaled to the unit circle first.
int radialAngle(const QRectF& box, QPointF p)
{
    const QPointF c = box.center();
    const double rx = box.width() / 2.0, ry = box.height() / 2.0;
    const double a = std::atan2((c.y() - p.y()) / ry, (p.x() - c.x()) / rx);
    return int(std::lround(a * 180.0 / std::numbers::pi * 16.0));
}

// An arc of the ellipse in (left, top, right, bottom), counter-clockwise
// from the radial through (x1, y1) to the radial through (x2, y2).
void Arc(QPainter& canvas, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2)
{
    const QRectF box(left, top, right - left, bottom - top);
    const int start = radialAngle(box, QPointF(x1, y1));
    int span = radialAngle(box, QPointF(x2, y2)) - start;
    if (span <= 0)
        span += 360 * 16;
    canvas.drawArc(outlineRect(left, top, right, bottom), start, span);
}

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
    m_color = palette().color(QPalette::Button);
    resize(25, 25);
}

void TRndSpeedButton::setColor(const QColor& value)
{
    if (value == m_color)
        return;
    m_color = value;
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
    const double rx = width() / 2.0, ry = height() / 2.0;
    if (rx <= 0 || ry <= 0)
        return false;
    const double dx = (X + 0.5 - rx) / rx, dy = (Y + 0.5 - ry) / ry;
    return dx * dx + dy * dy < 1.0;
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
    const int gw = m_glyph.width(), gh = m_glyph.height();

    // Aliased on purpose: the rims are one-pixel lines of pure white, black
    // and shadow, as on the rest of the window's bevels.
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setBrush(m_color);
    // The outline is drawn in the face colour: Qt rasterises a full ellipse
    // and its arcs along slightly different pixels, and the rim arcs below
    // are the outline that shows.
    canvas.setPen(m_color);
    canvas.drawEllipse(outlineRect(0, 0, W, H));

    QRect g(W / 2 - gw / 2 + 2, H / 2 - gh / 2 + 2, gw, gh);
    const QColor shadow = palette().color(QPalette::Dark);
    if (!m_isUp)
        g.translate(1, 1);
    if (!m_glyph.isNull())
        DrawTransparentGlyph(canvas, g, m_glyph, QRect(0, 0, gw, gh), m_glyph.pixelColor(0, 0));

    const QColor upperLeft = m_isUp ? QColor(Qt::white) : QColor(Qt::black);
    const QColor lowerRight = m_isUp ? QColor(Qt::black) : QColor(Qt::white);
    canvas.setBrush(Qt::NoBrush);
    canvas.setPen(upperLeft);
    Arc(canvas, 0, 0, W, H, W, 0, 0, H);
    canvas.setPen(lowerRight);
    Arc(canvas, 0, 0, W, H, 0, H, W, 0);
    canvas.setPen(shadow);
    if (m_isUp)
        Arc(canvas, 1, 1, W - 1, H - 1, 1, H - 1, W - 1, 1);
    else
        Arc(canvas, 1, 1, W - 1, H - 1, W - 1, 1, 1, H - 1);
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
