#include "CCriteria.h"

#include "AliasRecord.h"
#include "DesktopEvents.h"
#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileSystemRoutines.h"
#include "LDialogBox.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "MacRoman.h"
#include "Preferences.h"
#include "PropertyList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>

namespace {

const QString kLastMoveCopyOptions = QStringLiteral("LastMoveCopyOptions");
const QString kLastMoveRemoveSetting = QStringLiteral("LastMoveRemoveSetting");

// The conflict modes the folder dialog offers, in menu order (value = mode).
constexpr SInt16 kConflictModes[] = { kConflictReplace, kConflictKeepBoth, kConflictNone };
const char* const kConflictModeKeys[] = { "MOVE_COPY_REPLACE", "MOVE_COPY_KEEP_BOTH", "MOVE_COPY_SKIP" };

bool IsAllDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar ch : text) {
        if (!ch.isDigit())
            return false;
    }
    return true;
}

// The shell a dialog is made a child of, so that it goes with its parent.
QWidget* ShellOf(LWindow* window)
{
    return window ? window->GetShell() : nullptr;
}

// A file dialog opens over the index window it works for, also when a palette
// of that window (the batch window) asks, and within the screen.
void PlaceFileDialog(QFileDialog* dialog, LWindow* parent)
{
    LWindow* over = parent;
    while (over && over->HasAttribute(windAttr_Floating) && over->ParentWindow())
        over = over->ParentWindow();
    dialog->adjustSize();
    PlaceOverWindow(dialog, over, true);
}

} // namespace

CCriteria::CCriteria()
    : CCriteria(0, 0, QString())
{
}

CCriteria::CCriteria(SInt32 category, SInt32 selector, const QString& value)
{
    SetCategory(category);
    SetSelector(selector);
    SetValue(value);
}

CCriteria::CCriteria(const CCriteria& other)
    : LBroadcaster()
    , LListener()
    , mData(other.mData)
{
}

CCriteria::CCriteria(const QVariantMap& dictionary)
    : mData(dictionary)
{
}

CCriteria::~CCriteria()
{
    CloseDialogs();
}

bool CCriteria::HasValue() const
{
    const QVariant value = mData.value(kCriteriaValueKey);
    return value.typeId() == QMetaType::QString && !value.toString().isEmpty();
}

void CCriteria::SetValueRef(const QString& key, const QVariant& value)
{
    if (!value.isValid())
        mData.remove(key);
    else
        mData.insert(key, value);
}

SInt32 CCriteria::GetNumber(const QString& key) const
{
    const auto found = mData.constFind(key);
    if (found == mData.constEnd())
        ThrowOSErr_(err_NilPointer, qPrintable(QStringLiteral("criterion has no \"%1\"").arg(key)));
    SInt32 number = 0;
    if (!PropertyList::ToInt32(*found, number))
        ThrowOSErr_(err_AssertFailed, qPrintable(QStringLiteral("criterion's \"%1\" is no 32-bit number").arg(key)));
    return number;
}

void CCriteria::SetNumber(const QString& key, SInt32 value)
{
    mData.insert(key, QVariant::fromValue<qint32>(value));
}

QString CCriteria::GetString(const QString& key) const
{
    const auto found = mData.constFind(key);
    if (found == mData.constEnd())
        return QString();
    if (found->typeId() != QMetaType::QString)
        ThrowOSErr_(err_AssertFailed, qPrintable(QStringLiteral("criterion's \"%1\" is no text").arg(key)));
    return found->toString();
}

void CCriteria::SetString(const QString& key, const QString& value)
{
    mData.insert(key, value);
}

QByteArray CCriteria::GetData(const QString& key) const
{
    const auto found = mData.constFind(key);
    if (found == mData.constEnd())
        ThrowOSErr_(err_NilPointer, qPrintable(QStringLiteral("criterion has no \"%1\"").arg(key)));
    if (found->typeId() != QMetaType::QByteArray)
        ThrowOSErr_(err_AssertFailed, qPrintable(QStringLiteral("criterion's \"%1\" holds no bytes").arg(key)));
    return found->toByteArray();
}

void CCriteria::SetData(const QString& key, const QByteArray& bytes)
{
    mData.insert(key, bytes);
}

QString CCriteria::GetApplicationID() const
{
    const QVariant id = mData.value(kCriteriaApplicationKey);
    if (id.typeId() == QMetaType::QString && !id.toString().isEmpty())
        return id.toString();
    SInt32 creator = 0;
    if (!PropertyList::ToInt32(mData.value(kCriteriaCreatorKey), creator) || creator == 0)
        return QString();
    return GetApplicationForCreator(OSType(creator), 0);
}

QString CCriteria::Show() const
{
    SInt32 category = 0;
    SInt32 selector = 0;
    PropertyList::ToInt32(mData.value(kCriteriaCategoryKey), category);
    PropertyList::ToInt32(mData.value(kCriteriaSelectorKey), selector);
    const QString text = QStringLiteral("Category: %1\nSelector: %2\nValue: %3\n")
                             .arg(category)
                             .arg(selector)
                             .arg(mData.value(kCriteriaValueKey).toString());
    qDebug().noquote() << text;
    return text;
}

QString CCriteria::MakePromptText(const QString& prompt)
{
    QString text = prompt.trimmed();
    const QString localizedDots = CopyLocalizedString(QStringLiteral("..."));
    for (const QString& dots : { localizedDots, QStringLiteral("..."), QStringLiteral("\u2026") }) {
        if (!dots.isEmpty() && text.endsWith(dots)) {
            text.chop(dots.size());
            break;
        }
    }
    return text + QLatin1Char(':');
}

// --- The value dialog ---------------------------------------------------------------

void CCriteria::AskValue(const QString& prompt, LWindow* parent)
{
    CloseDialogs();
    mParent = parent;
    mParentGuard = ShellOf(parent);
    const ResIDT layout = parent ? kAskValueSheetLayout : kAskValueWindowLayout;
    LWindow* window = LWindow::CreateWindow(layout, parent);
    mDialog = dynamic_cast<LDialogBox*>(window);
    if (!mDialog) {
        delete window;
        ThrowOSErr_(err_NilPointer, "the value dialog could not be made");
    }
    if (!prompt.isEmpty()) {
        LPane* label = mDialog->FindPaneByID(kAskValuePrompt);
        if (!label) {
            CloseDialogs();
            ThrowOSErr_(err_NilPointer, "the value dialog has no prompt pane");
        }
        label->SetCFDescriptor(MakePromptText(prompt));
    }
    mDialog->AddListener(this);
    if (LPane* field = mDialog->FindPaneByID(kAskValueField))
        field->setFocus();
    if (parent)
        mDialog->ShowAsSheetOf(parent);
    else {
        mDialog->Show();
        mDialog->Select();
    }
}

void CCriteria::ListenToMessage(MessageT message, void* /*ioParam*/)
{
    if (!mDialog || (message != msg_AskValueOK && message != msg_AskValueCancel))
        return;
    if (message == msg_AskValueOK) {
        LPane* field = mDialog->FindPaneByID(kAskValueField);
        ThrowIfNil_(field);
        SetValue(field->GetCFDescriptor());
    }
    CloseDialogs();
    RestoreTarget();
    BroadcastMessage(message == msg_AskValueOK ? msg_CriteriaChosen : msg_CriteriaCancelled, this);
}

void CCriteria::RestoreTarget()
{
    LWindow* target = mParentGuard ? mParent : nullptr;
    if (!target) {
        // The frontmost modal window that is still open, if any.
        for (LWindow* window : LWindow::FetchWindows()) {
            if (window->HasAttribute(windAttr_Modal)) {
                target = window;
                break;
            }
        }
    }
    if (target)
        target->Select();
    mParent = nullptr;
    mParentGuard.clear();
}

void CCriteria::CloseDialogs()
{
    if (mDialog) {
        LDialogBox* dialog = mDialog;
        mDialog = nullptr;
        dialog->RemoveListener(this);
        dialog->DoClose();
    }
    if (mFileDialog) {
        QFileDialog* dialog = mFileDialog;
        mFileDialog.clear();
        dialog->disconnect();
        dialog->deleteLater();
    }
}

// --- The folder and application dialogs -----------------------------------------------

void CCriteria::ChooseFolder(const QString& prompt, LWindow* parent)
{
    CloseDialogs();
    mParent = parent;
    mParentGuard = ShellOf(parent);
    const bool move = GetSelector() == kSelectorMoveToFolder;
    const QString message = !prompt.isEmpty()
        ? prompt
        : CopyLocalizedString(move ? QStringLiteral("MOVE_MANY_MEDIA_PROMT") : QStringLiteral("COPY_MANY_MEDIA_PROMT"));

    // Qt's own dialog: the conflict menu and the check box go into its layout.
    auto* dialog = new QFileDialog(ShellOf(parent), message);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setLabelText(QFileDialog::Accept,
        CopyLocalizedString(move ? QStringLiteral("MOVE_BUTTON") : QStringLiteral("COPY_BUTTON")));
    auto* options = new QComboBox(dialog);
    options->setObjectName(QStringLiteral("MoveCopyOptions"));
    for (size_t i = 0; i < std::size(kConflictModes); ++i)
        options->addItem(CopyLocalizedString(QString::fromLatin1(kConflictModeKeys[i])), kConflictModes[i]);
    const int last = options->findData(GetPrefNumber(kLastMoveCopyOptions));
    options->setCurrentIndex(last < 0 ? 0 : last);
    QCheckBox* remove = nullptr;
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        const int row = grid->rowCount();
        grid->addWidget(new QLabel(CopyLocalizedString(QStringLiteral("MOVE_COPY_OPTIONS_LABEL")), dialog), row, 0);
        grid->addWidget(options, row, 1);
        if (move) {
            remove = new QCheckBox(CopyLocalizedString(QStringLiteral("MOVE_REMOVE_FROM_INDEX")), dialog);
            remove->setObjectName(QStringLiteral("MoveRemoveSetting"));
            remove->setChecked(GetPrefBoolean(kLastMoveRemoveSetting));
            grid->addWidget(remove, row + 1, 1);
        }
    }
    mFileDialog = dialog;
    QObject::connect(dialog, &QFileDialog::finished, dialog, [this, dialog, options, remove, move](int result) {
        if (mFileDialog != dialog)
            return;
        bool chosen = false;
        if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
            QByteArray alias;
            const OSStatus status
                = NewAliasBytes(nullptr, FileRef(dialog->selectedFiles().constFirst()), alias);
            if (status == noErr) {
                SetData(kCriteriaAliasKey, alias);
                const SInt32 mode = options->currentData().toInt();
                SetPrefNumber(kLastMoveCopyOptions, mode);
                SetNumber(kCriteriaMoveCopyOptionsKey, mode);
                if (move && remove) {
                    SetPrefBoolean(kLastMoveRemoveSetting, remove->isChecked());
                    SetNumber(kCriteriaMoveRemoveKey, remove->isChecked() ? 1 : 0);
                }
                chosen = true;
            } else {
                qWarning() << "no alias record for the chosen folder:" << status;
            }
        }
        FinishFileDialog(chosen);
    });
    if (parent)
        dialog->setWindowModality(Qt::WindowModal);
    PlaceFileDialog(dialog, parent);
    dialog->open();
}

void CCriteria::ChooseApplication(const QString& prompt, LWindow* parent)
{
    CloseDialogs();
    mParent = parent;
    mParentGuard = ShellOf(parent);
    const QString message = prompt.isEmpty() ? CopyLocalizedString(QStringLiteral("OPEN_IN_APPLICATION")) : prompt;
    // Applications are their desktop entries; the entry's file name is its id.
    const QStringList folders = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    auto* dialog = new QFileDialog(ShellOf(parent), message,
        folders.isEmpty() ? QStringLiteral("/usr/share/applications") : folders.constLast());
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(QStringLiteral("*.desktop"));
    mFileDialog = dialog;
    QObject::connect(dialog, &QFileDialog::finished, dialog, [this, dialog](int result) {
        if (mFileDialog != dialog)
            return;
        bool chosen = false;
        if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
            SetString(kCriteriaApplicationKey, QFileInfo(dialog->selectedFiles().constFirst()).fileName());
            chosen = true;
        }
        FinishFileDialog(chosen);
    });
    if (parent)
        dialog->setWindowModality(Qt::WindowModal);
    PlaceFileDialog(dialog, parent);
    dialog->open();
}

void CCriteria::FinishFileDialog(bool chosen)
{
    mPendingMessage = chosen ? msg_CriteriaChosen : msg_CriteriaCancelled;
    CloseDialogs();
    mParent = nullptr;
    mParentGuard.clear();
    BroadcastMessage(mPendingMessage, this);
}

// --- Value encodings --------------------------------------------------------------------

QString CCriteria::EncodeDate(UInt32 seconds)
{
    return QString::number(seconds);
}

bool CCriteria::DecodeDate(const QString& value, UInt32& outSeconds)
{
    const QString text = value.trimmed();
    if (IsAllDigits(text)) {
        bool ok = false;
        const qulonglong seconds = text.toULongLong(&ok);
        if (!ok || seconds > 0xFFFFFFFFull)
            return false;
        outSeconds = UInt32(seconds);
        return true;
    }
    if (value.size() != 4)
        return false;
    // The old packed form: the number's bytes, lowest first, one per character.
    const QByteArray bytes = MacRoman::Encode(value);
    if (bytes.size() != 4)
        return false;
    outSeconds = UInt32(UInt8(bytes[0])) | UInt32(UInt8(bytes[1])) << 8 | UInt32(UInt8(bytes[2])) << 16
        | UInt32(UInt8(bytes[3])) << 24;
    return true;
}

QString CCriteria::EncodeCode(OSType code)
{
    QByteArray bytes(4, ' ');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((code >> (24 - 8 * i)) & 0xFF);
    return MacRoman::Decode(bytes);
}

bool CCriteria::DecodeCode(const QString& value, OSType& outCode)
{
    if (value.size() > 4 || !MacRoman::CanEncode(value))
        return false;
    QByteArray bytes = MacRoman::Encode(value);
    bytes.append(QByteArray(4 - bytes.size(), ' '));
    outCode = OSType(UInt8(bytes[0])) << 24 | OSType(UInt8(bytes[1])) << 16 | OSType(UInt8(bytes[2])) << 8
        | OSType(UInt8(bytes[3]));
    return true;
}
