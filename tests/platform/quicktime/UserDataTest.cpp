#include "UserData.h"

#include "ExceptionCode.h"

#include <gtest/gtest.h>

namespace {

constexpr OSType kAuthor = UserDataTextType("aut");
constexpr OSType kName = UserDataTextType("nam");
constexpr OSType kISO = EXIFUserDataType(0x8827);

QByteArray Bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

UserData SampleUserData()
{
    UserData userData;
    EXPECT_EQ(userData.AddUserData(Bytes("0190"), kISO), noErr);
    EXPECT_EQ(userData.AddUserDataText("Ann", kAuthor, 1, 0), noErr);
    EXPECT_EQ(userData.AddUserDataText("Anna", kAuthor, 1, 2), noErr);
    EXPECT_EQ(userData.AddUserData(QByteArray(), 'iptc'), noErr);
    EXPECT_EQ(userData.AddUserDataText("Bob", kAuthor, 2, 0), noErr);
    return userData;
}

// A block as another writer may lay it out: the two '©aut' items apart.
const char* const kInterleavedBlock =
    "0000000a" "65788827" "0190"                                       // 'ex' 0x8827, 2 bytes
    "00000017" "a9617574" "0003" "0000" "416e6e" "0004" "0002" "416e6e61" // '©aut' 1: two languages
    "00000008" "69707463"                                              // 'iptc', empty
    "0000000f" "a9617574" "0003" "0000" "426f62"                       // '©aut' 2: "Bob"
    "00000000";                                                        // closing zero

} // namespace

TEST(UserData, SerialisesAsUdtaAtomContents)
{
    // The '©aut' items are kept together although 'iptc' came between them.
    const char* const expected =
        "0000000a" "65788827" "0190"
        "00000017" "a9617574" "0003" "0000" "416e6e" "0004" "0002" "416e6e61"
        "0000000f" "a9617574" "0003" "0000" "426f62"
        "00000008" "69707463"
        "00000000";
    EXPECT_EQ(SampleUserData().ToHandle(), Bytes(expected));
}

TEST(UserData, ReadsBlockBackWithTypesInOrder)
{
    const UserData original = SampleUserData();
    const std::unique_ptr<UserData> copy = UserData::FromHandle(original.ToHandle());
    EXPECT_EQ(*copy, original);

    EXPECT_EQ(copy->GetNextUserDataType(0), kISO);
    EXPECT_EQ(copy->GetNextUserDataType(kISO), kAuthor);
    EXPECT_EQ(copy->GetNextUserDataType(kAuthor), OSType('iptc'));
    EXPECT_EQ(copy->GetNextUserDataType('iptc'), 0u);
    EXPECT_EQ(copy->GetNextUserDataType('none'), 0u);
    EXPECT_EQ(copy->CountUserDataType(kAuthor), 2);

    QByteArray text;
    EXPECT_EQ(copy->GetUserDataText(text, kAuthor, 1, 2), noErr);
    EXPECT_EQ(text, "Anna");
    EXPECT_EQ(copy->GetUserDataText(text, kAuthor, 2, 0), noErr);
    EXPECT_EQ(text, "Bob");
    EXPECT_EQ(copy->GetUserDataText(text, kAuthor, 2, 2), userDataItemNotFound);
    EXPECT_EQ(copy->GetUserDataText(text, kAuthor, 3, 0), userDataItemNotFound);
}

TEST(UserData, ReadsBlocksWithInterleavedTypesAndNoClosingZero)
{
    QByteArray block = Bytes(kInterleavedBlock);
    block.chop(4);
    const std::unique_ptr<UserData> userData = UserData::FromHandle(block);
    EXPECT_EQ(*userData, SampleUserData());
    EXPECT_EQ(userData->CountUserDataType(kAuthor), 2);
    QByteArray data;
    EXPECT_EQ(userData->GetUserData(data, 'iptc', 1), noErr);
    EXPECT_TRUE(data.isEmpty());
    EXPECT_EQ(userData->GetUserData(data, 'iptc', 2), userDataItemNotFound);
    EXPECT_EQ(userData->GetUserData(data, kISO, 0), userDataItemNotFound);
}

TEST(UserData, RejectsMalformedBlocks)
{
    const char* const malformed[] = {
        "00000009" "65788827" "0190",         // size one past the end
        "ffffffff" "65788827" "0190",         // size far past the end
        "00000007" "65788827" "00000000",     // size below the header
        "00000001" "65788827" "0000000000000010", // 64-bit size form
        "0000000a" "65788827" "0190" "0000",  // a partial size after the last atom
        "000000",                             // a partial size alone
        "00000008",                           // header cut after its size
    };
    for (const char* hex : malformed) {
        std::unique_ptr<UserData> userData = std::make_unique<UserData>();
        EXPECT_EQ(UserData::NewUserDataFromHandle(Bytes(hex), userData), badFormat) << hex;
        EXPECT_EQ(userData, nullptr) << hex;
    }
    try {
        UserData::FromHandle(Bytes("ffffffff"));
        FAIL() << "no exception";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), badFormat);
    }
    std::unique_ptr<UserData> empty;
    EXPECT_EQ(UserData::NewUserDataFromHandle(QByteArray(), empty), noErr);
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->IsEmpty());
}

TEST(UserData, TextEntryRunningPastItsItemIsAnError)
{
    // '©nam' item whose entry claims 9 text bytes and holds 3.
    const std::unique_ptr<UserData> userData =
        UserData::FromHandle(Bytes("0000000f" "a96e616d" "0009" "0000" "414243" "00000000"));
    QByteArray text = "kept";
    EXPECT_EQ(userData->GetUserDataText(text, kName, 1, 0), badFormat);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(userData->AddUserDataText("x", kName, 1, 0), badFormat);
    EXPECT_EQ(userData->RemoveUserDataText(kName, 1, 0), badFormat);
}

TEST(UserData, SetsReplacesAndRemovesItems)
{
    UserData userData = SampleUserData();
    EXPECT_EQ(userData.SetUserDataItem(Bytes("0320"), kISO, 1), noErr);
    EXPECT_EQ(userData.SetUserDataItem(Bytes("0640"), kISO, 3), userDataItemNotFound);
    EXPECT_EQ(userData.SetUserDataItem(Bytes("0640"), kISO, 2), noErr);
    QByteArray data;
    userData.GetUserData(data, kISO, 1);
    EXPECT_EQ(data, Bytes("0320"));
    EXPECT_EQ(userData.CountUserDataType(kISO), 2);

    // Replacing one language keeps the other; removing the last text removes the item.
    EXPECT_EQ(userData.AddUserDataText("Ann B", kAuthor, 1, 0), noErr);
    userData.GetUserData(data, kAuthor, 1);
    EXPECT_EQ(data, Bytes("0005" "0000" "416e6e2042" "0004" "0002" "416e6e61"));
    EXPECT_EQ(userData.RemoveUserDataText(kAuthor, 1, 0), noErr);
    EXPECT_EQ(userData.RemoveUserDataText(kAuthor, 1, 0), userDataItemNotFound);
    EXPECT_EQ(userData.RemoveUserDataText(kAuthor, 1, 2), noErr);
    EXPECT_EQ(userData.CountUserDataType(kAuthor), 1);
    userData.GetUserDataText(data, kAuthor, 1, 0);
    EXPECT_EQ(data, "Bob");

    // A type whose last item goes leaves the walk.
    EXPECT_EQ(userData.RemoveUserData(kAuthor, 1), noErr);
    EXPECT_EQ(userData.GetNextUserDataType(kISO), OSType('iptc'));
    EXPECT_EQ(userData.RemoveUserData(kAuthor, 1), userDataItemNotFound);
    EXPECT_EQ(userData.AddUserDataText("x", kName, 2, 0), userDataItemNotFound);
    EXPECT_EQ(userData.AddUserDataText(QByteArray(70000, 'a'), kName, 1, 0), paramErr);
}
