#pragma once

#include "MacTypes.h"

#include <QString>
#include <QVariantMap>

#include <vector>

// The index's display settings as settings.xml keeps them, beside its model: the
// grid's sizes, columns and theme, whether it opens full screen, where it was
// scrolled to, the list view's columns and the index's comment and URL. The model
// holds one (CIndexModel::Settings); the views show what it says and put back
// what the user changes; the document reads and writes it with the file.
struct IndexSettings {
    // Sizes are kept in 16 bits; the smallest is the grid's smallest cell picture.
    static constexpr SInt32 kMinThumbnailSize = 32;
    static constexpr SInt32 kMaxStoredSize = 32767;
    static constexpr qsizetype kMaxCommentLength = 5000;
    static constexpr qsizetype kMaxURLLength = 500;

    SInt16 thumbnailSize = 128;
    SInt16 extendedSize = 64;
    std::vector<SInt32> thumbnailColumns;
    std::vector<SInt32> extendedColumns;
    // The index's own theme: the one full screen replaces while it lasts.
    SInt32 theme = -1;
    bool fullScreen = false;
    // The first item the grid showed (1-based; 0 the top).
    SInt32 firstVisibleItem = 0;
    // The list view's "ListViewColumns" dictionary as stored; empty for none.
    QVariantMap listViewColumns;
    QString comment;
    QString url;

    // The settings of a new index: sizes, columns and theme from the preferences.
    static IndexSettings FromPreferences();
    // A size as it is stored: clamped to kMinThumbnailSize..kMaxStoredSize.
    static SInt16 StoredSize(SInt32 size);
    // A column list of settings.xml or the preferences; 'nilP' for an entry that is no number.
    static std::vector<SInt32> ColumnsFrom(const QVariantList& keys);
    static QVariantList ColumnList(const std::vector<SInt32>& keys);
};
