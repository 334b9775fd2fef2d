#include "UPageFormat.h"

#include <gtest/gtest.h>

#include <QDataStream>
#include <QIODevice>
#include <QPageSize>

TEST(PageFormat, LandscapeLetterWithMarginsComesBackAsStored)
{
    QPageLayout layout(QPageSize(QPageSize::Letter), QPageLayout::Landscape, QMarginsF(36, 18, 36, 54), QPageLayout::Point);
    QByteArray bytes = FlattenPageFormat(layout);

    // Magic, version, orientation, then six big-endian reals.
    ASSERT_EQ(bytes.size(), 4 + 2 + 2 + 6 * 8);
    EXPECT_EQ(bytes.left(8), QByteArray("OXpf\x00\x01\x00\x01", 8));
    QDataStream in(bytes.mid(8));
    in.setByteOrder(QDataStream::BigEndian);
    in.setFloatingPointPrecision(QDataStream::DoublePrecision);
    double width = 0, height = 0;
    in >> width >> height;
    EXPECT_DOUBLE_EQ(width, 612);
    EXPECT_DOUBLE_EQ(height, 792);

    QPageLayout read;
    ASSERT_TRUE(UnflattenPageFormat(bytes, read));
    EXPECT_EQ(read.orientation(), QPageLayout::Landscape);
    EXPECT_EQ(read.pageSize().id(), QPageSize::Letter);
    EXPECT_EQ(read.margins(QPageLayout::Point), QMarginsF(36, 18, 36, 54));
}

TEST(PageFormat, DamagedBytesLeaveTheLayoutAlone)
{
    QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10), QPageLayout::Point);
    QByteArray good = FlattenPageFormat(a4);
    QPageLayout kept(QPageSize(QPageSize::A5), QPageLayout::Portrait, QMarginsF(), QPageLayout::Point);

    QByteArray wrongMagic = good;
    wrongMagic[0] = 'X';
    QByteArray wrongVersion = good;
    wrongVersion[5] = 2;
    QByteArray badOrientation = good;
    badOrientation[7] = 7;
    QByteArray marginsWiderThanPaper = FlattenPageFormat(a4);
    {
        QDataStream out(&marginsWiderThanPaper, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::BigEndian);
        out.setFloatingPointPrecision(QDataStream::DoublePrecision);
        out << quint32('OXpf') << quint16(1) << quint16(0) << 100.0 << 100.0 << 60.0 << 0.0 << 60.0 << 0.0;
    }
    for (const QByteArray& bad : { QByteArray(), good.left(20), wrongMagic, wrongVersion, badOrientation, marginsWiderThanPaper }) {
        QPageLayout layout = kept;
        EXPECT_FALSE(UnflattenPageFormat(bad, layout));
        EXPECT_EQ(layout.pageSize().id(), QPageSize::A5);
    }
}
