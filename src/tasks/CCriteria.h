#pragma once

#include "LBroadcaster.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QFileDialog>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class LDialogBox;
class LWindow;


// The keys of a criterion's dictionary: its stored form, an entry of a stored
// setting's "CriteriaList".
inline const QString kCriteriaCategoryKey = QStringLiteral("Category"); // field key (32-bit number)
inline const QString kCriteriaSelectorKey = QStringLiteral("Selector"); // operator code (32-bit number)
inline const QString kCriteriaValueKey = QStringLiteral("Value");       // operand text
// Copy and move (batch field 4021): the destination folder as alias record bytes,
// the conflict mode (FileSystemRoutines' ConflictMode) and, for a move, whether the
// moved item leaves the index.
inline const QString kCriteriaAliasKey = QStringLiteral("AliasHandle");
inline const QString kCriteriaMoveCopyOptionsKey = QStringLiteral("MoveCopyOptions");
inline const QString kCriteriaMoveRemoveKey = QStringLiteral("MoveRemoveSetting");
// Open in an application (7212): the desktop-file id of the application. Settings
// stored by older versions name it by creator code instead.
inline const QString kCriteriaApplicationKey = QStringLiteral("ApplicationID");
inline const QString kCriteriaCreatorKey = QStringLiteral("CreatorOSType");

// Operators. Search tests (7000-7015), duplicate tests (7100-7102) and the batch
// operations of copy, move and open (the rest of 7200-7212 and 7300-7304 belong
// to the batch engine).
enum : SInt32 {
    kSelectorIs = 7000,
    kSelectorIsNot = 7001,
    kSelectorContains = 7002,
    kSelectorBeginsWith = 7003,
    kSelectorNotBeginsWith = 7004,
    kSelectorEndsWith = 7005,
    kSelectorNotEndsWith = 7006,
    kSelectorNotContains = 7007,
    kSelectorLessThan = 7008,
    kSelectorGreaterThan = 7009,
    kSelectorIsSet = 7010,
    kSelectorIsNotSet = 7011,
    kSelectorBefore = 7012,
    kSelectorAfter = 7013,
    kSelectorToday = 7014,
    kSelectorYesterday = 7015,

    kSelectorSameSize = 7100,
    kSelectorSameMediaInfo = 7101,
    kSelectorSamePixels = 7102,

    kSelectorCopyToFolder = 7210,
    kSelectorMoveToFolder = 7211,
    kSelectorOpenInApplication = 7212,
};

// The category of "any text field": an OR over the name, caption, keywords and
// supplemental categories.
inline constexpr SInt32 kAnyTextFieldCategory = 6999;
// The category the search window gives a duplicate search.
inline constexpr SInt32 kDuplicatesCategory = 6100;
// A value that names a field of the item under test: the prefix and the field key.
inline const QString kFieldReferencePrefix = QStringLiteral("$$@@");

// A criterion's messages to its listeners (the parameter is the criterion): the
// asked value, folder or application was chosen and stored; the dialog was cancelled.
inline constexpr MessageT msg_CriteriaChosen = 9001;
inline constexpr MessageT msg_CriteriaCancelled = 9004;

// Layouts of the value dialog: a sheet on the parent window, or a window of its own.
inline constexpr ResIDT kAskValueSheetLayout = 1035;
inline constexpr ResIDT kAskValueWindowLayout = 1037;
inline constexpr PaneIDT kAskValueField = 901;
inline constexpr PaneIDT kAskValuePrompt = 902;
inline constexpr MessageT msg_AskValueOK = 900;
inline constexpr MessageT msg_AskValueCancel = 901;

// One line of a search or one step of a batch: the field it concerns (category),
// what is done with it (selector) and the operand (value), kept as a dictionary
// that stored settings hold as it is.
//
// Values are text. Two kinds of operand have an encoding of their own, read and
// written only through the helpers below:
// - dates: seconds since 1904 in decimal (EncodeDate / DecodeDate);
// - four-character codes: the code's characters in text order, space-padded
//   (EncodeCode / DecodeCode).
// A value that begins with "$$@@" and a field key names that field of the item
// under test (the engine resolves it per item).
//
// A criterion can ask the user for what it lacks (AskValue, ChooseFolder,
// ChooseApplication). The dialogs do not block: each returns at once and the
// answer arrives later as a broadcast, 9001 once the choice is stored in the
// dictionary, 9004 when the user cancelled (the dictionary is then unchanged).
// A criterion has at most one dialog open; deleting it closes that dialog.
class CCriteria : public LBroadcaster, public LListener {
public:
    // Category 0, selector 0, an empty value.
    CCriteria();
    CCriteria(SInt32 category, SInt32 selector, const QString& value);
    // A copy of the other criterion's dictionary (not of its listeners or dialogs).
    CCriteria(const CCriteria& other);
    explicit CCriteria(const QVariantMap& dictionary);
    ~CCriteria() override;

    // 'nilP' when the key is missing, 'asrt' when it holds no 32-bit number.
    SInt32 GetCategory() const { return GetNumber(kCriteriaCategoryKey); }
    void SetCategory(SInt32 category) { SetNumber(kCriteriaCategoryKey, category); }
    SInt32 GetSelector() const { return GetNumber(kCriteriaSelectorKey); }
    void SetSelector(SInt32 selector) { SetNumber(kCriteriaSelectorKey, selector); }
    // The empty text when missing; 'asrt' when the entry is no text.
    QString GetValue() const { return GetString(kCriteriaValueKey); }
    void SetValue(const QString& value) { SetString(kCriteriaValueKey, value); }
    // True when there is a value and it is not empty: nothing to ask for.
    bool HasValue() const;

    // The raw entry (an invalid QVariant when missing); an invalid value removes the key.
    QVariant GetValueRef(const QString& key) const { return mData.value(key); }
    void SetValueRef(const QString& key, const QVariant& value);

    // Typed entries. Numbers: 'nilP' when missing, 'asrt' when the entry is not an
    // integer that fits 32 bits (stored settings read integers back as 64-bit).
    SInt32 GetNumber(const QString& key) const;
    void SetNumber(const QString& key, SInt32 value);
    // Texts: the empty text when missing, 'asrt' when the entry is no text.
    QString GetString(const QString& key) const;
    void SetString(const QString& key, const QString& value);
    // Bytes: 'nilP' when missing, 'asrt' when the entry holds no bytes.
    QByteArray GetData(const QString& key) const;
    void SetData(const QString& key, const QByteArray& bytes);
    bool HasKey(const QString& key) const { return mData.contains(key); }
    void RemoveKey(const QString& key) { mData.remove(key); }

    const QVariantMap& GetDictionary() const { return mData; }
    void SetDictionary(const QVariantMap& dictionary) { mData = dictionary; }

    // The application to open items in (7212): the desktop-file id, or for a setting
    // stored with a creator code the application registered for that creator.
    // Empty when neither names one.
    QString GetApplicationID() const;

    // The value dialog: a sheet on `parent` (layout 1035) or a window of its own
    // (1037). The prompt is shown trimmed, without a trailing ellipsis, ending in a
    // colon. OK stores the typed text as the value and broadcasts 9001; Cancel
    // broadcasts 9004. 'nilP' when the dialog cannot be made.
    void AskValue(const QString& prompt, LWindow* parent);
    // The destination folder of a copy or move (by the selector): a folder dialog
    // with the conflict-mode menu and, for a move, the "remove from index" box, both
    // set from and kept in the preferences "LastMoveCopyOptions" and
    // "LastMoveRemoveSetting". Choosing stores the alias record, the options and
    // the setting, then 9001; cancelling changes nothing and broadcasts 9004.
    void ChooseFolder(const QString& prompt, LWindow* parent);
    // The application to open items in: its desktop entry is chosen; choosing
    // stores its id and broadcasts 9001; cancelling broadcasts 9004.
    void ChooseApplication(const QString& prompt, LWindow* parent);

    // The open value dialog's buttons.
    void ListenToMessage(MessageT message, void* ioParam) override;

    // The open dialogs (null when none), for the program's own tests of them.
    LDialogBox* GetValueDialog() const { return mDialog; }
    QFileDialog* GetFileDialog() const { return mFileDialog; }

    // "Category: %d\nSelector: %d\nValue: %s\n": a debugging aid.
    QString Show() const;

    // The prompt as the value dialog shows it.
    static QString MakePromptText(const QString& prompt);

    // Value encodings. A date is seconds since 1904 in decimal. DecodeDate also
    // reads the form older settings stored (the number's four bytes in the
    // machine's order, as four characters): a value of exactly four characters
    // that are not all digits. False for a value that is neither.
    static QString EncodeDate(UInt32 seconds);
    static bool DecodeDate(const QString& value, UInt32& outSeconds);
    // A code in text order ('JPEG' -> "JPEG", 'PDF ' -> "PDF "). DecodeCode pads a
    // shorter text with spaces; false for a text of more than four characters or
    // with a character outside Mac Roman.
    static QString EncodeCode(OSType code);
    static bool DecodeCode(const QString& value, OSType& outCode);

private:
    void CloseDialogs();
    void RestoreTarget();
    void FinishFileDialog(bool chosen);

    QVariantMap mData;
    QPointer<QObject> mParentGuard; // the parent window's shell, to know it still exists
    LWindow* mParent = nullptr;
    LDialogBox* mDialog = nullptr;
    QPointer<QFileDialog> mFileDialog;
    MessageT mPendingMessage = msg_CriteriaCancelled;
};
