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
