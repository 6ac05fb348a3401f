// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TRndSpeedButton: a small round push button. It paints an elliptic face
// with a three-dimensional rim and a glyph, reacts to the mouse only inside
// the ellipse inscribed in its rectangle and looks pressed while a mouse
// button is held on it. Its window stays rectangular: the four corners show
// whatever the parent paints there.
#pragma once

#include "components/Events.h"

#include <QColor>
#include <QImage>
#include <QWidget>

class QPainter;

class TRndSpeedButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(QImage Glyph READ Glyph WRITE setGlyph)
  public:
    explicit TRndSpeedButton(QWidget* AOwner = nullptr);

    // True while the face is drawn raised, false while it is drawn pressed.
    bool IsUp() const { return m_isUp; }

    // The face colour. Until it is set it is the palette's button face,
    // whatever that is at the time (it follows palette changes of the
    // application or the parent). Setting the colour it already has does
    // nothing.
    QColor Color() const;
    void setColor(const QColor& value);

    // Assignment copies the top-left width x height pixels of the picture
    // into a glyph of the button's current size, one to one: a larger
    // picture is cropped, never scaled. Where a smaller picture leaves the
    // glyph unfilled it takes the picture's top-left colour, which paints
    // as the face. A null picture empties the glyph.
    const QImage& Glyph() const { return m_glyph; }
    void setGlyph(const QImage& picture);
    void setGlyph(const QPixmap& picture);

    // True when the point (client coordinates) lies inside the ellipse
    // inscribed in (0, 0, width, height), the right and bottom edges
    // excluded: a pixel belongs to the ellipse when its centre does.
    bool InEllipse(int X, int Y) const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

  protected:
    // The button's reactions with the toolkit-neutral arguments; the Qt
    // event handlers below translate into these.
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    void DblClick();
    void Paint(QPainter& canvas);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    bool m_isUp = true;
    bool m_colorSet = false;
    QColor m_color;
    QImage m_glyph;
};

// Draws src of bitmap into dest (no scaling; the smaller of the two sizes is
// copied) with every pixel of exactly the transparent colour replaced by the
// painter's current brush colour. A null bitmap draws nothing.
void DrawTransparentGlyph(QPainter& canvas, const QRect& dest, const QImage& bitmap, const QRect& src,
                          const QColor& transparent);
