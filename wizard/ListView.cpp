// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wizard/ListView.h"

#include "wizard/SortedNames.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QMouseEvent>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTreeView>

#include <set>

namespace
{

TShiftState shiftOf(const QMouseEvent* e)
{
    TShiftState s = KeyShiftState(e->modifiers());
    if (e->buttons() & Qt::LeftButton)
        s |= ssLeft;
    if (e->buttons() & Qt::RightButton)
        s |= ssRight;
    if (e->buttons() & Qt::MiddleButton)
        s |= ssMiddle;
    return s;
}

// A view of the list's items. The secondary button is for menus: it leaves
// the selection and the current item alone. Every release is reported after
// the view has handled it.
template <class Base> class ItemView : public Base
{
  public:
    explicit ItemView(QWidget* parent) : Base(parent) {}
    std::function<void(QMouseEvent*)> released;

  protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::RightButton)
            e->accept();
        else
            Base::mousePressEvent(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::RightButton)
            e->accept();
        else
            Base::mouseDoubleClickEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::RightButton)
            e->accept();
        else
            Base::mouseReleaseEvent(e);
        if (released)
            released(e);
    }
};

} // namespace

// ---- TImageList ----------------------------------------------------------------

TImageList::TImageList(QObject* AOwner, int width, int height)
    : QObject(AOwner), m_width(width), m_height(height)
{
}

int TImageList::Add(const QPixmap& picture)
{
    m_images.push_back(
        picture.size() == QSize(m_width, m_height)
            ? picture
            : picture.scaled(m_width, m_height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return Count() - 1;
}

QPixmap TImageList::Get(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return m_images[static_cast<std::size_t>(index)];
}

// ---- TListItem ---------------------------------------------------------------------

TListItem::TListItem(TListView* owner) : m_owner(owner)
{
    setEditable(false);
    setDragEnabled(false);
    setDropEnabled(false);
}

void TListItem::setCaption(const QString& caption)
{
    setText(caption);
    m_owner->Resort();
    m_owner->Raise(this, ctText);
}

QStringList TListItem::SubItems() const
{
    return m_subItems;
}

void TListItem::AddSubItem(const QString& text)
{
    m_subItems.push_back(text);
    ShowSubItem(static_cast<int>(m_subItems.size()));
    m_owner->Raise(this, ctText);
}

void TListItem::ClearSubItems()
{
    m_subItems.clear();
    if (model())
        for (int column = 1; column < model()->columnCount(); ++column)
            ShowSubItem(column);
    m_owner->Raise(this, ctText);
}

// The cells of a row stay in place once made: taking one out of the model
// would drop the row from the selection, which refers to its cells.
void TListItem::ShowSubItem(int column)
{
    if (!model() || column >= model()->columnCount())
        return;
    const QString text = column <= m_subItems.size() ? m_subItems.at(column - 1) : QString();
    if (QStandardItem* cell = model()->item(row(), column)) {
        cell->setText(text);
        return;
    }
    auto* cell = new QStandardItem(text);
    cell->setEditable(false);
    model()->setItem(row(), column, cell);
}

void TListItem::setImageIndex(int index)
{
    if (index == m_imageIndex)
        return;
    m_imageIndex = index;
    emitDataChanged();
    m_owner->Raise(this, ctImage);
}

bool TListItem::Selected() const
{
    return m_owner->IsSelected(this);
}

void TListItem::setSelected(bool selected)
{
    m_owner->Select(this, selected);
}

QVariant TListItem::data(int role) const
{
    if (role == Qt::DecorationRole)
        return m_owner->IconOf(m_imageIndex);
    return QStandardItem::data(role);
}

bool TListItem::operator<(const QStandardItem& other) const
{
    // The order of SelectedEntries, so that the list, the confirmation page
    // and the dial order agree.
    return SortedNames::Compare(text(), other.text()) < 0;
}

// ---- TListView -----------------------------------------------------------------------

TListView::TListView(QWidget* parent)
    : QWidget(parent), m_model(new QStandardItemModel(this)),
      m_selection(new QItemSelectionModel(m_model, this)), m_stack(new QStackedLayout(this)),
      m_icons(new ItemView<QListView>(this)), m_report(new ItemView<QTreeView>(this))
{
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_icons);
    m_stack->addWidget(m_report);

    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_icons), static_cast<QAbstractItemView*>(m_report)}) {
        view->setModel(m_model);
        view->setSelectionModel(m_selection);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        // A whole row is one item, whichever view selects it.
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setDragEnabled(false);
        view->setContextMenuPolicy(Qt::NoContextMenu);
        view->viewport()->setContextMenuPolicy(Qt::NoContextMenu);
    }
    static_cast<ItemView<QListView>*>(m_icons)->released = [this](QMouseEvent* e) {
        MouseReleased(m_icons, e);
    };
    static_cast<ItemView<QTreeView>*>(m_report)->released = [this](QMouseEvent* e) {
        MouseReleased(m_report, e);
    };
    m_report->setRootIsDecorated(false);
    m_report->setItemsExpandable(false);
    m_report->setUniformRowHeights(true);
    m_report->setAllColumnsShowFocus(true);
    m_report->setSortingEnabled(false);
    m_report->header()->setStretchLastSection(false);
    m_report->header()->setSectionsMovable(false);
    m_report->header()->setSectionsClickable(m_columnClick);
    m_report->setIconSize(QSize(16, 16));

    connect(m_selection, &QItemSelectionModel::selectionChanged, this, &TListView::SelectionChanged);
    setViewStyle(vsIcon);
}

TListView::~TListView()
{
    // The views go first: they must not hear of the model's end.
    delete m_icons;
    delete m_report;
}

void TListView::AddColumn(const QString& caption, int width)
{
    const int column =
        m_model->columnCount() > 0 && m_model->horizontalHeaderItem(0) ? m_model->columnCount() : 0;
    m_model->setColumnCount(column + 1);
    m_model->setHorizontalHeaderItem(column, new QStandardItem(caption));
    m_report->setColumnWidth(column, width);
}

int TListView::ColumnCount() const
{
    return m_model->horizontalHeaderItem(0) ? m_model->columnCount() : 0;
}

QString TListView::ColumnCaption(int index) const
{
    const QStandardItem* h = m_model->horizontalHeaderItem(index);
    return h ? h->text() : QString();
}

int TListView::ColumnWidth(int index) const
{
    return m_report->columnWidth(index);
}

void TListView::setColumnClick(bool clickable)
{
    m_columnClick = clickable;
    m_report->header()->setSectionsClickable(clickable);
}

QWidget* TListView::CurrentView() const
{
    return m_stack->currentWidget();
}

void TListView::setViewStyle(TViewStyle style)
{
    QWidget* before = CurrentView();
    const bool hadFocus = before && before->hasFocus();
    m_style = style;
    if (style == vsReport) {
        m_stack->setCurrentWidget(m_report);
    } else {
        // setViewMode resets the flow, wrapping and movement: set it first.
        m_icons->setViewMode(style == vsIcon ? QListView::IconMode : QListView::ListMode);
        m_icons->setMovement(QListView::Static);
        m_icons->setResizeMode(QListView::Adjust);
        m_icons->setWrapping(true);
        m_icons->setFlow(style == vsList ? QListView::TopToBottom : QListView::LeftToRight);
        m_icons->setWordWrap(style == vsIcon);
        const TImageList* images = style == vsIcon ? m_large : m_small;
        const int side = style == vsIcon ? 32 : 16;
        m_icons->setIconSize(images ? QSize(images->Width(), images->Height()) : QSize(side, side));
        // Large icons stand in a grid with their captions wrapped below.
        m_icons->setGridSize(style == vsIcon ? QSize(76, 72) : QSize());
        m_icons->setSpacing(style == vsIcon ? 0 : 2);
        m_stack->setCurrentWidget(m_icons);
    }
    setFocusProxy(CurrentView());
    if (hadFocus)
        CurrentView()->setFocus();
}

void TListView::setLargeImages(TImageList* images)
{
    m_large = images;
    ImagesChanged();
}

void TListView::setSmallImages(TImageList* images)
{
    m_small = images;
    if (images)
        m_report->setIconSize(QSize(images->Width(), images->Height()));
    ImagesChanged();
}

void TListView::ImagesChanged()
{
    m_iconCache.clear();
    setViewStyle(m_style);
    if (m_model->rowCount() > 0)
        emit m_model->dataChanged(m_model->index(0, 0), m_model->index(m_model->rowCount() - 1, 0),
                                  {Qt::DecorationRole});
}

QIcon TListView::IconOf(int imageIndex) const
{
    if (imageIndex < 0)
        return {};
    if (m_iconCache.empty()) {
        const int n = std::max(m_large ? m_large->Count() : 0, m_small ? m_small->Count() : 0);
        for (int i = 0; i < n; ++i) {
            QIcon icon;
            for (const TImageList* images : {m_large, m_small})
                if (images && !images->Get(i).isNull())
                    icon.addPixmap(images->Get(i));
            m_iconCache.push_back(icon);
        }
    }
    return imageIndex < static_cast<int>(m_iconCache.size())
               ? m_iconCache[static_cast<std::size_t>(imageIndex)]
               : QIcon();
}

// ---- items ------------------------------------------------------------------------------

TListItem* TListView::Add()
{
    auto* item = new TListItem(this);
    m_model->appendRow(item);
    for (int column = 1; column < m_model->columnCount(); ++column)
        item->ShowSubItem(column);
    return item;
}

int TListView::Count() const
{
    return m_model->rowCount();
}

TListItem* TListView::Item(int index) const
{
    return static_cast<TListItem*>(m_model->item(index, 0));
}

TListItem* TListView::GetItemAt(int x, int y) const
{
    const auto* view = static_cast<const QAbstractItemView*>(CurrentView());
    const QPoint p = view->viewport()->mapFrom(this, QPoint(x, y));
    if (!view->viewport()->rect().contains(p))
        return nullptr;
    const QModelIndex index = view->indexAt(p);
    return index.isValid() ? Item(index.row()) : nullptr;
}

int TListView::SelCount() const
{
    return static_cast<int>(m_selection->selectedRows(0).size());
}

bool TListView::IsSelected(const TListItem* item) const
{
    return m_selection->isSelected(item->index());
}

void TListView::Select(TListItem* item, bool selected)
{
    m_selection->select(item->index(),
                        (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                            QItemSelectionModel::Rows);
}

void TListView::Resort()
{
    // Views and the selection follow the rows through the layout change.
    m_model->sort(0, Qt::AscendingOrder);
}

// ---- notifications ---------------------------------------------------------------------

void TListView::Raise(TListItem* item, TItemChange change)
{
    if (OnChange && item)
        OnChange(this, item, change);
}

void TListView::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    // One notification per item, whatever number of columns its row spans;
    // items that lost their selection first, so that a name selected in
    // another letter case in the same stroke stays chosen.
    auto rowsOf = [](const QItemSelection& s) {
        std::set<int> rows;
        for (const QItemSelectionRange& r : s)
            for (int row = r.top(); row <= r.bottom(); ++row)
                rows.insert(row);
        return rows;
    };
    const std::set<int> gone = rowsOf(deselected), added = rowsOf(selected);
    for (int row : gone)
        if (!added.count(row))
            Raise(Item(row), ctState);
    for (int row : added)
        if (!gone.count(row))
            Raise(Item(row), ctState);
}

void TListView::MouseReleased(QAbstractItemView* view, QMouseEvent* e)
{
    if (!OnMouseUp)
        return;
    const QPoint at = view->viewport()->mapTo(this, e->position().toPoint());
    const TMouseButton button = e->button() == Qt::RightButton    ? mbRight
                                : e->button() == Qt::MiddleButton ? mbMiddle
                                                                  : mbLeft;
    OnMouseUp(this, button, shiftOf(e), at.x(), at.y());
}
