#pragma once

#include <QString>
#include <QStringList>

#include <QSize>

#include <functional>

class QAbstractItemView;
class QPainter;
class QWidget;

// What a user would find broken in a window as it is laid out: a control lying
// wholly or partly outside the widget that holds it (cut off, or off the window's
// edge), a label or button whose text does not fit it, two controls drawn over
// each other. One line per fault, naming the widget by its class, pane ID or text.
// The insides of Qt's own composite widgets (scroll areas, combo boxes) are theirs;
// a widget with the property "elidesText" shortens its own text and is never cut.
QStringList LayoutFaults(const QWidget& window);

// The rows of a list or tree as the user sees them: a row whose text does not fit
// its column (cut off with an ellipsis), one line per fault naming the row.
QStringList RowFaults(const QAbstractItemView& view);

// The texts of `whole` that `draw` paints cut off with an ellipsis on a surface
// of the size (a grid's labels, a strip's message), and any text it paints past
// the surface's left or right edge, one line each.
QStringList DrawnTextFaults(QSize size, const QStringList& whole, const std::function<void(QPainter&)>& draw);

// Saves the window's picture as "<name>@<ratio>x.png" in the folder named by
// ORVEX_SAVE_PICTURES, when it is set (run once more with QT_SCALE_FACTOR=2 for
// the double-density pictures).
void SavePictureIfAsked(QWidget& window, const QString& name);
