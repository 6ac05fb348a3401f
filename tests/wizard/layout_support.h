// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Whether a window's fixed layout shows everything: what is cut off or
// overlaps among the controls of one container, as the user would see it.
#pragma once

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QWidget>

#include <string>
#include <vector>

namespace kivo::test
{

inline std::string nameOf(const QWidget* w)
{
    return w->objectName().isEmpty() ? std::string(w->metaObject()->className())
                                     : w->objectName().toStdString();
}

inline std::string rectText(const QRect& r)
{
    return "(" + std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height()) + ")";
}

// The pixels a label's text covers, relative to the label, painted as the
// label paints it (its alignment, wrapped where it wraps) but without being
// cut off at its edges: whatever lies outside the label's rectangle is what
// the user does not see.
inline QRect inkOf(const QLabel* l)
{
    constexpr int kMargin = 200;
    QImage img(l->width() + 2 * kMargin, l->height() + 2 * kMargin, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setFont(l->font());
        p.setPen(Qt::black);
        const int flags = int(l->alignment()) | (l->wordWrap() ? Qt::TextWordWrap : 0) | Qt::TextDontClip;
        p.drawText(QRect(kMargin, kMargin, l->width(), l->height()), flags, l->text());
    }
    QRect ink;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 0)
                ink |= QRect(x - kMargin, y - kMargin, 1, 1);
    return ink;
}

// One line per fault among the shown controls placed directly on
// `container`: a control reaching beyond the container, two controls
// overlapping, a label whose text does not fit in it.
inline std::vector<std::string> layoutFaults(const QWidget* container)
{
    std::vector<std::string> faults;
    std::vector<const QWidget*> shown;
    for (const QWidget* w : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(container) && !w->isWindow())
            shown.push_back(w);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const QWidget* w = shown[i];
        if (!container->rect().contains(w->geometry()))
            faults.push_back(nameOf(w) + " " + rectText(w->geometry()) + " reaches beyond " +
                             nameOf(container) + " " + rectText(container->rect()));
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            if (w->geometry().intersects(shown[j]->geometry()))
                faults.push_back(nameOf(w) + " " + rectText(w->geometry()) + " overlaps " + nameOf(shown[j]) +
                                 " " + rectText(shown[j]->geometry()));
        if (const auto* l = qobject_cast<const QLabel*>(w);
            l && !l->text().isEmpty() && l->pixmap().isNull()) {
            const QRect ink = inkOf(l);
            if (!QRect(QPoint(0, 0), l->size()).contains(ink))
                faults.push_back(nameOf(l) + " \"" + l->text().toStdString() + "\" is painted at " +
                                 rectText(ink) + ", outside its " + std::to_string(l->width()) + "x" +
                                 std::to_string(l->height()));
            // Seen from its place on the container: the text must not run
            // into another control either.
            for (const QWidget* other : shown)
                if (other != w && ink.translated(w->pos()).intersects(other->geometry()))
                    faults.push_back(nameOf(l) + "'s text runs into " + nameOf(other));
        }
    }
    return faults;
}

inline std::string joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines)
        s += l + "\n";
    return s;
}

} // namespace kivo::test
