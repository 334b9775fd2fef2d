#include "CDateTimeControl.h"

#include "MacDates.h"
#include "UReportErrors.h"

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
