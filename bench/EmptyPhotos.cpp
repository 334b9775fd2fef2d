#include "EmptyPhotos.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QByteArray PhotoName(int i)
{
    // The photographs of a folder come from one camera, numbered in turn; a few
    // folders were renamed by hand, some with names beyond ASCII.
    const int number = (i / 1000) % 10000 + 1;
    const QString digits = QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
    switch (i % 1000 % 6) {
    case 0:
        return "IMG_" + digits.toLatin1() + ".JPG";
    case 1:
        return "DSC_" + digits.toLatin1() + ".JPG";
    case 2:
        return "P10" + QStringLiteral("%1").arg(number, 5, 10, QLatin1Char('0')).toLatin1() + ".JPG";
    case 3:
        return "DSCF" + digits.toLatin1() + ".JPG";
    case 4:
        return "Harbour walk " + digits.toLatin1() + ".jpg";
    default:
        return QStringLiteral("Café du Port — %1.jpg").arg(digits).toUtf8();
    }
}

QByteArray EmptyPhotoPath(int i)
{
    return QByteArray::number(2000 + i % 1000) + "/" + PhotoName(i);
}

QString EmptyPhotoFolder(int items)
{
    const QString root = QStringLiteral(ORVEX_BENCH_FILES_DIR "/photos/") + QString::number(items);
    const QString made = root + QStringLiteral("/made");
    if (!QFileInfo::exists(made)) {
        for (int i = 0; i < items; ++i) {
            const QString path = root + QLatin1Char('/') + QString::fromUtf8(EmptyPhotoPath(i));
            if (i < 1000)
                QDir().mkpath(QFileInfo(path).path());
            QFile(path).open(QIODevice::WriteOnly);
        }
        QFile(made).open(QIODevice::WriteOnly);
    }
    return root;
}
