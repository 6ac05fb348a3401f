// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "components/RndSpeed.h"

#include "tests/support/testsupport.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

const QRgb kBackground = qRgb(1, 2, 3); // what the parent "paints" behind the button
const QRgb kKey = qRgb(255, 0, 255);    // glyph background
const QRgb kMark = qRgb(200, 30, 40);

// The button as it paints itself over a known background.
QImage rendered(TRndSpeedButton& b)
{
    QImage img(b.size(), QImage::Format_RGB32);
    img.fill(kBackground);
    b.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

QRgb at(const QImage& img, int x, int y)
{
    return img.pixel(x, y);
}

QRgb rgb(Qt::GlobalColor c)
{
    return QColor(c).rgb();
}

// A glyph of the key colour with one marked pixel.
QImage markedGlyph(int w, int h, QPoint mark)
{
    QImage g(w, h, QImage::Format_RGB32);
    g.fill(kKey);
    g.setPixel(mark, kMark);
    return g;
}

// Sends one mouse event the way a window delivers it to the widget.
void mouse(QWidget& w, QEvent::Type type, Qt::MouseButton button, QPoint pos, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(pos), QPointF(w.mapToGlobal(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}
void press(QWidget& w, QPoint pos, Qt::MouseButton b = Qt::LeftButton)
{
    mouse(w, QEvent::MouseButtonPress, b, pos, b);
}
void release(QWidget& w, QPoint pos, Qt::MouseButton b = Qt::LeftButton)
{
    mouse(w, QEvent::MouseButtonRelease, b, pos, Qt::NoButton);
}

std::string name(TMouseButton b)
{
    return b == mbLeft ? "L" : b == mbRight ? "R" : "M";
}

// Records the button's events as short words.
struct Recorder {
    std::vector<std::string> log;
    explicit Recorder(TRndSpeedButton& b)
    {
        b.OnMouseDown = [this, &b](QObject* s, TMouseButton mb, TShiftState sh, int, int) {
            EXPECT_EQ(s, &b);
            log.push_back("down" + name(mb) + (sh.testFlag(ssDouble) ? "+double" : ""));
        };
        b.OnMouseUp = [this](QObject*, TMouseButton mb, TShiftState, int, int) {
            log.push_back("up" + name(mb));
        };
        b.OnClick = [this](QObject*) { log.push_back("click"); };
        b.OnDblClick = [this](QObject*) { log.push_back("dblclick"); };
    }
};

using Log = std::vector<std::string>;

const QPoint kInside(12, 12), kCorner(1, 1), kOutsideControl(40, 40);

} // namespace

TEST(RndSpeedButton, NewButtonIsRaisedEmptyAndButtonFaceColoured)
{
    TRndSpeedButton b;
    EXPECT_EQ(b.size(), QSize(25, 25));
    EXPECT_TRUE(b.IsUp());
    EXPECT_EQ(b.Color(), b.palette().color(QPalette::Button));
    EXPECT_TRUE(b.Glyph().isNull());

    const QImage img = rendered(b);
    // Corners belong to the parent, the middle is the face.
    for (QPoint p : {QPoint(0, 0), QPoint(24, 0), QPoint(0, 24), QPoint(24, 24), QPoint(2, 2)})
        EXPECT_EQ(at(img, p.x(), p.y()), kBackground) << p.x() << "," << p.y();
    EXPECT_EQ(at(img, 12, 12), b.Color().rgb());
}

TEST(RndSpeedButton, RimsSwapBetweenRaisedAndPressed)
{
    TRndSpeedButton b;
    b.setColor(QColor(qRgb(100, 110, 120)));
    const QRgb shadow = b.palette().color(QPalette::Dark).rgb();

    QImage up = rendered(b);
    EXPECT_EQ(at(up, 0, 12), rgb(Qt::white));  // left
    EXPECT_EQ(at(up, 12, 0), rgb(Qt::white));  // top
    EXPECT_EQ(at(up, 4, 3), rgb(Qt::white));   // upper-left diagonal
    EXPECT_EQ(at(up, 24, 12), rgb(Qt::black)); // right
    EXPECT_EQ(at(up, 12, 24), rgb(Qt::black)); // bottom
    EXPECT_EQ(at(up, 21, 20), rgb(Qt::black)); // lower-right diagonal
    EXPECT_EQ(at(up, 20, 21), rgb(Qt::black));
    EXPECT_EQ(at(up, 23, 12), shadow); // inner ring, lower-right only
    EXPECT_EQ(at(up, 12, 23), shadow);
    EXPECT_NE(at(up, 1, 12), shadow);
    EXPECT_NE(at(up, 12, 1), shadow);

    press(b, kInside);
    EXPECT_FALSE(b.IsUp());
    QImage down = rendered(b);
    EXPECT_EQ(at(down, 0, 12), rgb(Qt::black));
    EXPECT_EQ(at(down, 12, 0), rgb(Qt::black));
    EXPECT_EQ(at(down, 4, 3), rgb(Qt::black));
    EXPECT_EQ(at(down, 24, 12), rgb(Qt::white));
    EXPECT_EQ(at(down, 12, 24), rgb(Qt::white));
    EXPECT_EQ(at(down, 21, 20), rgb(Qt::white));
    EXPECT_EQ(at(down, 1, 12), shadow); // inner ring, upper-left only
    EXPECT_EQ(at(down, 12, 1), shadow);
    EXPECT_NE(at(down, 23, 12), shadow);
    EXPECT_EQ(at(down, 0, 0), kBackground);
}

TEST(RndSpeedButton, GlyphSitsAtTwoTwoRaisedAndMovesOnePixelWhenPressed)
{
    TRndSpeedButton b;
    b.setGlyph(markedGlyph(25, 25, QPoint(6, 8)));
    QImage up = rendered(b);
    EXPECT_EQ(at(up, 2 + 6, 2 + 8), kMark);
    EXPECT_NE(at(up, 3 + 6, 3 + 8), kMark);

    press(b, kInside);
    QImage down = rendered(b);
    EXPECT_EQ(at(down, 3 + 6, 3 + 8), kMark);
    EXPECT_NE(at(down, 2 + 6, 2 + 8), kMark);

    // A smaller glyph is centred, then moved by the same two pixels.
    TRndSpeedButton big;
    big.resize(41, 31);
    big.setGlyph(markedGlyph(25, 25, QPoint(0, 0))); // the glyph becomes 41 x 31
    EXPECT_EQ(big.Glyph().size(), QSize(41, 31));
}

TEST(RndSpeedButton, GlyphKeyColourTakesTheFaceColour)
{
    TRndSpeedButton b;
    b.setGlyph(markedGlyph(25, 25, QPoint(14, 14)));
    b.setColor(QColor(qRgb(0, 128, 0)));
    QImage img = rendered(b);
    EXPECT_EQ(at(img, 12, 12), qRgb(0, 128, 0)); // key pixel of the glyph
    EXPECT_EQ(at(img, 12, 15), qRgb(0, 128, 0));
    EXPECT_EQ(at(img, 2 + 14, 2 + 14), kMark);

    b.setColor(QColor(qRgb(10, 20, 200)));
    img = rendered(b);
    EXPECT_EQ(at(img, 12, 16), qRgb(10, 20, 200));
    EXPECT_EQ(at(img, 2 + 14, 2 + 14), kMark);
}

TEST(RndSpeedButton, GlyphAssignmentCropsWithoutScaling)
{
    TRndSpeedButton b;
    QImage picture(40, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            picture.setPixel(x, y, qRgb(x * 6, y * 6, 7));
    b.setGlyph(picture);
    ASSERT_EQ(b.Glyph().size(), QSize(25, 25));
    for (QPoint p : {QPoint(0, 0), QPoint(10, 3), QPoint(24, 24), QPoint(24, 0)})
        EXPECT_EQ(b.Glyph().pixel(p), picture.pixel(p)) << p.x() << "," << p.y();

    // A smaller picture leaves the rest in its transparent colour.
    QImage small(5, 5, QImage::Format_RGB32);
    small.fill(kKey);
    small.setPixel(4, 4, kMark);
    b.setGlyph(QPixmap::fromImage(small));
    ASSERT_EQ(b.Glyph().size(), QSize(25, 25));
    EXPECT_EQ(b.Glyph().pixel(4, 4), kMark);
    EXPECT_EQ(b.Glyph().pixel(20, 20), kKey);

    b.setGlyph(QImage());
    EXPECT_TRUE(b.Glyph().isNull());
}

TEST(RndSpeedButton, DrawTransparentGlyphReplacesExactlyTheKeyColour)
{
    QImage bmp(3, 1, QImage::Format_RGB32);
    bmp.setPixel(0, 0, kKey);
    bmp.setPixel(1, 0, qRgb(255, 0, 254)); // one step off the key: stays
    bmp.setPixel(2, 0, kKey);
    QImage dest(5, 1, QImage::Format_RGB32);
    dest.fill(kBackground);
    {
        QPainter p(&dest);
        p.setBrush(QColor(qRgb(9, 9, 9)));
        DrawTransparentGlyph(p, QRect(1, 0, 3, 1), bmp, QRect(0, 0, 3, 1), QColor(kKey));
        DrawTransparentGlyph(p, QRect(4, 0, 1, 1), QImage(), QRect(0, 0, 1, 1), QColor(kKey));
    }
    EXPECT_EQ(at(dest, 0, 0), kBackground);
    EXPECT_EQ(at(dest, 1, 0), qRgb(9, 9, 9));
    EXPECT_EQ(at(dest, 2, 0), qRgb(255, 0, 254));
    EXPECT_EQ(at(dest, 3, 0), qRgb(9, 9, 9));
    EXPECT_EQ(at(dest, 4, 0), kBackground); // no bitmap, nothing drawn
}

namespace
{

// Pixels of the face colour that can be reached from the image's border
// without crossing a rim pixel (white, black or shadow): face showing
// beyond the rims. A rim with a gap lets the search into the face, so a
// broken outline is caught too.
std::vector<QPoint> faceOutsideTheRims(const QImage& img, QRgb face, QRgb shadow)
{
    const auto isRim = [&](QRgb c) { return c == rgb(Qt::white) || c == rgb(Qt::black) || c == shadow; };
    std::vector<QPoint> found, todo;
    std::vector<bool> seen(std::size_t(img.width() * img.height()), false);
    const auto visit = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= img.width() || y >= img.height())
            return;
        const auto i = std::size_t(y * img.width() + x);
        if (seen[i] || isRim(img.pixel(x, y)))
            return;
        seen[i] = true;
        todo.push_back(QPoint(x, y));
    };
    for (int i = 0; i < img.width(); ++i) {
        visit(i, 0);
        visit(i, img.height() - 1);
    }
    for (int i = 0; i < img.height(); ++i) {
        visit(0, i);
        visit(img.width() - 1, i);
    }
    while (!todo.empty()) {
        const QPoint p = todo.back();
        todo.pop_back();
        if (img.pixel(p) == face)
            found.push_back(p);
        visit(p.x() - 1, p.y());
        visit(p.x() + 1, p.y());
        visit(p.x(), p.y() - 1);
        visit(p.x(), p.y() + 1);
    }
    return found;
}

std::string listed(const std::vector<QPoint>& points)
{
    std::string s;
    for (QPoint p : points)
        s += "(" + std::to_string(p.x()) + "," + std::to_string(p.y()) + ") ";
    return s;
}

} // namespace

TEST(RndSpeedButton, NoFaceShowsOutsideTheRims)
{
    // A face colour other than the parent's, raised and pressed, without a
    // glyph and with the wizard's kind of glyph (a key colour filling most
    // of it, so its transparent pixels reach the corners of the button).
    const QRgb face = qRgb(0, 128, 128);
    for (const QSize size : {QSize(25, 25), QSize(24, 24), QSize(41, 31), QSize(16, 30)}) {
        for (const bool withGlyph : {false, true}) {
            TRndSpeedButton b;
            b.resize(size);
            b.setColor(QColor(face));
            if (withGlyph)
                b.setGlyph(
                    markedGlyph(size.width(), size.height(), QPoint(size.width() / 2, size.height() / 2)));
            const QRgb shadow = b.palette().color(QPalette::Dark).rgb();
            const std::string what = std::to_string(size.width()) + "x" + std::to_string(size.height()) +
                                     (withGlyph ? " with glyph" : "");
            const QImage up = rendered(b);
            EXPECT_EQ(listed(faceOutsideTheRims(up, face, shadow)), "") << what << ", raised";
            EXPECT_EQ(at(up, size.width() / 2, size.height() / 2 - 3), face) << what << ": the face is there";
            press(b, kInside);
            const QImage down = rendered(b);
            EXPECT_EQ(listed(faceOutsideTheRims(down, face, shadow)), "") << what << ", pressed";
            release(b, kInside);

            // Outside the ellipse only the parent shows.
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    if (!b.InEllipse(x, y)) {
                        ASSERT_EQ(at(up, x, y), kBackground) << what << " at " << x << "," << y;
                    }
        }
    }
}

TEST(RndSpeedButton, AColourNeverSetFollowsThePalette)
{
    QWidget parent;
    parent.resize(60, 40);
    auto* plain = new TRndSpeedButton(&parent);
    auto* coloured = new TRndSpeedButton(&parent);
    coloured->move(30, 0);
    coloured->setColor(QColor(qRgb(200, 0, 0)));

    // The parent's palette changes: the button that was never given a colour
    // paints the new button face, the other keeps its own.
    QPalette p = parent.palette();
    p.setColor(QPalette::Button, QColor(qRgb(10, 150, 20)));
    parent.setPalette(p);
    EXPECT_EQ(plain->Color().rgb(), qRgb(10, 150, 20));
    EXPECT_EQ(at(rendered(*plain), 12, 8), qRgb(10, 150, 20));
    EXPECT_EQ(at(rendered(*coloured), 12, 8), qRgb(200, 0, 0));

    // The application's palette changes (a desktop theme change).
    const QPalette before = QApplication::palette();
    QPalette app = before;
    app.setColor(QPalette::Button, QColor(qRgb(90, 60, 140)));
    QApplication::setPalette(app);
    TRndSpeedButton alone;
    EXPECT_EQ(at(rendered(alone), 12, 8), qRgb(90, 60, 140));
    QApplication::setPalette(before);

    // A change of palette repaints the button on the screen as well.
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    int paints = 0;
    struct Counter : QObject {
        int& n;
        explicit Counter(int& c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            n += e->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter(paints);
    plain->installEventFilter(&counter);
    p.setColor(QPalette::Button, QColor(qRgb(250, 250, 0)));
    parent.setPalette(p);
    EXPECT_TRUE(kivo::test::waitUntil([&] { return paints > 0; }));
    EXPECT_EQ(at(plain->grab().toImage(), 12, 8), qRgb(250, 250, 0));
}

TEST(RndSpeedButton, NewColourRepaintsAndTheSameColourDoesNot)
{
    QWidget window;
    window.resize(100, 40);
    auto* b = new TRndSpeedButton(&window);
    auto* other = new QWidget(&window);
    other->setGeometry(50, 0, 40, 40);
    int buttonPaints = 0, otherPaints = 0;
    struct Counter : QObject {
        int& n;
        explicit Counter(int& c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++n;
            return false;
        }
    } countButton(buttonPaints), countOther(otherPaints);
    b->installEventFilter(&countButton);
    other->installEventFilter(&countOther);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(kivo::test::waitUntil([&] { return buttonPaints > 0; }));

    buttonPaints = 0;
    b->setColor(QColor(Qt::red));
    EXPECT_TRUE(kivo::test::waitUntil([&] { return buttonPaints > 0; }));

    // Same colour: repaint a sibling in the same window. Dirty widgets of a
    // window are painted together, so a pending button repaint would show.
    buttonPaints = otherPaints = 0;
    b->setColor(QColor(Qt::red));
    other->update();
    ASSERT_TRUE(kivo::test::waitUntil([&] { return otherPaints > 0; }));
    EXPECT_EQ(buttonPaints, 0);
}

TEST(RndSpeedButton, HitTestExcludesCornersAndTheRightAndBottomEdge)
{
    TRndSpeedButton b;
    for (QPoint p :
         {QPoint(0, 0), QPoint(24, 0), QPoint(0, 24), QPoint(24, 24), QPoint(2, 2), QPoint(22, 22)})
        EXPECT_FALSE(b.InEllipse(p.x(), p.y())) << p.x() << "," << p.y();
    for (QPoint p :
         {QPoint(12, 0), QPoint(0, 12), QPoint(24, 12), QPoint(12, 24), QPoint(12, 12), QPoint(4, 4)})
        EXPECT_TRUE(b.InEllipse(p.x(), p.y())) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(25, 12), QPoint(12, 25), QPoint(-1, 12), QPoint(12, -1)})
        EXPECT_FALSE(b.InEllipse(p.x(), p.y())) << p.x() << "," << p.y();
    // The same shape mirrored both ways: no pixel bias to one side.
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x) {
            EXPECT_EQ(b.InEllipse(x, y), b.InEllipse(24 - x, y)) << x << "," << y;
            EXPECT_EQ(b.InEllipse(x, y), b.InEllipse(x, 24 - y)) << x << "," << y;
        }

    b.resize(40, 20); // follows the current size
    EXPECT_TRUE(b.InEllipse(39, 10));
    EXPECT_TRUE(b.InEllipse(0, 10));
    EXPECT_FALSE(b.InEllipse(40, 10));
    EXPECT_FALSE(b.InEllipse(20, 20));
    EXPECT_TRUE(b.InEllipse(20, 19));
    EXPECT_FALSE(b.InEllipse(3, 2));
}

TEST(RndSpeedButton, ClickInsideRaisesDownUpClickInOrder)
{
    TRndSpeedButton b;
    Recorder r(b);
    press(b, kInside);
    EXPECT_EQ(r.log, (Log{"downL"}));
    release(b, kInside);
    EXPECT_EQ(r.log, (Log{"downL", "upL", "click"}));
    EXPECT_TRUE(b.IsUp());
}

TEST(RndSpeedButton, PressOutsideTheEllipseDoesNothing)
{
    TRndSpeedButton b;
    Recorder r(b);
    press(b, kCorner);
    EXPECT_TRUE(r.log.empty());
    EXPECT_TRUE(b.IsUp());
    // ... and a release inside afterwards reports the release only.
    release(b, kInside);
    EXPECT_EQ(r.log, (Log{"upL"}));
}

TEST(RndSpeedButton, ReleaseOutsideRaisesTheFaceSilently)
{
    TRndSpeedButton b;
    Recorder r(b);
    press(b, kInside);
    release(b, kCorner);
    EXPECT_EQ(r.log, (Log{"downL"}));
    EXPECT_TRUE(b.IsUp());

    // The left button keeps the pointer: a release beyond the control
    // still arrives and raises the face.
    press(b, kInside);
    release(b, kOutsideControl);
    EXPECT_EQ(r.log, (Log{"downL", "downL"}));
    EXPECT_TRUE(b.IsUp());
}

TEST(RndSpeedButton, RightButtonClicksButDoesNotKeepThePointer)
{
    TRndSpeedButton b;
    Recorder r(b);
    press(b, kInside, Qt::RightButton);
    release(b, kInside, Qt::RightButton);
    EXPECT_EQ(r.log, (Log{"downR", "upR", "click"}));

    r.log.clear();
    press(b, kInside, Qt::RightButton);
    release(b, kOutsideControl, Qt::RightButton);
    EXPECT_EQ(r.log, (Log{"downR"}));
    EXPECT_FALSE(b.IsUp()); // stays pressed until a release that arrives

    release(b, kInside, Qt::LeftButton);
    EXPECT_EQ(r.log, (Log{"downR", "upL", "click"}));
    EXPECT_TRUE(b.IsUp());
}

// A button shown in a window, so that it has a place on the screen for the
// cursor test of a double click.
struct ShownButton : ::testing::Test {
    QWidget window;
    TRndSpeedButton* b = new TRndSpeedButton(&window);
    void SetUp() override
    {
        b->move(10, 10);
        window.resize(60, 60);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void doubleClickAt(QPoint p)
    {
        QCursor::setPos(b->mapToGlobal(p));
        mouse(*b, QEvent::MouseButtonDblClick, Qt::LeftButton, p, Qt::LeftButton);
    }
};

TEST_F(ShownButton, DoubleClickOrder)
{
    Recorder r(*b);
    press(*b, kInside);
    release(*b, kInside);
    doubleClickAt(kInside);
    release(*b, kInside);
    EXPECT_EQ(r.log, (Log{"downL", "upL", "click", "dblclick", "downL+double", "upL", "click"}));
    EXPECT_TRUE(b->IsUp());
}

TEST_F(ShownButton, DoubleClickWithTheCursorOutsideTheEllipseIsNoDoubleClick)
{
    Recorder r(*b);
    doubleClickAt(kCorner);
    EXPECT_TRUE(r.log.empty());
}

TEST(RndSpeedButton, EventsWithoutHandlersAreHarmless)
{
    TRndSpeedButton b;
    press(b, kInside);
    release(b, kInside);
    mouse(b, QEvent::MouseButtonDblClick, Qt::LeftButton, kInside, Qt::LeftButton);
    release(b, kInside);
    EXPECT_TRUE(b.IsUp());
}
