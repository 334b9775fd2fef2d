#include "ExceptionCode.h"

#include "FourCharCode.h"

ExceptionCode::ExceptionCode(OSStatus code, std::string context)
    : mCode(code)
    , mContext(std::move(context))
{
    mWhat = CodeText(code);
    if (!mContext.empty())
        mWhat += ": " + mContext;
}

std::string ExceptionCode::CodeText(OSStatus code)
{
    if (IsPrintableFourCharCode(static_cast<FourCharCode>(code)))
        return "'" + FourCharCodeToString(static_cast<FourCharCode>(code)) + "'";
    return std::to_string(code);
}

void ThrowOSErr_(OSStatus code, std::string context)
{
    throw ExceptionCode(code, std::move(context));
}
