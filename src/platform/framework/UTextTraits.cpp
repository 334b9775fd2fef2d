#include "UTextTraits.h"

#include "UResources.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

void UTextTraits::AddTextTraitsFolder(const QString& folder)
{
    UResources::AddFolder(QStringLiteral("texttraits"), folder);
}

QFont ScreenPixelFont(QFont font)
{
    if (font.pixelSize() > 0 || font.pointSizeF() <= 0)
        return font;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPixelSize(std::max(1, qRound(font.pointSizeF() * dpi / 72.0)));
    return font;
}

TextTraitsRecord UTextTraits::LoadTextTraits(ResIDT traitsID)
{
    TextTraitsRecord traits;
    traits.font = QApplication::font();
    if (traitsID == 0)
        return traits;
    QJsonObject object;
    QString error;
    bool missing = false;
    if (!UResources::ReadJsonObject(QStringLiteral("texttraits"), QStringLiteral("%1.json").arg(traitsID), object, error, missing))
        return traits; // a missing or damaged style draws in the system font

    QString family = object.value(QLatin1String("font")).toString(QStringLiteral("system"));
    if (family == QLatin1String("small"))
        traits.font = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
    else if (family == QLatin1String("fixed"))
        traits.font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    else if (family != QLatin1String("system"))
        traits.font.setFamily(family);
    int size = object.value(QLatin1String("size")).toInt(0);
    if (size > 0)
        traits.font.setPixelSize(size);
    for (const QJsonValue& style : object.value(QLatin1String("style")).toArray()) {
        if (style.toString() == QLatin1String("bold"))
            traits.font.setBold(true);
        else if (style.toString() == QLatin1String("italic"))
            traits.font.setItalic(true);
        else if (style.toString() == QLatin1String("underline"))
            traits.font.setUnderline(true);
    }
    QString justification = object.value(QLatin1String("justification")).toString();
    if (justification == QLatin1String("center"))
        traits.justification = teCenter;
    else if (justification == QLatin1String("right"))
        traits.justification = teFlushRight;
    else if (justification == QLatin1String("left"))
        traits.justification = teFlushLeft;
    QColor color(object.value(QLatin1String("color")).toString(QStringLiteral("#000000")));
    if (color.isValid())
        traits.color = color;
    return traits;
}

SInt16 UTextTraits::SetPortTextTraits(QPainter& painter, ResIDT traitsID)
{
    TextTraitsRecord traits = LoadTextTraits(traitsID);
    // On paper the text keeps its size on screen: a point size would be taken at
    // the printer's resolution inside a page that is already scaled to it.
    const QPaintDevice* device = painter.device();
    const bool printing = device && device->devType() == QInternal::Printer;
    painter.setFont(printing ? ScreenPixelFont(traits.font) : traits.font);
    painter.setPen(traits.color);
    return traits.justification;
}
