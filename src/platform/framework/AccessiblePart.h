#pragma once

#include <QAccessible>
#include <QPointer>
#include <QWidget>
#include <QWindow>

// A part of a widget that screen readers see as an object of its own though it
// is none (a cell of the grid, a segment of a switch): it has no children, its
// text is not set from outside, and its parent is the widget's interface.
class AccessiblePart : public QAccessibleInterface {
public:
    explicit AccessiblePart(QWidget* owner)
        : mOwner(owner)
    {
    }

    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return mOwner ? mOwner->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(mOwner.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override { }

protected:
    QWidget* Owner() const { return mOwner; }

private:
    QPointer<QWidget> mOwner;
};
