#pragma once

#include "MacTypes.h"

#include <QString>

// An error about one index item: the failure's code, a message about what was being
// done, a text for the code and when it happened.
class CItemError {
public:
    // Keys are localized-string keys ("600:62"); an empty text key takes the code's
    // text from list 500 when the code is a message number.
    CItemError(SInt32 code, const QString& textKey, const QString& messageKey);
    virtual ~CItemError() = default;

    void SetMessage(const QString& message) { mMessage = message; }

    SInt32 GetCode() const { return mCode; }
    const QString& GetMessage() const { return mMessage; }
    const QString& GetErrorText() const { return mErrorText; }
    UInt32 GetTime() const { return mTime; } // seconds since 1904, local time

private:
    QString mMessage;
    SInt32 mCode;
    QString mErrorText;
    UInt32 mTime;
};
