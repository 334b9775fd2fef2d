// The stored searches and batches in the Search menu, the Scripts items and the
// settings organizer.
#include "StoredSettingsMenu.h"

#include "AppLog.h"
#include "Alerts.h"
#include "CToolbar.h"
#include "DeferredIcon.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "LDialogBox.h"
#include "LMenuBar.h"
#include "LStdControls.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "UEvents.h"

#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileIconProvider>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <unistd.h>

namespace {

constexpr ResIDT kOrganizerLayout = 1034;
constexpr ResIDT kEditSettingLayout = 1036;
constexpr PaneIDT kOrganizerList = 6016;
constexpr PaneIDT kNameField = 901;
constexpr PaneIDT kShortcutField = 902;
constexpr MessageT msg_OrganizerDelete = 8004;
constexpr MessageT msg_OrganizerEdit = 8003;
constexpr MessageT msg_OrganizerDone = 901;
constexpr MessageT msg_EditApply = 9007;
constexpr MessageT msg_EditCancel = 901;

// Icons made once: the menu is rebuilt at every change of the settings.
const QIcon& SettingIcon(bool batch)
{
    static const QIcon search(CToolbar::ToolbarImage(QStringLiteral("genericsearch.png")));
    static const QIcon batches(CToolbar::ToolbarImage(QStringLiteral("genericbatch.png")));
    return batch ? batches : search;
}

// A script's output is read as it comes; only its end is kept for the report.
constexpr qsizetype kKeptOutputBytes = 4096;
// The alert shows the last lines, each cut to its end, and breaks a long run
// without blanks (a path, a row of dots) where the alert's width ends.
constexpr qsizetype kShownOutputLines = 8;
constexpr qsizetype kShownLineLength = 120;
constexpr qsizetype kLongestUnbrokenRun = 32;

QString ScriptText(const QString& key, const QString& name, const QString& other = QString())
{
    return CopyLocalizedString(key).replace(QLatin1String("^0"), name).replace(QLatin1String("^1"), other);
}

// The end of the output as the alert shows it: whole lines only.
QString ShownOutput(const QByteArray& tail, bool cut)
{
    QStringList lines = QString::fromLocal8Bit(tail).trimmed().split(QLatin1Char('\n'));
    if (cut && lines.size() > 1)
        lines.removeFirst(); // begun before what was kept
    if (lines.size() > kShownOutputLines)
        lines = lines.mid(lines.size() - kShownOutputLines);
    for (QString& line : lines) {
        if (line.size() > kShownLineLength)
            line = QStringLiteral("…") + line.right(kShownLineLength);
        QString wrappable;
        qsizetype run = 0;
        for (const QChar c : line) {
            wrappable += c;
            run = c.isSpace() ? 0 : run + 1;
            if (run == kLongestUnbrokenRun) {
                wrappable += QChar(0x200B); // a zero-width space: a place to wrap
                run = 0;
            }
        }
        line = wrappable;
    }
    return lines.join(QLatin1Char('\n')).trimmed();
}

const QIcon& ScriptIcon()
{
    // Made when the menu is first shown, not while the menu bar is built.
    static const QIcon icon = DeferredThemeIcon([] {
        return QIcon::fromTheme(QStringLiteral("text-x-script"), QFileIconProvider().icon(QFileIconProvider::File));
    });
    return icon;
}

} // namespace

CStoredSettingsMenu::CStoredSettingsMenu(LMenuBar& menuBar)
    : mMenuBar(menuBar)
{
}

CStoredSettingsMenu::~CStoredSettingsMenu()
{
    if (mProcess)
        mProcess->kill();
    delete mRunWindow.data();
}

void CStoredSettingsMenu::SetUp()
{
    LMenu* menu = mMenuBar.FetchMenu(kMenuID);
    ThrowIfNil_(menu);
    if (mOwnItems < 0)
        mOwnItems = menu->CountItems(); // unless a rebuild came first
    // No Scripts folder means no script items; the settings show all the same.
    FileRef folder;
    if (mScriptsFolder.IsValid())
        ; // given already
    else if (const OSStatus status = FindOrCreateFolderBesideApp(QStringLiteral("Scripts"), folder); status == noErr)
        mScriptsFolder = folder;
    else
        qCWarning(lcApp) << "the Scripts folder cannot be found or made:" << status;
    Rebuild();
}

void CStoredSettingsMenu::AppendSettings(LMenu& menu, bool batches, QString& ioUsedKeys)
{
    QVariantList settings;
    if (const OSStatus status = CatchCode([&] { settings = CopyStoredSettings(batches); }); status != noErr)
        qCWarning(lcApp) << "stored settings cannot be read:" << status;
    const QIcon& icon = SettingIcon(batches);
    for (qsizetype i = 0; i < settings.size(); ++i) {
        const QVariantMap setting = settings.at(i).toMap();
        const QString name = setting.value(kSettingNameKey).toString();
        SMenuItem item;
        if (IsSettingSeparatorName(name)) {
            item.text = name;
            menu.InsertItem(item, menu.CountItems());
            continue;
        }
        item.text = StoredSettingDisplayName(name);
        item.command = StoredSettingCommand(batches, i);
        item.icon = icon;
        item.keyChar = QChar();
        // A key the desktop keeps, or one an earlier setting took, is left off.
        const QString key = setting.value(kSettingShortcutKey).toString().left(1).toUpper();
        if (!key.isEmpty()
            && CheckSettingShortcut(key, {}, {}, 0) == EShortcutCheck::Ok && !ioUsedKeys.contains(key)) {
            item.keyChar = key.at(0);
            item.keyModifiers = cmdKey | optionKey;
            ioUsedKeys += key;
        }
        menu.InsertItem(item, menu.CountItems());
    }
}

void CStoredSettingsMenu::LoadScripts()
{
    mScripts.clear();
    if (!mScriptsFolder.IsValid() || !mScriptsFolder.IsFolder())
        return;
    const QFileInfoList entries = QDir(mScriptsFolder.Path()).entryInfoList(
        QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (SInt32(mScripts.size()) >= kMaxScripts)
            break;
        if (entry.fileName().startsWith(QLatin1Char('.')))
            continue;
        auto script = std::make_unique<GOSAScript>();
        if (script->LoadFromFile(FileRef(entry.absoluteFilePath())) == noErr)
            mScripts.push_back(std::move(script));
    }
}

void CStoredSettingsMenu::AppendScripts(LMenu& menu)
{
    if (!mScriptsFolder.IsValid() || !mScriptsFolder.IsFolder())
        return;
    menu.InsertCommand(QStringLiteral("-"), cmd_Nothing, menu.CountItems());
    const QIcon& icon = ScriptIcon();
    for (size_t i = 0; i < mScripts.size(); ++i) {
        SMenuItem item;
        item.text = mScripts[i]->Script().Name();
        item.command = kScriptCommandBase + CommandT(i + 1);
        item.icon = icon;
        menu.InsertItem(item, menu.CountItems());
    }
}

void CStoredSettingsMenu::Rebuild()
{
    LMenu* menu = mMenuBar.FetchMenu(kMenuID);
    if (!menu)
        return;
    if (mOwnItems < 0)
        mOwnItems = menu->CountItems();
    while (menu->CountItems() > mOwnItems)
        menu->RemoveItem(menu->CountItems());
    QString usedKeys;
    AppendSettings(*menu, false, usedKeys);
    menu->InsertCommand(QStringLiteral("-"), cmd_Nothing, menu->CountItems());
    AppendSettings(*menu, true, usedKeys);
    // Each rebuild loads the scripts afresh, so their commands stay 1..n; while
    // one runs the loaded ones are kept (the run holds its object) and shown again.
    if (!mProcess)
        LoadScripts();
    AppendScripts(*menu);
}

bool CStoredSettingsMenu::IsScriptCommand(CommandT command, SInt32& outScript) const
{
    const SInt32 script = command - kScriptCommandBase;
    if (script < 1 || script > SInt32(mScripts.size()))
        return false;
    outScript = script;
    return true;
}

void CStoredSettingsMenu::RunScript(SInt32 script)
{
    if (script < 1 || script > SInt32(mScripts.size()))
        ThrowOSErr_(kErrScriptNotLoaded, "no script " + std::to_string(script));
    const FileRef& file = mScripts[size_t(script - 1)]->Script();
    if (mProcess) {
        // One script at a time: say so, and show the one that runs.
        ShowMessageAlert(ScriptText(QStringLiteral("SCRIPT_STILL_RUNNING"), mRunName, file.Name()), kNoteAlert);
        if (mRunWindow) {
            mRunWindow->raise();
            mRunWindow->activateWindow();
        }
        return;
    }
    mRunName = file.Name();
    mOutputTail.clear();
    mOutputCut = false;

    auto* process = new QProcess;
    mProcess = process;
    process->setWorkingDirectory(file.Parent().Path());
    process->setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(process, &QProcess::readyRead, process, [this, process] { KeepOutput(*process); });

    // The user sees the script run and can stop it; it is stopped after the limit.
    auto* window = new QDialog;
    mRunWindow = window;
    window->setWindowTitle(mRunName);
    auto* layout = new QVBoxLayout(window);
    const QString running = ScriptText(QStringLiteral("SCRIPT_RUNNING"), mRunName, QString::number(sTimeLimitSeconds));
    layout->addWidget(new QLabel(running));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* stop = new QPushButton(CopyLocalizedString(QStringLiteral("SCRIPT_STOP")));
    buttons->addWidget(stop);
    layout->addLayout(buttons);
    // The window stays above the window the script was chosen in.
    if (LWindow* front = LWindow::GetFrontWindow(); front && front->GetShell()->window()->windowHandle()) {
        window->winId();
        window->windowHandle()->setTransientParent(front->GetShell()->window()->windowHandle());
    }
    QObject::connect(stop, &QPushButton::clicked, process, [this] { EndRun(RunEnd::StoppedByUser); });
    QObject::connect(window, &QDialog::rejected, process, [this] { EndRun(RunEnd::StoppedByUser); });
    QTimer::singleShot(sTimeLimitSeconds * 1000, process, [this] { EndRun(RunEnd::TimedOut); });
    QObject::connect(process, &QProcess::finished, process, [this] { EndRun(RunEnd::Finished); });
    QObject::connect(process, &QProcess::errorOccurred, process, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            EndRun(RunEnd::Finished);
    });
    process->start(file.Path(), QStringList());
    window->show();
}

void CStoredSettingsMenu::KeepOutput(QProcess& process)
{
    mOutputTail += process.readAll();
    if (mOutputTail.size() > kKeptOutputBytes) {
        mOutputTail.remove(0, mOutputTail.size() - kKeptOutputBytes);
        mOutputCut = true;
    }
}

void CStoredSettingsMenu::EndRun(RunEnd end)
{
    QProcess* process = mProcess;
    if (!process)
        return;
    mProcess = nullptr;
    if (end != RunEnd::Finished && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(1000);
    }
    KeepOutput(*process);
    QString message;
    if (end == RunEnd::TimedOut)
        message = ScriptText(QStringLiteral("SCRIPT_TIMED_OUT"), mRunName, QString::number(sTimeLimitSeconds));
    else if (end == RunEnd::Finished && process->error() == QProcess::FailedToStart)
        message = ScriptText(QStringLiteral("SCRIPT_NOT_STARTED"), mRunName);
    else if (end == RunEnd::Finished && (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0))
        message = ScriptText(QStringLiteral("SCRIPT_FAILED"), mRunName);
    process->deleteLater();
    if (mRunWindow) {
        mRunWindow->hide();
        mRunWindow->deleteLater();
    }
    // A script the user stopped is no failure to report.
    if (message.isEmpty())
        return;
    const QString output = ShownOutput(mOutputTail, mOutputCut);
    mOutputTail.clear();
    if (!output.isEmpty())
        message += QStringLiteral("\n\n") + output;
    ReportErrorWithText(ExceptionCode(kErrScriptFailed, (mRunName + QStringLiteral(": ") + output).toStdString()),
        message, kStopAlert);
}

// --- The organizer --------------------------------------------------------------------------

CSettingsOrganizer::CSettingsOrganizer()
    : mSearches(CopyStoredSettings(false))
    , mBatches(CopyStoredSettings(true))
{
    for (qsizetype i = 0; i < mSearches.size(); ++i)
        mSearchOrigins.push_back(StoredSettingCommand(false, i));
    for (qsizetype i = 0; i < mBatches.size(); ++i)
        mBatchOrigins.push_back(StoredSettingCommand(true, i));
}

QStringList CSettingsOrganizer::RowNames() const
{
    QStringList names;
    for (const QVariantList* settings : { &mSearches, &mBatches }) {
        for (const QVariant& setting : *settings)
            names << setting.toMap().value(kSettingNameKey).toString();
    }
    return names;
}

QVariantMap CSettingsOrganizer::GetRow(qsizetype row) const
{
    if (row < 0 || row >= CountRows())
        return {};
    return (IsBatchRow(row) ? mBatches : mSearches).at(IndexOf(row)).toMap();
}

void CSettingsOrganizer::DeleteRow(qsizetype row)
{
    if (row < 0 || row >= CountRows())
        return;
    std::vector<CommandT>& origins = IsBatchRow(row) ? mBatchOrigins : mSearchOrigins;
    origins.erase(origins.begin() + IndexOf(row));
    ArrayOf(row).removeAt(IndexOf(row));
    mChanged = true;
}

EShortcutCheck CSettingsOrganizer::EditRow(qsizetype row, const QString& name, const QString& shortcut, QString* outOwner)
{
    if (row < 0 || row >= CountRows())
        return EShortcutCheck::Invalid;
    const QString key = shortcut.trimmed().toUpper();
    const EShortcutCheck check
        = CheckSettingShortcut(key, mSearches, mBatches, StoredSettingCommand(IsBatchRow(row), IndexOf(row)), outOwner);
    if (check != EShortcutCheck::Ok)
        return check;
    QVariantMap setting = GetRow(row);
    setting.insert(kSettingNameKey, name);
    setting.insert(kSettingShortcutKey, key);
    ArrayOf(row)[IndexOf(row)] = setting;
    mChanged = true;
    return check;
}

void CSettingsOrganizer::Apply()
{
    if (mChanged)
        ApplyOrganizedSettings(mSearches, mBatches, mSearchOrigins, mBatchOrigins);
}

namespace {

// A modal dialog of a layout whose every way of closing is an answer: the close
// box and the window manager's close come back as `closeMessage`.
class StModalLayout : public LCommander, public LListener {
public:
    // Over the window of `super` when it has one (an edit over its organizer).
    StModalLayout(ResIDT layoutID, MessageT closeMessage, LCommander* super = nullptr)
        : LCommander(super)
        , mCloseMessage(closeMessage)
    {
        LWindow* window = LWindow::CreateWindow(layoutID, this);
        mDialog = dynamic_cast<LDialogBox*>(window);
        if (!mDialog) {
            delete window;
            ThrowOSErr_(err_NilPointer, "the layout makes no dialog");
        }
        mDialog->AddListener(this);
    }
    ~StModalLayout() override
    {
        LDialogBox* dialog = mDialog;
        mDialog = nullptr;
        if (dialog) {
            dialog->RemoveListener(this);
            dialog->Hide();
            delete dialog;
        }
    }
    LDialogBox* Dialog() const { return mDialog; }

    MessageT Wait()
    {
        if (!mDialog->IsVisible()) {
            mDialog->Show();
            mDialog->Select();
        }
        mMessage = msg_Nothing;
        QEventLoop loop;
        mLoop = &loop;
        if (loop.exec() == -1 && mMessage == msg_Nothing)
            mMessage = mCloseMessage;
        mLoop = nullptr;
        return mMessage;
    }

    void ListenToMessage(MessageT message, void*) override
    {
        if (message == msg_BroadcasterDied || message == msg_Nothing)
            return;
        Answer(message);
    }
    bool AllowSubRemoval(LCommander*) override
    {
        Answer(mCloseMessage);
        return false;
    }

private:
    void Answer(MessageT message)
    {
        mMessage = message;
        if (mLoop)
            mLoop->quit();
    }

    LDialogBox* mDialog = nullptr;
    MessageT mCloseMessage;
    MessageT mMessage = msg_Nothing;
    QEventLoop* mLoop = nullptr;
};

QListWidget* OrganizerList(LDialogBox* dialog)
{
    auto* list = dynamic_cast<LListBox*>(dialog->FindPaneByID(kOrganizerList));
    return list ? list->GetList() : nullptr;
}

void FillOrganizerList(LDialogBox* dialog, const CSettingsOrganizer& organizer)
{
    auto* list = dynamic_cast<LListBox*>(dialog->FindPaneByID(kOrganizerList));
    ThrowIfNil_(list);
    const QStringList names = organizer.RowNames();
    QStringList rows;
    for (const QString& name : names)
        rows << (IsSettingSeparatorName(name) ? QString() : StoredSettingDisplayName(name));
    const int current = list->GetList()->currentRow();
    list->SetItems(rows);
    // A separator shows as the line it makes in the menu (it can still be chosen and deleted).
    for (qsizetype row = 0; row < names.size(); ++row) {
        if (!IsSettingSeparatorName(names[row]))
            continue;
        auto* line = new QFrame;
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setAttribute(Qt::WA_TransparentForMouseEvents);
        list->GetList()->setItemWidget(list->GetList()->item(int(row)), line);
    }
    if (!rows.isEmpty())
        list->GetList()->setCurrentRow(std::clamp(current, 0, int(rows.size() - 1)));
}

void EditOrganizerRow(LDialogBox* over, CSettingsOrganizer& organizer, qsizetype row)
{
    StModalLayout edit(kEditSettingLayout, msg_EditCancel, over);
    const QVariantMap setting = organizer.GetRow(row);
    edit.Dialog()->FindPaneByID(kNameField)->SetCFDescriptor(setting.value(kSettingNameKey).toString());
    edit.Dialog()->FindPaneByID(kShortcutField)->SetCFDescriptor(setting.value(kSettingShortcutKey).toString());
    // The name is what is edited: the keyboard goes there, its text selected.
    if (auto* name = dynamic_cast<LEditText*>(edit.Dialog()->FindPaneByID(kNameField))) {
        name->SelectAll();
        edit.Dialog()->setFocusProxy(name);
    }
    while (edit.Wait() == msg_EditApply) {
        const QString name = CopyPaneCFDescriptor(edit.Dialog(), kNameField).trimmed();
        const QString shortcut = CopyPaneCFDescriptor(edit.Dialog(), kShortcutField).trimmed();
        if (name.isEmpty()) {
            ShowMessageAlert(CopyLocalizedString(QStringLiteral("SETTING_NAME_EMPTY")), kCautionAlert);
            continue;
        }
        QString owner;
        const EShortcutCheck check = organizer.EditRow(row, name, shortcut, &owner);
        if (check == EShortcutCheck::Ok)
            return;
        ShowMessageAlert(ShortcutRefusalText(check, shortcut, owner), kCautionAlert);
    }
}

} // namespace

void OrganizeStoredSettings(LCommander*)
{
    CSettingsOrganizer organizer;
    {
        StModalLayout dialog(kOrganizerLayout, msg_OrganizerDone);
        FillOrganizerList(dialog.Dialog(), organizer);
        for (;;) {
            const MessageT message = dialog.Wait();
            QListWidget* list = OrganizerList(dialog.Dialog());
            const qsizetype row = list ? list->currentRow() : -1;
            if (message == msg_OrganizerDelete && row >= 0) {
                if (AskYesNoAlert(CopyLocalizedString(QStringLiteral("600:80")),
                        CopyLocalizedString(QStringLiteral("600:82")), kCautionAlert)) {
                    organizer.DeleteRow(row);
                    FillOrganizerList(dialog.Dialog(), organizer);
                }
            } else if (message == msg_OrganizerEdit && row >= 0) {
                EditOrganizerRow(dialog.Dialog(), organizer, row);
                FillOrganizerList(dialog.Dialog(), organizer);
            } else if (message == msg_OrganizerDone || message == msg_Cancel) {
                break;
            }
        }
    }
    // Whichever way the organizer closed, what the user confirmed is kept.
    organizer.Apply();
}
