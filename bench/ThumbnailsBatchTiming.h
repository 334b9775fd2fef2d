#pragma once

#include "CIndexItem.h"
#include "CIndexView.h"
#include "ExtendedAttributes.h"
#include "FileRef.h"
#include "FinderPreview.h"
#include "PrefKeys.h"
#include "StandaloneIndexView.h"
#include "ItemThumbnails.h"

#include <QString>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>

// The index view the task benchmarks run on.
inline StandaloneIndexView MakeBenchView()
{
    return StandaloneIndexView(800, 600);
}

// The thumbnails batch alone on fresh items of the files, writing each into its
// file as the preference asks (on by default) as the program does; true when
// every thumbnail was made.
inline bool CreateThumbnailsOf(const std::vector<QString>& files)
{
    std::vector<std::unique_ptr<CIndexItem>> items;
    std::vector<CIndexItem*> pointers;
    for (const QString& path : files) {
        items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(path)));
        pointers.push_back(items.back().get());
    }
    const std::vector<OSStatus> codes = CreateThumbnails(pointers, Pref::ApplyChangesToMediaFile.Get());
    return std::all_of(codes.begin(), codes.end(), [](OSStatus code) { return code == noErr; });
}

// The previews a run wrote into the files, removed before the next run: each run
// makes every thumbnail from the picture, none found ready in its file.
inline void RemoveFilePreviews(const std::vector<QString>& files)
{
    for (const QString& path : files) {
        RemoveFileResource(FileRef(path), 'PICT', kPreviewPictureID);
        RemoveFileResource(FileRef(path), kPreviewListType, kPreviewListID);
    }
}

