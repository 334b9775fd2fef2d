#include "BundleStrings.h"
#include "CItemError.h"
#include "MacDates.h"

#include <gtest/gtest.h>

TEST(CItemError, ErrorTextComesFromTheCodeOnlyForMessageNumbers)
{
    CItemError cancelled(100006, QString(), QString());
    EXPECT_EQ(cancelled.GetErrorText(), BundleLocalizedString(QStringLiteral("500:6")));
    EXPECT_FALSE(cancelled.GetErrorText().isEmpty());
    EXPECT_TRUE(cancelled.GetMessage().isEmpty());

    EXPECT_TRUE(CItemError(100000, QString(), QString()).GetErrorText().isEmpty());
    EXPECT_TRUE(CItemError(-43, QString(), QString()).GetErrorText().isEmpty());

    // A text key without an entry comes back as itself, also for message numbers.
    CItemError keyed(100033, QStringLiteral("NO_SUCH_KEY"), QStringLiteral("600:62"));
    EXPECT_EQ(keyed.GetErrorText(), QStringLiteral("NO_SUCH_KEY"));
    EXPECT_EQ(keyed.GetMessage(), BundleLocalizedString(QStringLiteral("600:62")));
    EXPECT_EQ(keyed.GetCode(), 100033);
}

TEST(CItemError, KeepsTheLastMessageAndItsTime)
{
    UInt32 before = GetDateTimeNow();
    CItemError error(-43, QString(), QStringLiteral("600:112"));
    error.SetMessage(QStringLiteral("first"));
    error.SetMessage(QStringLiteral("second"));
    EXPECT_EQ(error.GetMessage(), QStringLiteral("second"));
    EXPECT_GE(error.GetTime(), before);
    EXPECT_LE(error.GetTime(), GetDateTimeNow());
}
