#include "BundleStrings.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

// Resources live in this static library; referencing them keeps the linker from
// dropping them.
static void RegisterOrvexResources()
{
    Q_INIT_RESOURCE(orvex);
}

void InitBundleResources()
{
    static const bool registered = [] {
        RegisterOrvexResources();
        return true;
    }();
    (void)registered;
}

OSStatus LoadBundleResource(const QString& relativePath, QByteArray& out)
{
    InitBundleResources();
    QFile file(QStringLiteral(":/") + relativePath);
    if (!file.open(QIODevice::ReadOnly))
        return resNotFound;
    out = file.readAll();
    return noErr;
}

namespace {

// Loaded once on first use; the table is read-only afterwards.
const QHash<QString, QString>& Table()
{
    static const QHash<QString, QString> table = [] {
        InitBundleResources();
        QHash<QString, QString> entries;
        // Each subsystem keeps its texts in a file of its own under strings/;
        // together they are one table.
        const QStringList names = QDir(QStringLiteral(":/strings")).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
        for (const QString& name : names) {
            QFile file(QStringLiteral(":/strings/") + name);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
            for (auto it = object.begin(); it != object.end(); ++it)
                entries.insert(it.key(), it.value().toString());
        }
        return entries;
    }();
    return table;
}

} // namespace

QString BundleLocalizedString(const QString& key)
{
    return Table().value(key, key);
}

bool BundleHasLocalizedString(const QString& key)
{
    return Table().contains(key);
}
