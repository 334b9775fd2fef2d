#pragma once

#include "CVisualTask.h"
#include "Sounds.h"

#include <memory>

class CIndexPackage;
class LeasedFile;
struct IndexDbPieces;
class IndexPackageDocument;

// Loads an index package into a freshly made document: "settings.xml" first,
// then "index.db" (read on the worker pool a piece at a time, its records parsed
// as they arrive), its password header, and one item per record inserted at the
// end of the view, with progress by time slice; then the window shows and the
// view finishes reading.
//
// A damaged "index.db" keeps every record that can be read: the rest is
// reported once, and the view is marked so that saving never replaces the
// file that was not read whole (it saves beside it as "index.db.recovered").
class CReadIndexPackageTask : public CVisualTask {
public:
    CReadIndexPackageTask(SInt16 titleList, SInt16 titleIndex, IndexPackageDocument* document);
    ~CReadIndexPackageTask() override;

    void Finish(bool stopped) override;

    bool HasFailed() const { return mFailed; }
    // Records that could not be read (0 for an intact file).
    SInt32 CountDamagedRecords() const { return mDamagedRecords; }

protected:
    void RunTask() override;
    // Reads the header, hands the password to the view; answers where the records begin.
    virtual qsizetype ReadPasswordHeader(const QByteArray& data);

private:
    void ReadIndexDb(const QString& path);
    void ReadItems(const std::shared_ptr<IndexDbPieces>& file, qsizetype offset, LeasedFile* blocksFile);

    CIndexPackage* mPackage = nullptr;
    IndexPackageDocument* mDocument = nullptr;
    StCompletionSound mCompletionSound {20};
    bool mFailed = false;
    SInt32 mDamagedRecords = 0;
};
