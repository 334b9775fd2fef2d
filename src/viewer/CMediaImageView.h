#pragma once

#include "CMediaView.h"

// The media view of still images (class ID 'ImVi', pane ID 901).
class CMediaImageView : public CMediaView {
public:
    static constexpr ClassIDT class_ID = 'ImVi';

    using CMediaView::CMediaView;

protected:
    // Tells the navigator once that a still is shown, then needs no more time.
    void StatusUpdate() override;
};
