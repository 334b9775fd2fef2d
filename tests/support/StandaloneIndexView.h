#pragma once

// An index view outside any index window and the model it shows, held together
// the way a document holds its window's: the view goes first, then the model.
// Header only, for the tests and benchmarks that link the views.

#include "CIndexModel.h"
#include "CIndexView.h"

#include <memory>

class StandaloneIndexView {
public:
    StandaloneIndexView() = default; // none yet
    StandaloneIndexView(int width, int height)
        : mModel(std::make_unique<CIndexModel>())
    {
        SPaneInfo info;
        info.width = SInt16(width);
        info.height = SInt16(height);
        mView = std::make_unique<CIndexView>(info, *mModel);
    }
    StandaloneIndexView(StandaloneIndexView&&) = default;
    StandaloneIndexView& operator=(StandaloneIndexView&& other) noexcept
    {
        reset();
        mModel = std::move(other.mModel);
        mView = std::move(other.mView);
        return *this;
    }
    ~StandaloneIndexView() { reset(); }

    CIndexView* get() const { return mView.get(); }
    CIndexView* operator->() const { return mView.get(); }
    CIndexView& operator*() const { return *mView; }
    explicit operator bool() const { return mView != nullptr; }
    CIndexModel& Model() const { return *mModel; }

    // The index closes: its view, then its model.
    void reset()
    {
        mView.reset();
        mModel.reset();
    }

private:
    std::unique_ptr<CIndexModel> mModel;
    std::unique_ptr<CIndexView> mView;
};
