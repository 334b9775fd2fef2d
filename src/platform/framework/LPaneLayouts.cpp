#include "LPaneLayouts.h"

#include "LView.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QJsonArray>
#include <set>

LBindingLayout::LBindingLayout(LView* view)
    : QLayout(view)
    , mView(view)
    , mAppliedSize(view->size())
{
    setContentsMargins(0, 0, 0, 0);
    setSizeConstraint(QLayout::SetNoConstraint);
}

LBindingLayout::~LBindingLayout()
{
    qDeleteAll(mItems);
}

void LBindingLayout::AddPane(LPane* pane)
{
    for (QLayoutItem* item : mItems) {
        if (item->widget() == pane)
            return;
    }
    addItem(new QWidgetItem(pane));
}

void LBindingLayout::RemovePane(LPane* pane)
{
    for (int i = 0; i < mItems.size(); ++i) {
        if (mItems[i]->widget() == pane) {
            delete mItems.takeAt(i);
            return;
        }
    }
}

void LBindingLayout::addItem(QLayoutItem* item)
{
    mItems.append(item);
}

QLayoutItem* LBindingLayout::itemAt(int index) const
{
    return index >= 0 && index < mItems.size() ? mItems[index] : nullptr;
}

QLayoutItem* LBindingLayout::takeAt(int index)
{
    return index >= 0 && index < mItems.size() ? mItems.takeAt(index) : nullptr;
}

QSize LBindingLayout::sizeHint() const
{
    return mView->size();
}

void LBindingLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    const QSize now = rect.size();
    const SInt32 dw = now.width() - mAppliedSize.width();
    const SInt32 dh = now.height() - mAppliedSize.height();
    mAppliedSize = now;
    if (dw == 0 && dh == 0)
        return;
    // A pane's own bindings may resize its subpanes, which may change the list.
    const std::vector<LPane*> panes = mView->GetSubPanes();
    for (LPane* pane : panes)
        pane->AdaptToSuperFrameSize(dw, dh, true);
}

namespace {

Qt::Alignment AlignmentFrom(const LLayoutData& item)
{
    Qt::Alignment alignment;
    const QStringList words = item.String("align").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (word == QLatin1String("left"))
            alignment |= Qt::AlignLeft;
        else if (word == QLatin1String("right"))
            alignment |= Qt::AlignRight;
        else if (word == QLatin1String("hcenter"))
            alignment |= Qt::AlignHCenter;
        else if (word == QLatin1String("top"))
            alignment |= Qt::AlignTop;
        else if (word == QLatin1String("bottom"))
            alignment |= Qt::AlignBottom;
        else if (word == QLatin1String("vcenter"))
            alignment |= Qt::AlignVCenter;
        else if (word == QLatin1String("center"))
            alignment |= Qt::AlignCenter;
        else
            item.Fail(QStringLiteral("\"align\" takes left, right, hcenter, top, bottom, vcenter, center"));
    }
    return alignment;
}

struct LayoutBuilder {
    LView* view;
    std::set<PaneIDT> used;

    LPane* PaneOf(const LLayoutData& item)
    {
        const PaneIDT id = PaneIDT(item.Code("pane", 0));
        LPane* found = nullptr;
        for (LPane* pane : view->GetSubPanes()) {
            if (pane->GetPaneID() == id)
                found = pane;
        }
        if (!found)
            item.Fail(QStringLiteral("\"pane\" %1 is not a subpane of the view").arg(id));
        if (!used.insert(id).second)
            item.Fail(QStringLiteral("pane %1 is laid out twice").arg(id));
        return found;
    }

    QLayout* Make(const LLayoutData& data)
    {
        const QString kind = data.String("kind");
        QLayout* layout = nullptr;
        if (kind == QLatin1String("vbox") || kind == QLatin1String("hbox"))
            layout = new QBoxLayout(kind == QLatin1String("vbox") ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
        else if (kind == QLatin1String("grid"))
            layout = new QGridLayout;
        else
            data.Fail(QStringLiteral("\"kind\" of a layout is vbox, hbox or grid"));
        try {
            Fill(data, layout);
        } catch (...) {
            delete layout;
            throw;
        }
        return layout;
    }

    void Fill(const LLayoutData& data, QLayout* layout)
    {
        if (data.Has("margins")) {
            if (data.Object().value(QLatin1String("margins")).isArray()) {
                const QList<SInt32> m = data.Ints("margins", 4);
                layout->setContentsMargins(m[0], m[1], m[2], m[3]);
            } else {
                const int m = data.Int("margins");
                layout->setContentsMargins(m, m, m, m);
            }
        }
        if (data.Has("spacing"))
            layout->setSpacing(data.Int("spacing"));
        auto* box = qobject_cast<QBoxLayout*>(layout);
        auto* grid = qobject_cast<QGridLayout*>(layout);
        if (grid) {
            const QJsonArray columns = data.Array("columnStretch");
            for (int i = 0; i < columns.size(); ++i)
                grid->setColumnStretch(i, columns[i].toInt());
            const QJsonArray rows = data.Array("rowStretch");
            for (int i = 0; i < rows.size(); ++i)
                grid->setRowStretch(i, rows[i].toInt());
            // Rows may sit closer together than a name and its value.
            if (data.Has("columnSpacing"))
                grid->setHorizontalSpacing(data.Int("columnSpacing"));
        }
        const QJsonArray items = data.Array("items");
        for (int i = 0; i < items.size(); ++i) {
            const QString where = QStringLiteral("%1 > layout item %2").arg(data.Where()).arg(i + 1);
            if (!items[i].isObject())
                data.Fail(QStringLiteral("layout item %1 is not an object").arg(i + 1));
            const LLayoutData item(items[i].toObject(), data.LayoutID(), where);
            const Qt::Alignment alignment = AlignmentFrom(item);
            if (grid) {
                const int row = item.Int("row", -1), column = item.Int("column", -1);
                if (row < 0 || column < 0)
                    item.Fail(QStringLiteral("a grid item needs \"row\" and \"column\""));
                const int rowSpan = std::max(1, int(item.Int("rowSpan", 1)));
                const int columnSpan = std::max(1, int(item.Int("columnSpan", 1)));
                if (item.Has("kind"))
                    grid->addLayout(Make(item), row, column, rowSpan, columnSpan, alignment);
                else
                    grid->addWidget(PaneOf(item), row, column, rowSpan, columnSpan, alignment);
            } else if (item.Has("kind")) {
                box->addLayout(Make(item), item.Int("stretch", 0));
            } else if (item.Has("pane")) {
                box->addWidget(PaneOf(item), item.Int("stretch", 0), alignment);
            } else if (item.Has("stretch")) {
                box->addStretch(item.Int("stretch"));
            } else if (item.Has("spacing")) {
                box->addSpacing(item.Int("spacing"));
            } else {
                item.Fail(QStringLiteral("a layout item is a pane, a stretch, a spacing or a layout"));
            }
        }
    }
};

} // namespace

QLayout* MakeDeclaredLayout(const LLayoutData& data, LView* view)
{
    LayoutBuilder builder { view, {} };
    return builder.Make(data);
}
