#pragma once

#include "ExceptionCode.h"
#include "MacTypes.h"

#include <QSharedData>
#include <QString>

#include <memory>
#include <string>

// An error about one index item: the failure's code, a message about what was being
// done, a text for the code and when it happened. Once an item holds it, it is shared
// and no longer changes: the items a batch fails alike hold one record.
class CItemError : public QSharedData {
public:
    // Keys are localized-string keys ("600:62"); an empty text key takes the code's
    // text from list 500 when the code is a message number.
    CItemError(SInt32 code, const QString& textKey, const QString& messageKey);
    // The same for a caught failure, keeping its reason.
    CItemError(const ExceptionCode& error, const QString& textKey, const QString& messageKey);

    void SetMessage(const QString& message) { mMessage = message; }

    SInt32 GetCode() const { return mCode; }
    const QString& GetMessage() const { return mMessage; }
    const QString& GetErrorText() const { return mErrorText; }
    // What exactly failed ("index.db record 12: tag 12 count 140"); empty when not known.
    const std::string& GetReason() const { return mReason; }
    UInt32 GetTime() const { return mTime; } // seconds since 1904, local time

    bool operator==(const CItemError& other) const;

private:
    QString mMessage;
    SInt32 mCode;
    QString mErrorText;
    std::string mReason;
    UInt32 mTime;
};

using CItemErrorRef = QExplicitlySharedDataPointer<const CItemError>;

// The record for an item to hold: the one handed out last when it says the same,
// so that a million items failing alike do not hold a million records.
CItemErrorRef ShareItemError(std::unique_ptr<CItemError> error);

// Takes an item's error record away for a scope and gives it back at its end, so an
// operation can fail and be retried without the item showing the passing error. A
// null item does nothing. `Item` has TakeError() -> CItemErrorRef and
// SetError(CItemErrorRef).
template <class Item>
class StItemErrorSaver {
public:
    explicit StItemErrorSaver(Item* item)
        : mItem(item)
    {
        if (mItem)
            mSaved = mItem->TakeError();
    }
    ~StItemErrorSaver()
    {
        if (mItem)
            mItem->SetError(std::move(mSaved));
    }
    StItemErrorSaver(const StItemErrorSaver&) = delete;
    StItemErrorSaver& operator=(const StItemErrorSaver&) = delete;

private:
    Item* mItem;
    CItemErrorRef mSaved;
};
