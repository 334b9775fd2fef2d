#include "CImportFontsTask.h"

#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "MediaFactory.h"
#include "WorkerPool.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>

#include <fontconfig/fontconfig.h>

#include <cstdlib>
#include <map>
#include <set>

namespace {

Q_LOGGING_CATEGORY(lcFonts, "orvex.fonts")

// How far a face lies from the regular style: upright before italic, then the
// weight nearest the regular one.
int DistanceFromRegular(FcPattern* face)
{
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(face, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(face, FC_SLANT, 0, &slant);
    return (slant == FC_SLANT_ROMAN ? 0 : 1000) + std::abs(weight - FC_WEIGHT_REGULAR);
}

} // namespace

std::vector<ActiveFontFamily> ListActiveFontFamilies()
{
    // A configuration of its own, read now: fonts installed since the program
    // started count, and the program's own configuration is left alone.
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config)
        ThrowOSErr_(err_NilPointer, "no font configuration");
    FcPattern* all = FcPatternCreate();
    FcObjectSet* fields = FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_WEIGHT, FC_SLANT, nullptr);
    FcFontSet* faces = FcFontList(config, all, fields);
    struct Best {
        int distance = 0;
        QString file;
    };
    std::map<QString, Best> families; // sorted by family name
    for (int i = 0; faces && i < faces->nfont; ++i) {
        FcPattern* face = faces->fonts[i];
        FcChar8* family = nullptr;
        FcChar8* file = nullptr;
        if (FcPatternGetString(face, FC_FAMILY, 0, &family) != FcResultMatch
            || FcPatternGetString(face, FC_FILE, 0, &file) != FcResultMatch)
            continue;
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(family));
        if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
            continue;
        const int distance = DistanceFromRegular(face);
        auto [it, inserted] = families.try_emplace(name, Best {distance, QFile::decodeName(reinterpret_cast<const char*>(file))});
        if (!inserted && distance < it->second.distance)
            it->second = Best {distance, QFile::decodeName(reinterpret_cast<const char*>(file))};
    }
    if (faces)
        FcFontSetDestroy(faces);
    FcObjectSetDestroy(fields);
    FcPatternDestroy(all);
    FcConfigDestroy(config);
    std::vector<ActiveFontFamily> list;
    list.reserve(families.size());
    for (auto& [family, best] : families)
        list.push_back({family, best.file});
    return list;
}

CImportFontsTask::CImportFontsTask(SInt16 titleList, SInt16 titleIndex, TaskOwnerView* owner)
    : CSourceImportTask(titleList, titleIndex, owner)
{
}

void CImportFontsTask::RunTask()
{
    TaskOwnerView& owner = BeginWork();
    SetIndeterminate(true);
    SetStatusCaption(601, 17);
    ShowPauseButton(true);
    ShowStopButton(true);
    ShowProgress(0.1);

    const std::vector<ActiveFontFamily> families = WorkerPool::Run([] { return ListActiveFontFamilies(); });
    std::set<QString> handled;
    for (const ActiveFontFamily& family : families) {
        CheckPause();
        SetCaption6(family.family);
        if (!handled.insert(family.file).second)
            continue; // several families share one file
        const QUrl url = QUrl::fromLocalFile(family.file);
        if (!IsFontMediaType(GetMediaFileType(url))) {
            ++mPassedOver;
            continue;
        }
        // One family that cannot be added does not stop the others.
        try {
            if (owner.ImportURL(url, kInsertAtEnd, true) != 0)
                ++mImported;
        } catch (...) {
            const ExceptionCode error = CurrentExceptionCode();
            qCWarning(lcFonts) << "font family" << family.family << "not added:" << error.what();
            if (mFailed++ == 0)
                mFirstFailure = error;
        }
        YieldIfTimeUp(kUseTaskSlice);
    }
    if (mPassedOver > 0)
        qCInfo(lcFonts) << mPassedOver << "font files are of kinds the program does not open";
    if (mFailed > 0)
        ReportError(mFirstFailure, kCautionAlert);
    Finish(false);
}
