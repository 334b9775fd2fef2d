#include "IndexWindowPanes.h"

#include "CWidgets.h"
#include "LWindow.h"
#include "ResourceUtilities.h"
#include "URegistrar.h"

#include <QPainter>

#include <cmath>

namespace {

constexpr int kBarGrey = 2;  // 0xDDDD of the grey ramp
constexpr int kDoneGrey = 5; // 0xAAAA
constexpr int kGripSide = 16;

} // namespace

CIndexHeaderView::CIndexHeaderView(const LLayoutData& data)
    : LDecorPane(data, kHeader)
{
}

CMediaProgressBar::CMediaProgressBar(const LLayoutData& data)
    : LPane(data)
{
}

CMediaProgressBar::CMediaProgressBar(const SPaneInfo& info)
    : LPane(info)
{
}

void CMediaProgressBar::SetValue(SInt32 value)
{
    mValue = value;
    repaint();
}

SInt32 CMediaProgressBar::DoneWidth(SInt32 value, SInt32 minValue, SInt32 maxValue, SInt32 width)
{
    // A range of one value has no fraction: a bar that cannot move is shown done.
    if (maxValue <= minValue)
        return width;
    const double fraction = (double(value) - double(minValue)) / (double(maxValue) - double(minValue));
    return SInt32(std::trunc(std::clamp(fraction, 0.0, 1.0) * width));
}

void CMediaProgressBar::DrawSelf(QPainter& painter)
{
    const QRect frame = rect();
    painter.fillRect(frame, GrayRamp(kBarGrey));
    const SInt32 done = DoneWidth(mValue, mMinValue, mMaxValue, frame.width());
    if (done > 0)
        painter.fillRect(QRect(frame.left(), frame.top(), done, frame.height()), GrayRamp(kDoneGrey));
}

void CDividerView::DrawSelf(QPainter& painter)
{
    const QRect square(width() - kGripSide, 0, kGripSide, kGripSide);
    PlotBundleIcon(painter, QStringLiteral("splitter.icns"), square, QIcon::Normal, Qt::AlignCenter);
}

CAppIconPane::CAppIconPane(const LLayoutData& data)
    : LPane(data)
    , mIcon(LoadAppIcon(QStringLiteral("orvex.icns")))
{
}

QIcon CAppIconPane::LoadAppIcon(const QString& fileName)
{
    return RegisterBundleIcon('JWZ7', 'JWZ7', fileName);
}

void CAppIconPane::DrawSelf(QPainter& painter)
{
    if (!mIcon.isNull())
        mIcon.paint(&painter, rect(), Qt::AlignCenter, QIcon::Normal);
}

void RegisterIndexWindowPaneClasses()
{
    URegistrar::RegisterClass<CIndexHeaderView>(CIndexHeaderView::class_ID);
    URegistrar::RegisterClass<CMediaProgressBar>(CMediaProgressBar::class_ID);
    URegistrar::RegisterClass<CDividerView>(CDividerView::class_ID);
    URegistrar::RegisterClass<CAppIconPane>(CAppIconPane::class_ID);
}
