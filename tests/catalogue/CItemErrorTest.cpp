#include "BundleStrings.h"
#include "CItemError.h"
#include "ExceptionCode.h"
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

namespace {

// The two operations of the index item that the guard uses.
struct ItemWithError {
    const CItemError* GetError() const { return error.data(); }
    CItemErrorRef TakeError() { return std::exchange(error, {}); }
    void SetError(CItemErrorRef e) { error = std::move(e); }
    void SetError(std::unique_ptr<CItemError> e) { error = ShareItemError(std::move(e)); }
    CItemErrorRef error;
};

} // namespace

TEST(StItemErrorSaver, TakesTheErrorAwayForTheScopeAndGivesItBack)
{
    ItemWithError item;
    item.SetError(std::make_unique<CItemError>(ExceptionCode(-43, "photo.jpg: locked"), QString(), QStringLiteral("600:62")));
    {
        StItemErrorSaver<ItemWithError> saver(&item);
        EXPECT_EQ(item.GetError(), nullptr);
        item.SetError(std::make_unique<CItemError>(-36, QString(), QString())); // a passing failure
    }
    ASSERT_NE(item.GetError(), nullptr);
    EXPECT_EQ(item.GetError()->GetCode(), -43);
    EXPECT_EQ(item.GetError()->GetReason(), "photo.jpg: locked");

    ItemWithError clean;
    {
        StItemErrorSaver<ItemWithError> saver(&clean);
        clean.SetError(std::make_unique<CItemError>(-36, QString(), QString()));
    }
    EXPECT_EQ(clean.GetError(), nullptr);
    StItemErrorSaver<ItemWithError> none(nullptr);
}
