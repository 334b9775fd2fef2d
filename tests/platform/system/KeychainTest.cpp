// Generic passwords in a real secret service (a keyring daemon in a private
// session bus, see tests/support/with-secret-service.sh), and without one.

#include "Keychain.h"

#include <gtest/gtest.h>

TEST(KeychainWithService, PasswordsAreAddedFoundReplacedAndDeleted)
{
    ASSERT_TRUE(Keychain::IsAvailable());
    const QString service = "/tmp/Orvex Test/Harbour.idxp";
    ASSERT_EQ(Keychain::DeleteGenericPassword(service, service), noErr);
    QByteArray found;
    EXPECT_EQ(Keychain::FindGenericPassword(service, service, found), Keychain::kErrItemNotFound);
    EXPECT_TRUE(found.isEmpty());

    EXPECT_EQ(Keychain::AddGenericPassword(service, service, "s\x8e" "cret"), noErr); // Mac Roman bytes kept as they are
    EXPECT_EQ(Keychain::FindGenericPassword(service, service, found), noErr);
    EXPECT_EQ(found, QByteArray("s\x8e" "cret"));
    // Adding again is a duplicate and changes nothing; setting replaces.
    EXPECT_EQ(Keychain::AddGenericPassword(service, service, "other"), Keychain::kErrDuplicateItem);
    EXPECT_EQ(Keychain::FindGenericPassword(service, service, found), noErr);
    EXPECT_EQ(found, QByteArray("s\x8e" "cret"));
    EXPECT_EQ(Keychain::SetGenericPassword(service, service, "other"), noErr);
    EXPECT_EQ(Keychain::FindGenericPassword(service, service, found), noErr);
    EXPECT_EQ(found, QByteArray("other"));
    // Entries of other accounts are their own.
    EXPECT_EQ(Keychain::FindGenericPassword(service, service + "2", found), Keychain::kErrItemNotFound);

    EXPECT_EQ(Keychain::DeleteGenericPassword(service, service), noErr);
    EXPECT_EQ(Keychain::FindGenericPassword(service, service, found), Keychain::kErrItemNotFound);
    EXPECT_EQ(Keychain::DeleteGenericPassword(service, service), noErr);
}

TEST(KeychainWithService, LongPasswordsAreCutToWhatTheKeychainAnswers)
{
    const QString service = "Long";
    ASSERT_EQ(Keychain::SetGenericPassword(service, service, QByteArray(300, 'x')), noErr);
    QByteArray found;
    ASSERT_EQ(Keychain::FindGenericPassword(service, service, found), noErr);
    EXPECT_EQ(found.size(), Keychain::kMaxPasswordLength);
    EXPECT_EQ(Keychain::DeleteGenericPassword(service, service), noErr);
}

TEST(KeychainWithoutService, EveryOperationAnswersNotAvailable)
{
    EXPECT_FALSE(Keychain::IsAvailable());
    QByteArray found = "left over";
    EXPECT_EQ(Keychain::FindGenericPassword("s", "a", found), Keychain::kErrNotAvailable);
    EXPECT_TRUE(found.isEmpty());
    EXPECT_EQ(Keychain::AddGenericPassword("s", "a", "p"), Keychain::kErrNotAvailable);
    EXPECT_EQ(Keychain::SetGenericPassword("s", "a", "p"), Keychain::kErrNotAvailable);
    EXPECT_EQ(Keychain::DeleteGenericPassword("s", "a"), Keychain::kErrNotAvailable);
}
