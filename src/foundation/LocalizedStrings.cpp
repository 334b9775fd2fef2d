#include "LocalizedStrings.h"

#include "BundleStrings.h"
#include "LString.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

QString LocalizedStringKey(SInt16 listID, SInt16 index)
{
    return QString::number(listID) + QLatin1Char(':') + QString::number(index);
}

void GetLocalizedString(Str255& outString, SInt16 listID, SInt16 index)
{
    const QString text = BundleLocalizedString(LocalizedStringKey(listID, index));
    Str255 converted;
    if (!QStringToPString(text, converted))
        return; // not Mac Roman or longer than 255 bytes: leave the caller's text
    outString = converted;
}

QString CopyLocalizedCFString(SInt16 listID, SInt16 index)
{
    return BundleLocalizedString(LocalizedStringKey(listID, index));
}

QString CopyLocalizedString(const QString& key)
{
    return BundleLocalizedString(key);
}

void GetIndexedString(LString& outString, SInt16 listID, SInt16 index)
{
    // The framework strings hold at most 255 bytes: fetch into a Str255 and let
    // the assignment cut to the string's capacity.
    Str255 text;
    GetLocalizedString(text, listID, index);
    outString.Assign(text);
}

void InstallIndexedStringLoader()
{
    LString::SetIndexedStringLoader(&GetIndexedString);
}

OSStatus LocalizeControlTitle(QWidget* control)
{
    if (!control)
        return err_NilPointer;
    auto localize = [](const QString& key) { return BundleLocalizedString(key); };
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        const QString text = localize(button->text());
        if (text.isNull())
            return err_NilPointer;
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(localize(group->title()));
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(localize(label->text()));
    } else if (control->isWindow()) {
        control->setWindowTitle(localize(control->windowTitle()));
    } else {
        return paramErr;
    }
    return noErr;
}

void LocalizeCriteriaMenu(QMenu* menu)
{
    if (!menu)
        return;
    const QList<QAction*> items = menu->actions();
    // Items 2-6 (counted from 1, separators included) take "602:24" to "602:28".
    for (int item = 2; item <= 6 && item <= items.size(); ++item) {
        const QString text = CopyLocalizedCFString(602, SInt16(22 + item));
        if (text.isEmpty())
            return;
        items.at(item - 1)->setText(text);
    }
}
