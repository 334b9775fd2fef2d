#pragma once

#include "CIndexDoc.h"
#include "CIndexListView.h"
#include "CIndexView.h"
#include "CIndexViewDocument.h"
#include "CVisualTask.h"
#include "ExceptionCode.h"
#include "InterfaceClasses.h"
#include "Preferences.h"
#include "TaskServices.h"
#include "URegistrar.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>

// Writes a file of the test's own.
inline void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The code a body throws, noErr when it throws none.
inline OSStatus ThrownCode(const std::function<void()>& body)
{
    try {
        body();
    } catch (const ExceptionCode& e) {
        return e.Code();
    }
    return noErr;
}

// A document's grid and list.
inline CIndexView* IndexViewOf(CIndexDoc* doc)
{
    return CIndexView::ViewOfPane(doc->GetIndexViewPane());
}

inline CIndexListView* ListViewOf(CIndexDoc* doc)
{
    return dynamic_cast<CIndexListView*>(doc->GetListViewPane());
}

// Index documents with the program's own index window: its classes registered,
// the index view answering the document, the tasks running, a fresh folder per
// test. Documents a test leaves open go at its end.
class IndexWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        URegistrar::RegisterFrameworkClasses();
        RegisterInterfaceClasses();
        RegisterIndexWindowClasses();
        InstallIndexViewDocumentServices();
        InitializeTasks();
        mDir = TestTempDir() + "/window-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        QDir(mDir).removeRecursively();
        QDir().mkpath(mDir);
    }
    // A window of a known size with the toolbar, both side lists and the grid,
    // whose view settings are not saved as it closes.
    static void UseAKnownWindow()
    {
        SetPrefBoolean("IndexShowToolbar", true);
        SetPrefBoolean("IndexShowStatusBar", false);
        SetPrefBoolean("SaveViewSettingsCloseWindow", false);
        SetPrefNumber("DefaultSourceViewWidth", 174);
        SetPrefNumber("DefaultOrganizerViewWidth", 174);
        SetPrefNumber("DefaultIndexView", 1083);
        SetPrefNumber("DefaultIndexWindowWidth", 700);
        SetPrefNumber("DefaultIndexWindowHeigth", 500);
    }
    void TearDown() override
    {
        while (!LDocument::GetDocumentList().empty())
            delete LDocument::GetDocumentList().back();
        SetTaskServices(nullptr);
        SetIndexDocViewAdapterMaker(nullptr);
    }

    QString mDir;
};
