#include "UPageFormat.h"

#include <QDataStream>
#include <QIODevice>
#include <QPageSize>
#include <QSizeF>

namespace {
constexpr quint32 kMagic = 'OXpf';
constexpr quint16 kVersion = 1;
} // namespace

QByteArray FlattenPageFormat(const QPageLayout& layout)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out.setFloatingPointPrecision(QDataStream::DoublePrecision);
    QSizeF paper = layout.pageSize().size(QPageSize::Point);
    QMarginsF margins = layout.margins(QPageLayout::Point);
    out << kMagic << kVersion << quint16(layout.orientation() == QPageLayout::Landscape ? 1 : 0)
        << paper.width() << paper.height() << margins.left() << margins.top() << margins.right() << margins.bottom();
    return bytes;
}

bool UnflattenPageFormat(const QByteArray& bytes, QPageLayout& layout)
{
    QDataStream in(bytes);
    in.setByteOrder(QDataStream::BigEndian);
    in.setFloatingPointPrecision(QDataStream::DoublePrecision);
    quint32 magic = 0;
    quint16 version = 0, orientation = 0;
    double width = 0, height = 0, left = 0, top = 0, right = 0, bottom = 0;
    in >> magic >> version >> orientation >> width >> height >> left >> top >> right >> bottom;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion || orientation > 1 || !(width > 0)
        || !(height > 0) || left < 0 || top < 0 || right < 0 || bottom < 0 || left + right >= width || top + bottom >= height)
        return false;
    QPageLayout read(QPageSize(QSizeF(width, height), QPageSize::Point, QString(), QPageSize::FuzzyMatch),
        orientation ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(left, top, right, bottom), QPageLayout::Point);
    if (!read.isValid())
        return false;
    layout = read;
    return true;
}
