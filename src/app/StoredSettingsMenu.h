#pragma once

#include "FileRef.h"
#include "LCommander.h"
#include "ScriptRoutines.h"
#include "StoredSettings.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>

#include <memory>
#include <vector>

class LDialogBox;
class LMenu;
class LMenuBar;
#include <QDialog>
#include <QProcess>

// The Search menu's part after its own items: the stored searches (9000 + i),
// a separator, the stored batches (9500 + i), and the executable scripts of the
// Scripts folder, each with the command k - 4100 (k from 1).
class CStoredSettingsMenu {
public:
    static constexpr ResIDT kMenuID = 133;
    static constexpr CommandT kScriptCommandBase = -4100;
    // Script commands end before -4004: the framework's own commands follow.
    static constexpr SInt32 kMaxScripts = 95;

    explicit CStoredSettingsMenu(LMenuBar& menuBar);
    ~CStoredSettingsMenu();

    // Remembers the menu's own items, finds (or makes) the Scripts folder and
    // builds the rest. Without a Scripts folder the settings still show.
    void SetUp();
    // Builds the part after the menu's own items again, from the preferences and
    // the folder as they are now.
    void Rebuild();
    void SetScriptsFolder(const FileRef& folder) { mScriptsFolder = folder; }
    const std::vector<std::unique_ptr<GOSAScript>>& GetScripts() const { return mScripts; }

    // The 1-based script of a script command; false for other commands.
    bool IsScriptCommand(CommandT command, SInt32& outScript) const;
    // Starts the script and returns; a window over the front window shows that it
    // runs, with a Stop button and the time after which it is stopped. A failure is
    // reported with the end of the script's output. One script runs at a time: the
    // user is told when another is chosen meanwhile.
    void RunScript(SInt32 script);
    // The run under way (null when none), for the program's own tests.
    QDialog* GetRunWindow() const { return mRunWindow; }
    QProcess* GetRunProcess() const { return mProcess; }
    static void SetScriptTimeLimit(int seconds) { sTimeLimitSeconds = seconds; }
    // Lives as long as this menu part: work queued for it is dropped with it.
    QObject* Lifetime() { return &mLifetime; }

private:
    void AppendSettings(LMenu& menu, bool batches, QString& ioUsedKeys);
    void LoadScripts();
    void AppendScripts(LMenu& menu);
    enum class RunEnd { Finished, StoppedByUser, TimedOut };
    void EndRun(RunEnd end);
    void KeepOutput(QProcess& process);

    LMenuBar& mMenuBar;
    SInt16 mOwnItems = -1;
    FileRef mScriptsFolder;
    std::vector<std::unique_ptr<GOSAScript>> mScripts;
    QPointer<QDialog> mRunWindow;
    QPointer<QProcess> mProcess;
    QString mRunName;
    QByteArray mOutputTail; // the last bytes the running script wrote
    bool mOutputCut = false; // earlier bytes were dropped
    QObject mLifetime;
    static inline int sTimeLimitSeconds = 60;
};

// The organizer's work on the two arrays: rows are the stored searches, then the
// stored batches, in stored order. Nothing reaches the preferences before Apply.
class CSettingsOrganizer {
public:
    CSettingsOrganizer();

    QStringList RowNames() const;
    qsizetype CountRows() const { return mSearches.size() + mBatches.size(); }
    QVariantMap GetRow(qsizetype row) const;
    void DeleteRow(qsizetype row);
    // Renames a row and gives it a shortcut (upper-cased); a refused shortcut
    // leaves the row as it was.
    EShortcutCheck EditRow(qsizetype row, const QString& name, const QString& shortcut, QString* outOwner = nullptr);
    bool IsChanged() const { return mChanged; }
    // Stores both arrays, keeps the toolbars' items on their settings and rebuilds the menu.
    void Apply();

private:
    bool IsBatchRow(qsizetype row) const { return row >= mSearches.size(); }
    QVariantList& ArrayOf(qsizetype row) { return IsBatchRow(row) ? mBatches : mSearches; }
    qsizetype IndexOf(qsizetype row) const { return IsBatchRow(row) ? row - mSearches.size() : row; }

    QVariantList mSearches;
    QVariantList mBatches;
    std::vector<CommandT> mSearchOrigins;
    std::vector<CommandT> mBatchOrigins;
    bool mChanged = false;
};

// The modal organizer (layout 1034, editing in 1036). However it is closed, the
// edits made are kept.
void OrganizeStoredSettings(LCommander* superCommander);
