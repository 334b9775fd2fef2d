#include "LayoutCheck.h"

#include "DrawnText.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeView>

namespace {

constexpr int kComboAir = 4;

QString Describe(const QWidget& widget)
{
    QString text;
    if (auto* label = qobject_cast<const QLabel*>(&widget))
        text = label->text();
    else if (auto* button = qobject_cast<const QAbstractButton*>(&widget))
        text = button->text();
    else if (auto* combo = qobject_cast<const QComboBox*>(&widget))
        text = combo->currentText();
    QString name = QString::fromLatin1(widget.metaObject()->className());
    if (!widget.objectName().isEmpty())
        name += QLatin1Char('#') + widget.objectName();
    const QRect frame(widget.mapTo(widget.window(), QPoint(0, 0)), widget.size());
    name += QStringLiteral(" at %1,%2 %3x%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height());
    if (!text.isEmpty())
        name += QStringLiteral(" \"%1\"").arg(text.left(40));
    return name;
}

// Widgets whose children are their own business: a scroll area moves its
// contents, a combo box or spin box keeps its editor where its style says.
bool OwnsItsInsides(const QWidget& widget)
{
    return qobject_cast<const QAbstractScrollArea*>(&widget) || qobject_cast<const QComboBox*>(&widget)
        || qobject_cast<const QAbstractSpinBox*>(&widget) || qobject_cast<const QTabBar*>(&widget)
        || qobject_cast<const QLineEdit*>(&widget) || qobject_cast<const QAbstractButton*>(&widget);
}

// A control a user reads or works: what must neither be cut off nor covered.
bool IsControl(const QWidget& widget)
{
    return qobject_cast<const QAbstractButton*>(&widget) || qobject_cast<const QLineEdit*>(&widget)
        || qobject_cast<const QComboBox*>(&widget) || qobject_cast<const QAbstractSlider*>(&widget)
        || qobject_cast<const QAbstractSpinBox*>(&widget) || qobject_cast<const QProgressBar*>(&widget)
        || qobject_cast<const QAbstractScrollArea*>(&widget)
        || (qobject_cast<const QLabel*>(&widget) && !static_cast<const QLabel&>(widget).text().isEmpty());
}

bool TextFits(const QWidget& widget)
{
    if (auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
            return true;
        const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
        if (label->wordWrap())
            return label->heightForWidth(label->width()) <= label->height();
        const QSize needed = label->fontMetrics().size(Qt::TextShowMnemonic, label->text());
        return needed.width() <= room.width() && needed.height() <= room.height();
    }
    if (auto* combo = qobject_cast<const QComboBox*>(&widget)) {
        if (combo->isEditable() || combo->currentText().isEmpty() || combo->property("elidesText").toBool())
            return true;
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.currentText = combo->currentText();
        const QRect room = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        int needed = combo->fontMetrics().horizontalAdvance(combo->currentText());
        if (!combo->itemIcon(combo->currentIndex()).isNull())
            needed += combo->iconSize().width() + 4;
        // The text runs up to the arrow when it only just fits: keep a little air.
        return needed + kComboAir <= room.width();
    }
    auto* button = qobject_cast<const QAbstractButton*>(&widget);
    if (!button || button->text().isEmpty() || qobject_cast<const QToolButton*>(button))
        return true;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(button))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<const QRadioButton*>(button))
        contents = QStyle::SE_RadioButtonContents;
    const QRect room = button->style()->subElementRect(contents, &option, button);
    int needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width();
    if (!button->icon().isNull())
        needed += button->iconSize().width() + 4;
    return needed <= room.width();
}

void Collect(const QWidget& holder, QList<const QWidget*>& controls, QStringList& faults)
{
    const QRect inside(QPoint(0, 0), holder.size());
    for (QObject* object : holder.children()) {
        auto* widget = qobject_cast<const QWidget*>(object);
        if (!widget || widget->isWindow() || !widget->isVisibleTo(&holder) || widget->size().isEmpty())
            continue;
        if (!inside.contains(widget->geometry()))
            faults << QStringLiteral("outside its holder %1: %2").arg(Describe(holder), Describe(*widget));
        if (IsControl(*widget)) {
            controls << widget;
            if (!TextFits(*widget))
                faults << QStringLiteral("text cut off: %1").arg(Describe(*widget));
        }
        if (!OwnsItsInsides(*widget))
            Collect(*widget, controls, faults);
    }
}

} // namespace

QStringList LayoutFaults(const QWidget& window)
{
    QList<const QWidget*> controls;
    QStringList faults;
    Collect(window, controls, faults);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QRect one(controls[i]->mapTo(&window, QPoint(0, 0)), controls[i]->size());
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            // A control inside another (a label in a list's header) is its part.
            if (controls[i]->isAncestorOf(controls[j]) || controls[j]->isAncestorOf(controls[i]))
                continue;
            const QRect two(controls[j]->mapTo(&window, QPoint(0, 0)), controls[j]->size());
            const QRect common = one.intersected(two);
            // Touching frames (a pixel of focus ring) are no overlap.
            if (common.width() > 2 && common.height() > 2)
                faults << QStringLiteral("overlap: %1 and %2").arg(Describe(*controls[i]), Describe(*controls[j]));
        }
    }
    return faults;
}

void SavePictureIfAsked(QWidget& window, const QString& name)
{
    const QString folder = qEnvironmentVariable("ORVEX_SAVE_PICTURES");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    const QPixmap picture = window.grab();
    picture.save(QDir(folder).filePath(QStringLiteral("%1@%2x.png").arg(name).arg(picture.devicePixelRatio())));
}

QStringList RowFaults(const QAbstractItemView& view)
{
    QStringList faults;
    const QAbstractItemModel* model = view.model();
    if (!model)
        return faults;
    const auto* tree = qobject_cast<const QTreeView*>(&view);
    const QRect shown = view.viewport()->rect();
    const int air = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            for (int column = 0; column < model->columnCount(parent); ++column) {
                if (tree && tree->isColumnHidden(column))
                    continue;
                const QModelIndex index = model->index(row, column, parent);
                const QString text = index.data(Qt::DisplayRole).toString();
                const QRect rect = view.visualRect(index);
                if (text.isEmpty() || rect.isEmpty() || !shown.intersects(rect))
                    continue;
                QFont font = view.font();
                if (const QVariant own = index.data(Qt::FontRole); own.canConvert<QFont>())
                    font = own.value<QFont>();
                int needed = QFontMetrics(font).horizontalAdvance(text) + 2 * air;
                if (!index.data(Qt::DecorationRole).isNull())
                    needed += view.iconSize().isValid() ? view.iconSize().width() + 4
                                                        : view.style()->pixelMetric(QStyle::PM_SmallIconSize) + 4;
                if (needed > rect.width())
                    faults << QStringLiteral("row text cut off: \"%1\" needs %2 of %3 pixels in %4")
                                  .arg(text)
                                  .arg(needed)
                                  .arg(rect.width())
                                  .arg(QString::fromLatin1(view.metaObject()->className()));
            }
            const QModelIndex first = model->index(row, 0, parent);
            if (!tree || tree->isExpanded(first))
                walk(first);
        }
    };
    walk(view.rootIndex());
    return faults;
}

QStringList DrawnTextFaults(QSize size, const QStringList& whole, const std::function<void(QPainter&)>& draw)
{
    QStringList faults;
    DrawnTextDevice device(size);
    {
        QPainter painter(&device);
        draw(painter);
    }
    for (const DrawnTextDevice::Text& drawn : device.Texts()) {
        const QString& text = drawn.text;
        // Past the surface's left or right edge, where nothing scrolls to it (a
        // pixel of rounding is no cut).
        if ((drawn.box.left() < -1 || drawn.box.right() > size.width() + 1) && drawn.box.bottom() > 0
            && drawn.box.top() < size.height() && !text.trimmed().isEmpty())
            faults << QStringLiteral("drawn text past the edge: \"%1\" from %2 to %3 of %4 pixels")
                          .arg(text)
                          .arg(int(drawn.box.left()))
                          .arg(int(drawn.box.right()))
                          .arg(size.width());
        if (!text.endsWith(QChar(0x2026)))
            continue;
        const QString start = text.chopped(1).trimmed();
        for (const QString& meant : whole) {
            if (meant.startsWith(start) && meant != text)
                faults << QStringLiteral("drawn text cut off: \"%1\" of \"%2\"").arg(text, meant);
        }
    }
    return faults;
}
