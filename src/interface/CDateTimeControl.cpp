#include "CDateTimeControl.h"

#include "MacDates.h"
#include "UReportErrors.h"

#include <QDateEdit>
#include <QDateTimeEdit>
#include <QSignalBlocker>

CDateTimeControl::CDateTimeControl(const LLayoutData& data)
    : LControlPane(data)
{
    mEdit = new QDateTimeEdit;
    mEdit->setCalendarPopup(true);
    mEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // The stored dates run from 1904 for 136 years.
    mEdit->setDateTimeRange(MacSecondsToDateTime(0), MacSecondsToDateTime(0xFFFFFFFFu));
    Embed(mEdit);
    QObject::connect(mEdit, &QDateTimeEdit::dateTimeChanged, [this] {
        RunReportingErrors([this] { BroadcastValueMessage(); });
    });
}

UInt32 CDateTimeControl::GetDateSeconds() const
{
    return DateTimeToMacSeconds(mEdit->dateTime());
}

void CDateTimeControl::SetDateSeconds(UInt32 seconds)
{
    const QSignalBlocker quiet(mEdit);
    mEdit->setDateTime(MacSecondsToDateTime(seconds));
}

CDatePane::CDatePane(const LLayoutData& data)
    : LControlPane(data)
{
    mEdit = new QDateEdit(QDate::currentDate());
    mEdit->setCalendarPopup(true);
    mEdit->setDateRange(MacSecondsToDateTime(0).date().addDays(1), MacSecondsToDateTime(0xFFFFFFFFu).date());
    Embed(mEdit);
    QObject::connect(mEdit, &QDateEdit::dateChanged, [this] {
        RunReportingErrors([this] { BroadcastValueMessage(); });
    });
}

UInt32 CDatePane::GetDateSeconds() const
{
    return DateTimeToMacSeconds(QDateTime(mEdit->date(), QTime(0, 0)));
}

void CDatePane::SetDateSeconds(UInt32 seconds)
{
    const QSignalBlocker quiet(mEdit);
    mEdit->setDate(MacSecondsToDateTime(seconds).date());
}
