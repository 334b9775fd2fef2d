#pragma once

#include "MacTypes.h"
#include "PString.h"

#include <QByteArray>
#include <vector>

class UserData;

// The EXIF values of one still image, read from the user data an importer made
// for it: one item per tag ('ex' + EXIF tag, 'ti' + TIFF tag, value bytes
// big-endian) and the camera texts '©mak', '©mod', '©swr', '©fmt'. It also
// remembers every item type the user data held.
//
// Integer items are 2 bytes (SHORT); the pixel dimensions may also be 4 (LONG).
// Rationals are 8 bytes, numerator then denominator.
class CEXIFInfo {
public:
    // Never fails on bad data: what cannot be read stays 0. The user data may
    // gain an ISO item from a Nikon maker note. Null user data throws 'nilP'.
    explicit CEXIFInfo(UserData* userData);
    virtual ~CEXIFInfo() = default;

    virtual bool IsModified() const { return mModified; }
    virtual void SetModified(UInt8 modified) { mModified = modified != 0; }
    virtual bool HasUserDataType(OSType type) const;
    virtual void AddUserDataType(OSType type);

    virtual void GetEXIFVersion(Str255& out) const { out = mEXIFVersion; }
    virtual void GetFlashpixVersion(Str255& out) const { out = mFlashpixVersion; }
    virtual UInt32 GetDateTimeOriginal() const { return mDateTimeOriginal; }
    // The original date when no digitized date was given.
    virtual UInt32 GetDateTimeDigitized() const
    {
        return mDateTimeDigitized != 0 ? mDateTimeDigitized : mDateTimeOriginal;
    }
    virtual float GetExposureTime() const { return mExposureTime; }
    virtual float GetFNumber() const { return mFNumber; }
    virtual float GetMaxAperture() const { return mMaxAperture; }
    virtual void GetMake(Str255& out) const { out.Assign(mMake); }
    virtual void GetModel(Str255& out) const { out.Assign(mModel); }
    virtual void GetSoftware(Str255& out) const { out.Assign(mSoftware); }
    virtual void GetFormat(Str255& out) const { out.Assign(mFormat); }
    virtual bool IsFlashFired() const { return mFlashFired == 1; }
    virtual float GetFocalLength() const { return mFocalLength; }
    virtual float GetSubjectDistance() const { return mSubjectDistance; }
    virtual UInt16 GetExposureProgram() const { return UInt16(mExposureProgram); }
    virtual float GetExposureBias() const { return mExposureBias; }
    virtual float GetExposureIndex() const { return mExposureIndex; }
    virtual UInt16 GetISOSpeed() const { return UInt16(mISOSpeed); }
    virtual UInt16 GetMeteringMode() const { return UInt16(mMeteringMode); }
    virtual UInt16 GetLightSource() const { return UInt16(mLightSource); }
    virtual UInt16 GetSensingMethod() const { return UInt16(mSensingMethod); }
    virtual float GetCompressedBitsPerPixel() const { return mCompressedBitsPerPixel; }
    virtual float GetBrightness() const { return mBrightness; }
    virtual void GetUserComment(Str255& out) const { out.Assign(mUserComment); }
    virtual void GetRelatedSoundFile(Str255& out) const { out.Assign(mRelatedSoundFile); }
    virtual SInt16 GetOrientation() const { return mOrientation; }
    virtual UInt32 GetPixelXDimension() const { return mPixelXDimension; }
    virtual UInt32 GetPixelYDimension() const { return mPixelYDimension; }

    // Version bytes such as 0220 become 2.2; a null item changes nothing.
    virtual void SetEXIFVersion(const QByteArray* item) { SetVersion(mEXIFVersion, item); }
    virtual void SetFlashpixVersion(const QByteArray* item) { SetVersion(mFlashpixVersion, item); }
    // "YYYY:MM:DD HH:MM:SS"; a null item gives 0.
    virtual void SetDateTimeOriginal(const QByteArray* item) { SetDate(mDateTimeOriginal, item); }
    virtual void SetDateTimeDigitized(const QByteArray* item) { SetDate(mDateTimeDigitized, item); }

    const std::vector<OSType>& GetUserDataTypes() const { return mTypesSeen; }

private:
    void TakeItem(UserData& userData, OSType type, const QByteArray& item);
    void WalkMakerNote(UserData& userData, const QByteArray& note);
    void TakeMakerNoteISO(UserData& userData, UInt16 iso);
    void SetVersion(Str255& field, const QByteArray* item);
    void SetDate(UInt32& field, const QByteArray* item);

    bool mModified = false;
    Str255 mEXIFVersion;
    Str255 mFlashpixVersion;
    UInt32 mDateTimeOriginal = 0;
    UInt32 mDateTimeDigitized = 0;
    float mExposureTime = 0;
    float mFNumber = 0;
    float mMaxAperture = 0;
    PString<31> mMake;
    PString<39> mModel;
    PString<79> mSoftware;
    PString<79> mFormat;
    SInt32 mFlashFired = 0;
    float mFocalLength = 0;
    float mSubjectDistance = 0;
    SInt16 mExposureProgram = 0;
    float mExposureBias = 0;
    float mExposureIndex = 0;
    SInt16 mISOSpeed = 0;
    float mCompressedBitsPerPixel = 0;
    float mBrightness = 0;
    SInt16 mMeteringMode = 0;
    SInt16 mLightSource = 0;
    PString<249> mUserComment;
    PString<249> mRelatedSoundFile;
    SInt16 mSensingMethod = 0;
    SInt16 mOrientation = 1;
    UInt32 mPixelXDimension = 0;
    UInt32 mPixelYDimension = 0;
    std::vector<OSType> mTypesSeen;
};
