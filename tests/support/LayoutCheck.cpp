#include "LayoutCheck.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
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
