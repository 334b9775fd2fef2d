#pragma once

#include "LLayoutData.h"

#include <QLayout>
#include <QList>

class LPane;
class LView;

// The layout of every view: its subpanes keep the frames they were given and,
// when the view is resized, follow the edges their bindings name. Qt drives it
// like any layout (a resize of the view sets its geometry); it applies the change
// from the size it last saw, so setting the same geometry again changes nothing.
class LBindingLayout : public QLayout {
public:
    explicit LBindingLayout(LView* view);
    ~LBindingLayout() override;

    void AddPane(LPane* pane);
    void RemovePane(LPane* pane);

    void addItem(QLayoutItem* item) override;
    int count() const override { return int(mItems.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override { return {}; }
    void setGeometry(const QRect& rect) override;

private:
    LView* mView;
    QList<QLayoutItem*> mItems;
    QSize mAppliedSize;
};

// A box or grid layout a dialog declares in its layout entry ("layout"), so that it
// sizes itself to its texts and fonts:
//   { "kind": "vbox" | "hbox" | "grid", "margins": n or [l, t, r, b], "spacing": n,
//     "columnSpacing": n (a grid's, between its columns),
//     "columnStretch": [...], "rowStretch": [...], "items": [ ... ] }
// An item is { "pane": ID } (with "stretch", "align", and in a grid "row", "column",
// "rowSpan", "columnSpan"), { "stretch": n } or { "spacing": n } in a box, or a
// nested layout. Panes are the view's own subpanes; each may appear once.
QLayout* MakeDeclaredLayout(const LLayoutData& data, LView* view);
