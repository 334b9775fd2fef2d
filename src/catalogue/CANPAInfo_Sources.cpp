// The caption constructors that read from outside the program's own block:
// QuickTime-style user data and image files (through Exiv2).

#include "CANPAInfo.h"

#include "ExceptionCode.h"
#include "IIMText.h"
#include "ImageMetadata.h"
#include "Preferences.h"
#include "UserData.h"

#include <QFileInfo>

namespace {

// The user-data item that carries an IIM block, behind a header of its own.
constexpr OSType kIPTCUserDataType = 'iptc';
constexpr int kIPTCItemHeaderSize = 12;

constexpr OSType kAuthorType = UserDataTextType("aut");
constexpr OSType kCopyrightType = UserDataTextType("cpy");
constexpr OSType kRequirementsType = UserDataTextType("req");
constexpr OSType kSourceType = UserDataTextType("src");
constexpr OSType kWriterType = UserDataTextType("wrt");
constexpr OSType kKeywordType = UserDataTextType("key");
constexpr OSType kDayType = UserDataTextType("day");
constexpr OSType kCommentType = UserDataTextType("cmt");
constexpr OSType kInformationType = UserDataTextType("inf");

constexpr char kCarriageReturn = 13;

} // namespace

CANPAInfo::CANPAInfo(const UserData* userData)
{
    InitFields();
    ThrowIfNil_(userData);
    ReadFromUserData(*userData);
    FinishLoad();
}

std::unique_ptr<CANPAInfo> CANPAInfo::FromUserData(const UserData& userData)
{
    auto caption = std::make_unique<CANPAInfo>();
    caption->ReadFromUserData(userData);
    if (!caption->IsModified())
        return nullptr;
    caption->SetModified(false);
    return caption;
}

CANPAInfo::CANPAInfo(const QUrl& fileURL)
{
    InitFields();
    ThrowIfNot_(fileURL.isLocalFile(), "caption source is no file");
    const QString path = fileURL.toLocalFile();
    ThrowIf_(path.isEmpty(), "caption source has no path");
    ReadFromImageFile(path);
    FinishLoad();
}

void CANPAInfo::FinishLoad()
{
    // A record that took nothing is refused so the caller tries its next source.
    ThrowIfNot_(IsModified());
    SetModified(false);
}

void CANPAInfo::ReadFromUserData(const UserData& userData)
{
    QByteArray iptc;
    if (userData.GetUserData(iptc, kIPTCUserDataType, 1) == noErr)
        SetFromHandle(IIMText::BlockToCaptionForm(iptc.mid(kIPTCItemHeaderSize), true));

    const bool appendUnknown = GetPrefBoolean(QStringLiteral("AppendUnknownMetaDataToCaptionText"));
    for (OSType type = userData.GetNextUserDataType(0); type != 0; type = userData.GetNextUserDataType(type)) {
        if (!IsTextUserDataType(type))
            continue;
        QByteArray text;
        for (SInt32 index = 1; userData.GetUserDataText(text, type, index, 0) == noErr; ++index) {
            const Str255 pText = Str255FromBytes(text);
            switch (type) {
            case kAuthorType:
                if (GetByline().IsEmpty()) {
                    SetByline(pText);
                    AddSupplementalCategory(pText);
                }
                break;
            case kCopyrightType:
                if (GetCopyrightNotice().IsEmpty())
                    SetCopyrightNotice(pText);
                break;
            case kRequirementsType:
                if (GetSpecialInstructions().IsEmpty())
                    SetSpecialInstructions(pText);
                break;
            case kSourceType:
                if (GetSource().IsEmpty())
                    SetSource(pText);
                break;
            case kWriterType:
                if (GetWriterEditor().IsEmpty())
                    SetWriterEditor(pText);
                break;
            case kKeywordType: AddKeyword(pText); break;
            case kDayType: SetDateCreatedText(pText); break;
            case kCommentType:
            case kInformationType: AppendCaptionText(pText); break;
            default:
                if (appendUnknown) {
                    if (GetCaption())
                        AppendCaption(QByteArray(1, kCarriageReturn));
                    const char label[] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), ':', ' '};
                    AppendCaption(QByteArray(label, sizeof label));
                    AppendCaption(text);
                }
                break;
            }
        }
    }
}

std::unique_ptr<CANPAInfo> CANPAInfo::FromImageFileBlock(const QByteArray& iim)
{
    auto caption = std::make_unique<CANPAInfo>();
    if (!iim.isEmpty())
        caption->ReadFromImageFileBlock(iim);
    caption->FinishLoad();
    return caption;
}

void CANPAInfo::ReadFromImageFileBlock(const QByteArray& iim)
{
    // The file's texts in the record's form, by the character set the file declares.
    SetFromHandle(IIMText::BlockToCaptionForm(iim));
}

void CANPAInfo::ReadFromImageFile(const QString& path)
{
    // The library's failures on unreadable and hostile files mean "no caption in
    // this file", like every other way of finding none; the reason goes with them.
    ImageFileIptc file;
    QByteArray iim;
    std::string reason;
    if (file.Read(path, iim, reason) != noErr) {
        if (!reason.empty())
            ThrowOSErr_(err_AssertFailed, "image metadata: " + reason);
        return;
    }
    if (!iim.isEmpty())
        ReadFromImageFileBlock(iim);
}
