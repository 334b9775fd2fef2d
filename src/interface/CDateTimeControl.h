#pragma once

#include "LControl.h"

class QDateTimeEdit;

// A date and time field ('dtim'): its date is local seconds since 1904; a
// change by the user broadcasts the value message.
class CDateTimeControl : public LControlPane {
public:
    static constexpr ClassIDT class_ID = 'dtim';

    explicit CDateTimeControl(const LLayoutData& data);

    UInt32 GetDateSeconds() const;
    void SetDateSeconds(UInt32 seconds);

private:
    QDateTimeEdit* mEdit = nullptr;
};

class QDateEdit;

// A date field ('datp'): a calendar date without a time of day, as local seconds
// since 1904 at midnight; a change by the user broadcasts the value message.
class CDatePane : public LControlPane {
public:
    static constexpr ClassIDT class_ID = 'datp';

    explicit CDatePane(const LLayoutData& data);

    UInt32 GetDateSeconds() const;
    void SetDateSeconds(UInt32 seconds);
    QDateEdit* GetDateEdit() const { return mEdit; }

private:
    QDateEdit* mEdit = nullptr;
};
