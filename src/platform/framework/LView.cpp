#include "LView.h"

#include "LPaneLayouts.h"
#include "LScrollerView.h"

#include <QPainter>
#include <QPaintEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

LView::LView(const SPaneInfo& info, SDimension32 imageSize, SPoint32 scrollUnit)
    : LPane(info)
    , mImageSize(imageSize)
    , mScrollUnit(scrollUnit)
{
    if (mImageSize.width <= 0 && mImageSize.height <= 0)
        mImageSize = { width(), height() };
    mBindingLayout = new LBindingLayout(this);
}

LView::LView(const LLayoutData& data)
    : LPane(data)
    , mScrollUnit { 1, 1 }
{
    mImageSize = { width(), height() };
    if (data.Has("image")) {
        QList<SInt32> image = data.Ints("image", 2);
        mImageSize = { image[0], image[1] };
    }
    if (data.Has("scrollUnit")) {
        QList<SInt32> unit = data.Ints("scrollUnit", 2);
        mScrollUnit = { unit[0], unit[1] };
    }
    mReconcileOverhang = data.Bool("reconcileOverhang", false);
    mBindingLayout = new LBindingLayout(this);
}

LView::~LView()
{
    if (mScroller)
        mScroller->ReleaseView(this);
    DeleteAllSubPanes();
}

SPoint32 LView::GetScrollPosition() const
{
    return mScroller ? mScroller->BarPosition() : mScrollPosition;
}

SPoint32 LView::GetImageLocation() const
{
    const SPoint32 position = GetScrollPosition();
    return { ClampToSInt32(-qint64(position.h)), ClampToSInt32(-qint64(position.v)) };
}

QWidget* LView::ContentWidgetFor(const LPane*)
{
    return this;
}

void LView::DeleteAllSubPanes()
{
    // Subpanes go while the view is still whole, so each can leave its list.
    while (!mSubPanes.empty())
        delete mSubPanes.back();
}

void LView::AddSubPane(LPane* pane)
{
    if (std::find(mSubPanes.begin(), mSubPanes.end(), pane) == mSubPanes.end())
        mSubPanes.push_back(pane);
    if (mBindingLayout)
        mBindingLayout->AddPane(pane);
}

void LView::RemoveSubPane(LPane* pane)
{
    if (mBindingLayout)
        mBindingLayout->RemovePane(pane);
    mSubPanes.erase(std::remove(mSubPanes.begin(), mSubPanes.end(), pane), mSubPanes.end());
    if (pane->mSuperView == this)
        pane->mSuperView = nullptr;
}

void LView::ResizeImageTo(SInt32 newWidth, SInt32 newHeight, bool refresh)
{
    if (newWidth == mImageSize.width && newHeight == mImageSize.height)
        return;
    mImageSize = { std::max(0, newWidth), std::max(0, newHeight) };
    if (mReconcileOverhang)
        ReconcileFrameAndImage(refresh);
    if (refresh)
        Refresh();
    if (mSuperView)
        mSuperView->SubImageChanged(this);
}

void LView::ResizeImageBy(SInt32 dWidth, SInt32 dHeight, bool refresh)
{
    ResizeImageTo(mImageSize.width + dWidth, mImageSize.height + dHeight, refresh);
}

void LView::ScrollImageBy(SInt32 dh, SInt32 dv, bool refresh)
{
    if (dh == 0 && dv == 0)
        return;
    const SPoint32 from = GetScrollPosition();
    const SPoint32 to { ClampToSInt32(qint64(from.h) + dh), ClampToSInt32(qint64(from.v) + dv) };
    if (mScroller) {
        mScroller->MoveBarsTo(to); // the bars' change comes back through ScrolledBy
        return;
    }
    mScrollPosition = to;
    ScrolledBy(to.h - from.h, to.v - from.v, refresh);
}

void LView::ScrolledBy(SInt32 dh, SInt32 dv, bool refresh)
{
    if (dh == 0 && dv == 0)
        return;
    // Subpanes keep their image places.
    for (LPane* pane : mSubPanes)
        pane->move(ClampToSInt32(qint64(pane->x()) - dh), ClampToSInt32(qint64(pane->y()) - dv));
    if (refresh)
        ScrollBits(dh, dv);
    if (mSuperView)
        mSuperView->SubImageChanged(this);
}

void LView::ScrollImageTo(SInt32 left, SInt32 top, bool refresh)
{
    SPoint32 position = GetScrollPosition();
    ScrollImageBy(ClampToSInt32(qint64(left) - position.h), ClampToSInt32(qint64(top) - position.v), refresh);
}

bool LView::ScrollPinnedImageBy(SInt32 dh, SInt32 dv, bool refresh)
{
    SPoint32 position = GetScrollPosition();
    auto pin = [](SInt32 delta, SInt32 pos, SInt32 imageLength, SInt32 frameLength) -> SInt32 {
        if (delta < 0)
            return SInt32(std::max<qint64>(delta, -qint64(pos))); // not past the image's start
        if (delta > 0)
            return SInt32(std::min<qint64>(delta, std::max<qint64>(0, qint64(imageLength) - frameLength - pos))); // nor its end
        return 0;
    };
    dh = pin(dh, position.h, mImageSize.width, width());
    dv = pin(dv, position.v, mImageSize.height, height());
    if (dh == 0 && dv == 0)
        return false;
    ScrollImageBy(dh, dv, refresh);
    return true;
}

bool LView::ScrollPinnedImageTo(SInt32 left, SInt32 top, bool refresh)
{
    SPoint32 position = GetScrollPosition();
    return ScrollPinnedImageBy(ClampToSInt32(qint64(left) - position.h), ClampToSInt32(qint64(top) - position.v), refresh);
}

void LView::ScrollBits(SInt32 dh, SInt32 dv)
{
    // Moves the drawn pixels; only the exposed strip is painted again. A jump
    // of a frame or more leaves nothing to keep.
    if (std::abs(dh) >= width() || std::abs(dv) >= height())
        update();
    else
        scroll(-dh, -dv, rect());
}

void LView::wheelEvent(QWheelEvent* event)
{
    // Panes keep mouse events to themselves, so the wheel goes to the scroller here.
    if (mScroller)
        mScroller->ScrollByWheel(event);
    else
        event->ignore();
}

void LView::ReconcileFrameAndImage(bool refresh)
{
    SPoint32 position = GetScrollPosition();
    SInt32 dh = 0, dv = 0;
    qint64 overH = qint64(position.h) + width() - mImageSize.width;
    if (overH > 0 && position.h > 0)
        dh = -SInt32(std::min<qint64>(overH, position.h));
    qint64 overV = qint64(position.v) + height() - mImageSize.height;
    if (overV > 0 && position.v > 0)
        dv = -SInt32(std::min<qint64>(overV, position.v));
    ScrollImageBy(dh, dv, refresh);
}

void LView::ImageToLocalPoint(const SPoint32& imagePoint, QPoint& outLocal) const
{
    const SPoint32 position = GetScrollPosition();
    outLocal = QPoint(ClampToSInt32(qint64(imagePoint.h) - position.h), ClampToSInt32(qint64(imagePoint.v) - position.v));
}

void LView::LocalToImagePoint(const QPoint& localPoint, SPoint32& outImage) const
{
    const SPoint32 position = GetScrollPosition();
    outImage = { ClampToSInt32(qint64(localPoint.x()) + position.h), ClampToSInt32(qint64(localPoint.y()) + position.v) };
}

bool LView::ImagePointIsInFrame(SInt32 h, SInt32 v) const
{
    const SPoint32 position = GetScrollPosition();
    return h >= position.h && h < qint64(position.h) + width() && v >= position.v && v < qint64(position.v) + height();
}

bool LView::ImageRectIntersectsFrame(SInt32 left, SInt32 top, SInt32 right, SInt32 bottom) const
{
    const SPoint32 position = GetScrollPosition();
    return left < qint64(position.h) + width() && right > position.h && top < qint64(position.v) + height() && bottom > position.v;
}

void LView::CalcRevealedRect(QRect& outRect) const
{
    QRect revealed = visibleRegion().boundingRect();
    QPoint topLeft = revealed.topLeft();
    LocalToPortPoint(topLeft);
    outRect = QRect(topLeft, revealed.size());
}

void LView::ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh)
{
    if (dWidth == 0 && dHeight == 0)
        return;
    LPane::ResizeFrameBy(dWidth, dHeight, refresh);
    ApplyBindings(); // now, even while hidden and Qt's resize event waits
    if (mReconcileOverhang)
        ReconcileFrameAndImage(refresh);
    if (mSuperView)
        mSuperView->SubImageChanged(this);
}

void LView::SubImageChanged(LView*)
{
}

void LView::ApplyBindings()
{
    if (mBindingLayout)
        mBindingLayout->setGeometry(rect());
}

void LView::SetDeclaredLayout(QLayout* layout)
{
    delete mBindingLayout;
    mBindingLayout = nullptr;
    delete this->layout();
    setLayout(layout);
}

void LView::resizeEvent(QResizeEvent* event)
{
    LPane::resizeEvent(event);
    ApplyBindings();
}

LPane* LView::FindPaneByID(PaneIDT paneID)
{
    if (paneID == GetPaneID())
        return this;
    for (LPane* pane : mSubPanes) {
        if (LPane* found = pane->FindPaneByID(paneID))
            return found;
    }
    return nullptr;
}

LPane* LView::FindSubPaneHitBy(SInt32 portH, SInt32 portV) const
{
    // Later subpanes lie on top.
    for (auto it = mSubPanes.rbegin(); it != mSubPanes.rend(); ++it) {
        if ((*it)->IsVisible() && (*it)->Contains(portH, portV))
            return *it;
    }
    return nullptr;
}

LPane* LView::FindDeepSubPaneContaining(SInt32 portH, SInt32 portV) const
{
    LPane* hit = FindSubPaneHitBy(portH, portV);
    if (!hit)
        return nullptr;
    LPane* deeper = hit->FindDeepSubPaneContaining(portH, portV);
    return deeper ? deeper : hit;
}

void LView::FinishCreate()
{
    const std::vector<LPane*> panes = mSubPanes;
    for (LPane* pane : panes)
        pane->FinishCreate();
    LPane::FinishCreate();
}

void LView::Activate()
{
    LPane::Activate();
    for (LPane* pane : mSubPanes)
        pane->Activate();
}

void LView::Deactivate()
{
    for (LPane* pane : mSubPanes)
        pane->Deactivate();
    LPane::Deactivate();
}

void LOffscreenView::paintEvent(QPaintEvent* event)
{
    const QRect exposed = event->rect().intersected(rect());
    if (exposed.isEmpty())
        return;
    // A buffer of the screen's pixels, not of the logical ones, or a hairline
    // would come out two pixels wide (and blurred) on a high-density screen.
    const qreal ratio = devicePixelRatioF();
    QImage buffer(exposed.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    buffer.setDevicePixelRatio(ratio);
    buffer.fill(Qt::transparent);
    {
        QPainter offscreen(&buffer);
        offscreen.translate(-exposed.topLeft());
        offscreen.setClipRegion(event->region());
        Draw(offscreen);
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawImage(exposed.topLeft(), buffer);
}
