#include "EmptyPhotos.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QByteArray EmptyPhotoPath(int i)
{
    return QByteArray::number(2000 + i % 1000) + "/IMG_" + QByteArray::number(i) + ".JPG";
}

QString EmptyPhotoFolder(int items)
{
    const QString root = QStringLiteral(ORVEX_BENCH_FILES_DIR "/memory-photos/") + QString::number(items);
    const QString made = root + QStringLiteral("/made");
    if (!QFileInfo::exists(made)) {
        for (int i = 0; i < items; ++i) {
            const QString path = root + QLatin1Char('/') + QString::fromLatin1(EmptyPhotoPath(i));
            if (i < 1000)
                QDir().mkpath(QFileInfo(path).path());
            QFile(path).open(QIODevice::WriteOnly);
        }
        QFile(made).open(QIODevice::WriteOnly);
    }
    return root;
}
