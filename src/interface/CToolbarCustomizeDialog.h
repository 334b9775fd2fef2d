#pragma once

#include "MacTypes.h"

#include <QDialog>
#include <QStringList>

class CToolbar;
class QCheckBox;
class QComboBox;
class QListWidget;
class QListWidgetItem;

// The toolbar's customisation dialog: the allowed items above, the bar's items
// below; items are dragged from the allowed set onto the bar (or double-clicked),
// dragged along the bar to reorder, and dragged off it (or deleted) to remove
// them. Spaces and separators may appear any number of times, every other item once.
class CToolbarCustomizeDialog : public QDialog {
public:
    CToolbarCustomizeDialog(CToolbar* toolbar, QWidget* parent = nullptr);

    QStringList ItemIdentifiers() const;
    SInt32 DisplayMode() const;
    SInt32 SizeMode() const;

    // What the user can do, also for keyboard use and tests.
    void AddItem(const QString& identifier, int row = -1);
    void RemoveItem(int row);
    void MoveItem(int from, int to);
    void RestoreDefaultSet();
    QStringList AllowedIdentifiers() const;

private:
    QListWidgetItem* MakeItem(const QString& identifier) const;
    void RemoveRepeats(int keptRow);

    CToolbar* mToolbar;
    QListWidget* mAllowed = nullptr;
    QListWidget* mBar = nullptr;
    QComboBox* mDisplayMode = nullptr;
    QCheckBox* mSmall = nullptr;
};
