#include "DeferredIcon.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include <gtest/gtest.h>

TEST(DeferredIcon, IsMadeAtTheFirstDrawingOnceForEveryCopy)
{
    int made = 0;
    const QIcon icon = DeferredIcon([&made] {
        ++made;
        QIcon red;
        for (int side : {16, 32}) {
            QPixmap pixmap(side, side);
            pixmap.fill(Qt::red);
            red.addPixmap(pixmap);
        }
        return red;
    });
    const QIcon copy = icon;
    const QIcon large = DeferredIcon([&made] {
        ++made;
        return QIcon();
    }, 32);
    EXPECT_EQ(large.actualSize(QSize(32, 32)), QSize(32, 32));
    // Setting up rows and actions asks these: nothing is made for them.
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(icon.actualSize(QSize(16, 12)), QSize(12, 12));
    EXPECT_EQ(made, 0);

    const QImage drawn = copy.pixmap(16, 16).toImage();
    EXPECT_EQ(made, 1);
    ASSERT_EQ(drawn.size(), QSize(16, 16));
    EXPECT_EQ(drawn.pixelColor(8, 8), QColor(Qt::red));
    QImage painted(32, 32, QImage::Format_ARGB32);
    painted.fill(Qt::transparent);
    {
        QPainter painter(&painted);
        icon.paint(&painter, painted.rect());
    }
    EXPECT_EQ(painted.pixelColor(16, 16), QColor(Qt::red));
    EXPECT_EQ(made, 1);
}

// The sizes answered, before the icon is made or by making it, are those the style's
// own icons answer.
TEST(DeferredIcon, AnswersTheStyleIconsSizesBeforeMakingThem)
{
    for (QStyle::StandardPixmap kind : {QStyle::SP_DirIcon, QStyle::SP_DriveHDIcon, QStyle::SP_TrashIcon,
             QStyle::SP_ComputerIcon, QStyle::SP_FileIcon}) {
        const QIcon real = QApplication::style()->standardIcon(kind);
        const QIcon deferred = DeferredIcon([kind] { return QApplication::style()->standardIcon(kind); });
        for (const QSize size : {QSize(8, 8), QSize(16, 16), QSize(20, 20), QSize(24, 16), QSize(32, 32), QSize(64, 64)})
            EXPECT_EQ(deferred.actualSize(size), real.actualSize(size)) << int(kind) << " at " << size.width() << "x" << size.height();
    }
}

// On a dense screen the pixmap is the one the made icon gives at that ratio: the
// style's icons come in several sizes, and the same one is picked.
TEST(DeferredIcon, GivesTheIconsOwnPixmapsOnDenseScreens)
{
    for (QStyle::StandardPixmap kind : {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_DirIcon, QStyle::SP_FileIcon}) {
        const QIcon real = QApplication::style()->standardIcon(kind);
        const QIcon deferred = DeferredIcon([kind] { return QApplication::style()->standardIcon(kind); }, 0);
        for (int side : {12, 16, 24}) {
            for (qreal ratio : {1.0, 2.0}) {
                const QPixmap given = deferred.pixmap(QSize(side, side), ratio);
                const QPixmap own = real.pixmap(QSize(side, side), ratio);
                EXPECT_EQ(given.size(), own.size()) << int(kind) << " at " << side << " ratio " << ratio;
                EXPECT_EQ(given.devicePixelRatio(), own.devicePixelRatio()) << int(kind) << " at " << side << " ratio " << ratio;
            }
        }
        EXPECT_EQ(deferred.actualSize(QSize(16, 16)), real.actualSize(QSize(16, 16))) << int(kind);
    }
}
