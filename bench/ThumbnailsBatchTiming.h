#pragma once

#include "CIndexItem.h"
#include "CIndexView.h"
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

// The thumbnails batch alone on fresh items of the files; true when every thumbnail was made.
inline bool CreateThumbnailsOf(const std::vector<QString>& files)
{
    std::vector<std::unique_ptr<CIndexItem>> items;
    std::vector<CIndexItem*> pointers;
    for (const QString& path : files) {
        items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(path)));
        pointers.push_back(items.back().get());
    }
    const std::vector<OSStatus> codes = CreateThumbnails(pointers, false);
    return std::all_of(codes.begin(), codes.end(), [](OSStatus code) { return code == noErr; });
}

