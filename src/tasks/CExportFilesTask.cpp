#include "CExportFilesTask.h"

#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "CMedia.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "IIMText.h"
#include "GraphicsExporter.h"
#include "IPTCFileWriter.h"
#include "Liveness.h"
#include "Offscreen.h"
#include "RectUtilities.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

CExportFilesTask::CExportFilesTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, QWidget* window)
    : CVisualTask(titleList, titleIndex, &model)
    , mWindow(window)
{
    model.AddRunningTask(false);
    mBusy.Raise(model);
}

CExportFilesTask::~CExportFilesTask()
{
    // A dialog still open when its task goes (the view closed) goes with it.
    if (mDialog) {
        SetSheetShown(false);
        mDialog->disconnect();
        delete mDialog.data();
    }
    mBusy.Lower(GetModel());
    if (CIndexModel* model = GetModel())
        model->RemoveRunningTask(false);
}

void CExportFilesTask::Finish(bool)
{
    mBusy.Lower(GetModel());
}

void CExportFilesTask::InsertItem(CIndexItem* item, SInt32 position)
{
    if (!mFirstItem)
        mFirstItem = TLivePtr<CIndexItem>(item);
    CVisualTask::InsertItem(item, position);
}

QString CExportFilesTask::NameWithExtension(const QString& name, const QString& extension)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    return stem + QLatin1Char('.') + extension;
}

void CExportFilesTask::OpenExporter(OSType type)
{
    mExporter.reset();
    ThrowIfOSErr_(GraphicsExporter::Open(type, mExporter));
    mExporter->SetCompressionQuality(CodecQ(ExportSettings::Read().quality));
    mType = type;
}

QString CExportFilesTask::CreateOutputFile(const QString& name) const
{
    ThrowIfNil_(mExporter);
    // Names come from index files, where old ones may hold a path separator.
    const QString safe = SanitizeFileName(name);
    if (safe.isEmpty())
        ThrowOSErr_(err_AssertFailed, "an item without a name");
    const QString path = QDir(mDestination).filePath(NameWithExtension(safe, mExporter->DefaultExtensionText()));
    if (QFileInfo::exists(path))
        ThrowOSErr_(kExportNameTakenErr, "a file of that name is in the folder already");
    return path;
}

void CExportFilesTask::RunTask()
{
    if (mCancelled)
        return;
    const ExportSettings settings = ExportSettings::Read();
    if (!mExporter)
        OpenExporter(mType ? mType : settings.type);

    const SInt32 count = CountItems();
    SetProgressMin(0);
    SetProgressMax(count);
    SetStatusCaption(601, 38);
    ShowPauseButton(true);
    ShowProgress(0.1);
    const bool single = !mSingleOutput.isEmpty();
    while (CountItems() > 0 && !mCancelled) {
        CheckPause();
        CIndexItem* next = NextItemIfAny();
        if (!next)
            break;
        SetProgress(count - CountItems());
        const TLivePtr<CIndexItem> item(next);
        const ExceptionCode error = CatchException([&] {
            const QString name = next->GetName();
            const QString path = single ? mSingleOutput : CreateOutputFile(name);
            SetItemCaption(name);
            ExportItem(*next, path, single, settings);
        });
        if (error.Code() == noErr || error.Code() == userCanceledErr)
            continue;
        if (single)
            ReportError(error, kNoteAlert); // the file the user named: its own reason
        else if (item)
            AddItemError(item.Get(), std::make_unique<CItemError>(error, QString(), QString()));
    }
    ReportErrors();
    mExporter.reset();
    Finish(false);
}

void CExportFilesTask::ExportItem(CIndexItem& item, const QString& path, bool replace, const ExportSettings& settings)
{
    ThrowIfNil_(mExporter);
    const TLivePtr<CIndexItem> live(&item);
    const FileRef target = FileRef(path).Canonical();
    const FileRef source = FileRef::FromUrl(item.LocateFile(false));
    if (target.IsValid() && target == source.Canonical())
        ThrowOSErr_(kExportNameTakenErr, "the export would replace the item's own file");

    // Camera raw files at their whole size, from the raw data: the medium's own
    // switch, so that no preference changes under other views meanwhile.
    std::unique_ptr<CMedia> media(item.CreateMedia());
    ThrowIfNil_(media);
    media->SetFullSizeDecode(true);
    Rect bounds;
    ThrowIfOSErr_(media->GetNaturalBounds(&bounds));
    if (settings.FitsIntoBox()) {
        Rect fitted;
        FitRectInRect(bounds, MakeRect(0, 0, settings.height, settings.width), fitted, true, false);
        bounds = fitted;
    }
    OffsetRect(bounds, -bounds.left, -bounds.top);
    ThrowIfOSErr_(media->SetBoundsRect(&bounds));

    GraphicsExporter& exporter = *mExporter;
    const Fixed resolution = settings.SetsResolution() ? Fixed(settings.resolution) << 16 : 0;
    exporter.SetResolution(resolution, resolution);
    exporter.SetThumbnailEnabled(settings.embedThumbnail);
    const QByteArray* profile = settings.preserveColorProfile && media->HasColorProfile() ? media->GetColorProfile() : nullptr;
    exporter.SetColorProfile(profile ? *profile : QByteArray());
    UserData* metadata = settings.preserveMetaData ? media->GetMetaData() : nullptr;
    exporter.SetExifEnabled(metadata != nullptr);
    exporter.SetMetaData(metadata, metadata && source.IsValid() ? source.Path() : QString());
    // Every dataset of the caption goes into the file, before it takes its name; an
    // item without one, or a format without IPTC, is exported without.
    QByteArray caption;
    if (settings.preserveMetaData && CanWriteIPTCIntoFileType(exporter.Type())) {
        if (const CANPAInfo* info = live.Checked("item deleted during its export").GetCaptionInfo())
            caption = IIMText::BlockToFileForm(info->GetDataHandle(EUrgencyForm::AsciiDigit));
    }
    exporter.SetIPTCData(caption);
    exporter.SetReplaceExisting(replace);
    exporter.SetOutputFile(path);
    OSStatus status = noErr;
    if (media->IsTransformed()) {
        // Turned or flipped: drawn upright at the bounds, as the views show it.
        Offscreen world(bounds);
        {
            StOffscreenPort port(world);
            status = media->SetGWorld(port.Port());
            if (status == noErr)
                status = media->DrawMatched();
        }
        if (status == noErr) {
            exporter.SetInputOffscreen(world);
            status = exporter.DoExport();
        }
    } else {
        status = media->Export(&exporter);
    }
    exporter.SetMetaData(nullptr);
    exporter.SetInputPicture(Picture());
    media.reset();
    ThrowIfOSErr_(status);

    if (settings.addToIndex) {
        if (CIndexModel* model = GetModel())
            model->SelectIndex(model->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd));
    }
}
