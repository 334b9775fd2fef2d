#include "DeferredIcon.h"

#include <QIconEngine>
#include <QPainter>

#include <algorithm>
#include <memory>

namespace {

bool gThemeIconsHeld = false;

struct Made {
    std::function<QIcon()> make;
    int shippedSide; // the icon fills a square asked up to this side
    bool fromTheme;
    QIcon icon;

    // Not made yet, and not to be while theme icons are held.
    bool Waiting() const { return make && fromTheme && gThemeIconsHeld; }

    const QIcon& Icon()
    {
        if (make) {
            icon = make();
            make = nullptr;
        }
        return icon;
    }
};

class DeferredIconEngine : public QIconEngine {
public:
    explicit DeferredIconEngine(std::shared_ptr<Made> made) : mMade(std::move(made)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        if (mMade->Waiting())
            return;
        mMade->Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (mMade->Waiting())
            return QPixmap();
        return mMade->Icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        if (mMade->Waiting())
            return QPixmap();
        // Asked in device pixels: the made icon is asked for the logical size at that ratio.
        return mMade->Icon().pixmap(scale > 0 ? (QSizeF(size) / scale).toSize() : size, scale, mode, state);
    }
    // Asked when rows are laid out, at small sizes: a square icon shipped at least
    // that large fills the square asked, so the icon need not be made for the answer.
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        const int side = std::min(size.width(), size.height());
        if ((mMade->make && side <= mMade->shippedSide) || mMade->Waiting())
            return QSize(side, side);
        return mMade->Icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        if (mMade->Waiting())
            return {};
        return mMade->Icon().availableSizes(mode, state);
    }
    QString iconName() override { return mMade->Waiting() ? QString() : mMade->Icon().name(); }
    // Asked when a row or action is set up: answered without making the icon.
    bool isNull() override { return mMade->make ? false : mMade->icon.isNull(); }
    QString key() const override { return QStringLiteral("DeferredIconEngine"); }
    QIconEngine* clone() const override { return new DeferredIconEngine(mMade); }

private:
    std::shared_ptr<Made> mMade;
};

} // namespace

QIcon DeferredIcon(std::function<QIcon()> make, int shippedSide)
{
    return QIcon(new DeferredIconEngine(std::make_shared<Made>(Made {std::move(make), shippedSide, false, {}})));
}

QIcon DeferredThemeIcon(std::function<QIcon()> make, int shippedSide)
{
    return QIcon(new DeferredIconEngine(std::make_shared<Made>(Made {std::move(make), shippedSide, true, {}})));
}

void HoldThemeIcons(bool hold)
{
    gThemeIconsHeld = hold;
}

bool ThemeIconsHeld()
{
    return gThemeIconsHeld;
}
