#pragma once

#include "CVisualTask.h"
#include "TaskOwnerView.h"
#include "FileRef.h"
#include "Sounds.h"

#include <QStringList>

#include <set>
#include <utility>
#include <vector>

struct FolderWalkItem;

// Reports of a folder walk that left folders out (text "500:74").
inline constexpr SInt32 kMsgFoldersSkipped = 100074;

// Walks a folder tree depth first and makes one item per supported media file,
// inserted into the index in the order of the walk from the insertion
// position on. Dot names are skipped, as are index packages, packages (with
// "ImportSkipPackages"), the system's own trees, the Trash and the program's own
// data (with "ImportSkipSpecialFolders"); symbolic links are files, resolved to
// their targets with "ImportResolveAliases", so a link to a folder is never
// walked. Items are made on the worker pool a batch at a time while the task
// yields. A folder that cannot be read, lies deeper than kMaxWalkDepth or was
// walked already (a loop of mounts) is left out, the walk goes on, and one
// report names the trouble at the end.
class CImportFolderTask : public CVisualTask {
public:
    static constexpr UInt32 kMaxWalkDepth = 128;

    CImportFolderTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, const FileRef& folder,
        SInt32 position, UInt32 maxDepth);
    ~CImportFolderTask() override;

    void Finish(bool stopped) override;

    SInt32 CountImported() const { return mImported; }
    // Folders left out because they could not be read, were too deep or were met again.
    const QStringList& GetSkippedFolders() const { return mSkippedFolders; }

    // The folders that are never walked with "ImportSkipSpecialFolders": the
    // system's own trees, the user's Trash and the program's own data folders.
    static const QStringList& SpecialFolders();

protected:
    void RunTask() override;
    // Answers true to keep the walk out of the entry (a folder).
    virtual bool FilterEntry(const FolderWalkItem& entry);

private:
    struct Candidate {
        FileRef file; // what the item is made from
        QString name; // the name the item takes (a link's own name)
        bool typeKnown = false; // supported by its extension already
    };
    void FlushBatch();
    bool IsSkippedFolder(const FolderWalkItem& entry) const;

    FileRef mFolder;
    StCompletionSound mCompletionSound {20};
    UInt32 mMaxDepth = 0;
    SInt32 mPosition = 0;
    ModelBusyMark mBusy;
    bool mResolveLinks = false;
    bool mSkipSpecial = true;
    bool mSkipPackages = true;
    bool mSkipDuplicates = false;
    SInt32 mImported = 0;
    std::vector<Candidate> mBatch;
    std::set<std::pair<UInt64, UInt64>> mWalkedFolders; // device, inode
    QStringList mSkippedFolders;
};

// Adds what a URL names to the index at a 1-based position (kInsertAtEnd: the
// end): a file or a remote URL as a new item, a folder through a folder import
// task (answering 0). Index packages and Internet location files add nothing
// (0), nor does a URL the index holds when "ImportSkipDuplicates" is on. Answers
// the new item's index. Throws for a file that cannot be read.
SInt32 ImportURL(CIndexModel& model, const QUrl& url, SInt32 index);

// A folder import (title 601:17) into the index at a 1-based position
// (kInsertAtEnd: the end), walking `option` levels deep (0: as deep as allowed).
void StartImportFolderTask(CIndexModel& model, const FileRef& folder, SInt32 position, SInt32 option);
