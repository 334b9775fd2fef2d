#include "CImportFontsTask.h"

#include "CImportFolderTask.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "MediaFactory.h"
#include "WorkerPool.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>

#include <fontconfig/fontconfig.h>

#include <algorithm>
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
    struct Face {
        int distance;
        QString file;
    };
    std::map<QString, std::vector<Face>> families; // sorted by family name
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
        families[name].push_back({DistanceFromRegular(face), QFile::decodeName(reinterpret_cast<const char*>(file))});
    }
    if (faces)
        FcFontSetDestroy(faces);
    FcObjectSetDestroy(fields);
    FcPatternDestroy(all);
    FcConfigDestroy(config);
    std::vector<ActiveFontFamily> list;
    list.reserve(families.size());
    for (auto& [family, found] : families) {
        // Nearest the regular face first; equals keep the configuration's order.
        std::stable_sort(found.begin(), found.end(), [](const Face& a, const Face& b) { return a.distance < b.distance; });
        ActiveFontFamily entry {family, {}};
        for (const Face& face : found)
            if (!entry.files.contains(face.file))
                entry.files << face.file;
        list.push_back(std::move(entry));
    }
    return list;
}

CImportFontsTask::CImportFontsTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model)
    : CSourceImportTask(titleList, titleIndex, model)
{
}

void CImportFontsTask::RunTask()
{
    CIndexModel& model = BeginWork();
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
        // The nearest-to-regular face of a kind the program opens stands for
        // the family.
        const auto opened = std::find_if(family.files.begin(), family.files.end(), [](const QString& file) {
            return IsFontMediaType(GetMediaFileType(QUrl::fromLocalFile(file)));
        });
        if (opened == family.files.end()) {
            ++mPassedOver;
            continue;
        }
        if (!handled.insert(*opened).second)
            continue; // several families share one file
        const QUrl url = QUrl::fromLocalFile(*opened);
        // One family that cannot be added does not stop the others.
        try {
            if (ImportURL(model, url, kInsertAtEnd) != 0)
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
        qCInfo(lcFonts) << mPassedOver << "font families have no file of a kind the program opens";
    if (mFailed > 0)
        ReportError(mFirstFailure, kCautionAlert);
    Finish(false);
}
