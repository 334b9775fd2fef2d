// libFuzzer target for the user-data reader: any bytes as a stored user-data
// handle and as a 'udta' atom's contents. An accepted handle writes back and
// reads again as the same items.
#include "MovieAtomReader.h"
#include "UserData.h"

#include "FuzzEntry.h"

#include <cstdlib>

namespace {
void Run(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    std::unique_ptr<UserData> userData;
    if (UserData::NewUserDataFromHandle(bytes, userData) == noErr && userData) {
        const QByteArray handle = userData->ToHandle();
        std::unique_ptr<UserData> again;
        if (UserData::NewUserDataFromHandle(handle, again) != noErr || !again || again->ToHandle() != handle)
            std::abort();
        for (OSType type = userData->GetNextUserDataType(0); type != 0; type = userData->GetNextUserDataType(type)) {
            QByteArray item;
            userData->GetUserData(item, type, 1);
            UserDataTextFromPayload(item);
        }
    }
    for (const MovieUserDataItem& item : ParseUserDataAtoms(bytes.constData(), bytes.constData() + bytes.size()))
        UserDataTextFromPayload(item.data);
}

} // namespace

ORVEX_FUZZ_ENTRY(Run)
