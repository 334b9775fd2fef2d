#include "CItemError.h"

#include "LocalizedStrings.h"
#include "ErrorCodes.h"
#include "MacDates.h"

namespace {

QString Localized(const QString& key)
{
    return key.isEmpty() ? QString() : CopyLocalizedString(key);
}

} // namespace

CItemError::CItemError(SInt32 code, const QString& textKey, const QString& messageKey)
    : mMessage(Localized(messageKey))
    , mCode(code)
    , mErrorText(Localized(textKey))
    , mTime(GetDateTimeNow())
{
    if (mErrorText.isEmpty() && code > kMessageNumberBase)
        mErrorText = Localized(QStringLiteral("500:%1").arg(code - kMessageNumberBase));
}

CItemError::CItemError(const ExceptionCode& error, const QString& textKey, const QString& messageKey)
    : CItemError(error.Code(), textKey, messageKey)
{
    mReason = error.Context();
}

bool CItemError::operator==(const CItemError& other) const
{
    return mCode == other.mCode && mTime == other.mTime && mMessage == other.mMessage
        && mErrorText == other.mErrorText && mReason == other.mReason;
}

CItemErrorRef ShareItemError(std::unique_ptr<CItemError> error)
{
    if (!error)
        return {};
    thread_local CItemErrorRef last;
    if (!last || !(*last == *error))
        last = CItemErrorRef(error.release());
    return last;
}
