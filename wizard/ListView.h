// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// TListView: a list of items with a caption, sub-items and an image, shown
// in one of four styles (large icons, small icons, list, details).
//
// The items live in one model; an icon view (large icons, small icons, list)
// and a report view (details) show it and share one selection model, so a
// change of style keeps the selection. Only the view of the current style is
// visible; the control takes the keyboard focus through it.
#pragma once

#include "components/Events.h"

#include <QIcon>
#include <QPixmap>
#include <QStandardItem>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <vector>

class QAbstractItemView;
class QItemSelection;
class QItemSelectionModel;
class QListView;
class QMouseEvent;
class QStackedLayout;
class QStandardItemModel;
class QTreeView;
class TListView;

// A numbered set of pictures of one size.
class TImageList : public QObject
{
    Q_OBJECT
  public:
    TImageList(QObject* AOwner, int width, int height);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Count() const { return static_cast<int>(m_images.size()); }
    // Adds a picture, scaled to the list's size; returns its index.
    int Add(const QPixmap& picture);
    // The picture at index, or a null pixmap for an index the list lacks.
    QPixmap Get(int index) const;

  private:
    int m_width, m_height;
    std::vector<QPixmap> m_images;
};

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum TItemChange { ctText, ctImage, ctState };

// An item stands for its row: the caption in the first column, the
// sub-items in the following ones.
class TListItem : public QStandardItem
{
  public:
    explicit TListItem(TListView* owner);

    QString Caption() const { return text(); }
    // Setting a caption re-sorts the list.
    void setCaption(const QString& caption);
    // The texts of the other columns, in column order.
    QStringList SubItems() const;
    void AddSubItem(const QString& text);
    void ClearSubItems();
    int ImageIndex() const { return m_imageIndex; }
    void setImageIndex(int index);
    bool Selected() const;
    void setSelected(bool selected);

    QVariant data(int role) const override;
    bool operator<(const QStandardItem& other) const override;
    int type() const override { return UserType + 1; }

  private:
    friend class TListView;
    void ShowSubItem(int column);

    TListView* m_owner;
    int m_imageIndex = 0;
    // The columns show as many of them as there are columns.
    QStringList m_subItems;
};

using TLVChangeEvent = std::function<void(QObject* Sender, TListItem* Item, TItemChange Change)>;

class TListView : public QWidget
{
    Q_OBJECT
  public:
    explicit TListView(QWidget* parent = nullptr);
    ~TListView() override;

    // Columns of the details view: caption and width.
    void AddColumn(const QString& caption, int width);
    int ColumnCount() const;
    QString ColumnCaption(int index) const;
    int ColumnWidth(int index) const;
    // Column headers do nothing when clicked unless this is set.
    bool ColumnClick() const { return m_columnClick; }
    void setColumnClick(bool clickable);

    TViewStyle ViewStyle() const { return m_style; }
    void setViewStyle(TViewStyle style);
    // Large icons take their pictures from LargeImages, the other styles
    // from SmallImages.
    TImageList* LargeImages() const { return m_large; }
    void setLargeImages(TImageList* images);
    TImageList* SmallImages() const { return m_small; }
    void setSmallImages(TImageList* images);

    // ---- items --------------------------------------------------------------

    // A new item without caption; it takes its place when the caption is set.
    TListItem* Add();
    int Count() const;
    // Items in list order.
    TListItem* Item(int index) const;
    // The item at (x, y) in the control's coordinates, or none.
    TListItem* GetItemAt(int x, int y) const;
    int SelCount() const;

    // ---- events ---------------------------------------------------------------

    // An item's text, image or selection state changed.
    TLVChangeEvent OnChange;
    // A mouse button was released over the items; X and Y in the control's
    // coordinates. The right button never changes the selection.
    TMouseEvent OnMouseUp;

    // The views, for tests that click on them.
    QListView* IconView() const { return m_icons; }
    QTreeView* ReportView() const { return m_report; }
    QWidget* CurrentView() const;
    QStandardItemModel* Model() const { return m_model; }

    // Sorts the items by caption again (a caption was set).
    void Resort();
    // The pictures of an image list changed: the items show them anew.
    void ImagesChanged();

  private:
    friend class TListItem;
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void Raise(TListItem* item, TItemChange change);
    bool IsSelected(const TListItem* item) const;
    void Select(TListItem* item, bool selected);
    QIcon IconOf(int imageIndex) const;
    void MouseReleased(QAbstractItemView* view, QMouseEvent* e);

    QStandardItemModel* m_model;
    QItemSelectionModel* m_selection;
    QStackedLayout* m_stack;
    QListView* m_icons;
    QTreeView* m_report;
    TImageList* m_large = nullptr;
    TImageList* m_small = nullptr;
    TViewStyle m_style = vsIcon;
    bool m_columnClick = true;
    // One icon per image index, holding the large and the small picture:
    // each view picks the size it shows.
    mutable std::vector<QIcon> m_iconCache;
};
