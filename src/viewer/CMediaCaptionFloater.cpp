#include "CMediaCaptionFloater.h"

#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CMediaView.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "Preferences.h"

#include <QFontMetrics>

namespace {
constexpr int kTextMargin = 8;
constexpr int kMinHeight = 24;
} // namespace

CMediaCaptionFloater::CMediaCaptionFloater(const LLayoutData& data)
    : CFloater(data)
{
}

CMediaCaptionFloater::~CMediaCaptionFloater()
{
    SetPrefBoolean(kVisibleKey, IsVisible());
}

void CMediaCaptionFloater::FinishCreateSelf()
{
    CFloater::FinishCreateSelf();
    mCaptionText = FindPaneByID('capt');
    if (!mCaptionText)
        ThrowOSErr_(err_NilPointer, "caption floater without its text pane");
    ResizeFrameTo(kWidth, std::max(height(), kMinHeight), false);
    if (GetPrefBoolean(kVisibleKey))
        Show();
}

QString CMediaCaptionFloater::GetCaptionText() const
{
    return mCaptionText ? mCaptionText->GetCFDescriptor() : QString();
}

void CMediaCaptionFloater::ListenToMessage(MessageT message, void* ioParam)
{
    if (message != msg_MediaItemChanged) {
        CFloater::ListenToMessage(message, ioParam);
        return;
    }
    auto* item = static_cast<CIndexItem*>(ioParam);
    if (!item)
        ThrowOSErr_(err_NilPointer, "no item for the caption floater");
    SetCFDescriptor(item->CopyFieldString(kFieldName, 1));
    QString caption;
    if (CANPAInfo* info = item->GetCaptionInfo())
        if (const QByteArray* bytes = info->GetCaption())
            caption = IIMText::TextFromCaptionBytes(*bytes);
    mCaptionText->SetCFDescriptor(caption);
    // As tall as the text at the floater's width.
    const QFontMetrics metrics(mCaptionText->font());
    const QRect text = metrics.boundingRect(QRect(0, 0, kWidth - 2 * kTextMargin, 100000),
        Qt::TextWordWrap, caption.isEmpty() ? QStringLiteral(" ") : caption);
    const int textHeight = std::max(kMinHeight, text.height() + 2 * kTextMargin);
    mCaptionText->ResizeFrameTo(kWidth - 2 * kTextMargin, textHeight - 2 * kTextMargin, false);
    mCaptionText->PlaceInSuperFrameAt(kTextMargin, kTextMargin, false);
    ResizeFrameTo(kWidth, textHeight, true);
}
