#include "UTextTraits.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

namespace {
QStringList& Folders()
{
    static QStringList folders;
    return folders;
}

QByteArray ReadTraitsResource(ResIDT traitsID)
{
    const QString name = QStringLiteral("%1.json").arg(traitsID);
    for (const QString& folder : Folders()) {
        QFile file(QDir(folder).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    QFile file(QStringLiteral(":/texttraits/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

void UTextTraits::AddTextTraitsFolder(const QString& folder)
{
    if (!Folders().contains(folder))
        Folders().prepend(folder);
}

TextTraitsRecord UTextTraits::LoadTextTraits(ResIDT traitsID)
{
    TextTraitsRecord traits;
    traits.font = QApplication::font();
    if (traitsID == 0)
        return traits;
    QJsonObject object = QJsonDocument::fromJson(ReadTraitsResource(traitsID)).object();
    if (object.isEmpty())
        return traits;
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
    painter.setFont(traits.font);
    painter.setPen(traits.color);
    return traits.justification;
}
