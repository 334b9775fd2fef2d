#include "IndexViewAccessible.h"

#include "AccessiblePart.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "LocalizedStrings.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWindow>

#include <memory>
#include <utility>

namespace {

IndexItemTableModel& TableOf(const CIndexView& view)
{
    return view.GetModel().ItemTable();
}

// One item of the grid: a list item named as the item, selected with it. Rows
// are the current list's; the grid forgets its children whenever the rows change.
class IndexItemAccessible : public AccessiblePart {
public:
    IndexItemAccessible(CIndexView* view, int row)
        : AccessiblePart(view)
        , mView(view)
        , mRow(row)
    {
    }

    bool isValid() const override { return View() && mRow < TableOf(*View()).rowCount(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QString text(QAccessible::Text kind) const override
    {
        CIndexItem* item = Item();
        if (!item || kind != QAccessible::Name)
            return {};
        return item->GetName();
    }

    QRect rect() const override
    {
        QRect cell;
        if (!View() || !View()->GetCellRect(mRow + 1, cell))
            return {};
        return QRect(View()->mapToGlobal(cell.topLeft()), cell.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        const CIndexView* view = View();
        state.selected = view->GetModel().IsSelected(mRow + 1);
        state.focused = view->hasFocus() && TableOf(*view).SelectionModel().currentIndex().row() == mRow;
        QRect cell;
        if (!view->GetCellRect(mRow + 1, cell) || !cell.intersects(view->rect()))
            state.offscreen = true;
        return state;
    }

private:
    CIndexView* View() const { return mView; }
    CIndexItem* Item() const
    {
        CIndexItem* item = nullptr;
        return View() && View()->GetItemAt(mRow + 1, item) ? item : nullptr;
    }

    QPointer<CIndexView> mView;
    int mRow;
};

// The grid: a list of its items, selectable many at a time.
class IndexViewAccessible : public QAccessibleWidget {
public:
    explicit IndexViewAccessible(CIndexView* view)
        : QAccessibleWidget(view, QAccessible::List)
        , mView(view)
    {
    }
    ~IndexViewAccessible() override { Forget(); }

    QString text(QAccessible::Text kind) const override
    {
        const QString text = QAccessibleWidget::text(kind);
        if (kind != QAccessible::Name || !text.isEmpty())
            return text;
        return CopyLocalizedString(QStringLiteral("ACC_INDEX_ITEMS"));
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.multiSelectable = true;
        state.focusable = true;
        return state;
    }

    int childCount() const override
    {
        Watch();
        return View()->CountItems();
    }

    QAccessibleInterface* child(int index) const override
    {
        Watch();
        if (index < 0 || index >= View()->CountItems())
            return nullptr;
        if (const auto known = mChildren.constFind(index); known != mChildren.constEnd())
            return QAccessible::accessibleInterface(*known);
        auto* made = new IndexItemAccessible(View(), index);
        mChildren.insert(index, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface*>(child));
        for (auto known = mChildren.constBegin(); known != mChildren.constEnd(); ++known) {
            if (*known == id)
                return known.key();
        }
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const SInt32 index = View()->IndexAtPoint(View()->mapFromGlobal(QPoint(x, y)), false);
        return index > 0 ? child(index - 1) : nullptr;
    }

    QAccessibleInterface* focusChild() const override
    {
        if (!View()->hasFocus())
            return nullptr;
        const int row = TableOf(*View()).SelectionModel().currentIndex().row();
        return row >= 0 ? child(row) : nullptr;
    }

private:
    CIndexView* View() const { return mView; }

    // Rows that come, go or move take their children with them; the selection
    // and the current item are told to whoever listens.
    void Watch() const
    {
        IndexItemTableModel* table = &TableOf(*View());
        if (mTable == table)
            return;
        Forget();
        mTable = table;
        mWatcher = std::make_unique<QObject>();
        auto forget = [this] { DropChildren(); };
        QObject::connect(table, &QAbstractItemModel::rowsInserted, mWatcher.get(), forget);
        QObject::connect(table, &QAbstractItemModel::rowsRemoved, mWatcher.get(), forget);
        QObject::connect(table, &QAbstractItemModel::rowsMoved, mWatcher.get(), forget);
        QObject::connect(table, &QAbstractItemModel::modelReset, mWatcher.get(), forget);
        QObject::connect(table, &QAbstractItemModel::layoutChanged, mWatcher.get(), forget);
        QObject::connect(&table->SelectionModel(), &QItemSelectionModel::selectionChanged, mWatcher.get(), [this] {
            if (!QAccessible::isActive())
                return;
            QAccessibleEvent event(View(), QAccessible::SelectionWithin);
            QAccessible::updateAccessibility(&event);
        });
        QObject::connect(&table->SelectionModel(), &QItemSelectionModel::currentChanged, mWatcher.get(),
            [this](const QModelIndex& current) {
                if (!QAccessible::isActive() || !View()->hasFocus() || !current.isValid())
                    return;
                if (QAccessibleInterface* item = child(current.row())) {
                    QAccessibleEvent event(item, QAccessible::Focus);
                    QAccessible::updateAccessibility(&event);
                }
            });
    }

    void DropChildren() const
    {
        const auto children = std::exchange(mChildren, {});
        for (QAccessible::Id id : children)
            QAccessible::deleteAccessibleInterface(id);
    }

    void Forget() const
    {
        DropChildren();
        mWatcher.reset();
        mTable.clear();
    }

    CIndexView* mView; // the grid lives as long as its interface
    mutable QHash<int, QAccessible::Id> mChildren; // by row
    mutable QPointer<IndexItemTableModel> mTable;   // the rows the children are of
    mutable std::unique_ptr<QObject> mWatcher;       // holds the connections to them
};

QAccessibleInterface* IndexViewFactory(const QString&, QObject* object)
{
    CIndexView* view = CIndexView::ViewOfPane(object);
    return view ? new IndexViewAccessible(view) : nullptr;
}

} // namespace

void InstallIndexViewAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(IndexViewFactory);
        return true;
    }();
    (void)installed;
}
