#include "BundleStrings.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

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
        // Each subsystem keeps its texts in a file of its own under strings/;
        // together they are one table, in the files' order.
        std::vector<QJsonObject> files;
        qsizetype count = 0;
        for (const QString& name : QDir(QStringLiteral(":/strings")).entryList(QDir::Files, QDir::Name)) {
            QFile file(QStringLiteral(":/strings/") + name);
            if (!name.endsWith(QLatin1String(".json")) || !file.open(QIODevice::ReadOnly))
                continue;
            count += files.emplace_back(QJsonDocument::fromJson(file.readAll()).object()).size();
        }
        QHash<QString, QString> entries;
        entries.reserve(count);
        for (const QJsonObject& object : files) {
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
