#include "LDragAndDrop.h"
#include "LWindow.h"
#include "UEvents.h"
#include "WindowUtilities.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QMimeData>

#include <memory>

namespace {

std::unique_ptr<LWindow> MakeWindow()
{
    SPaneInfo info;
    info.width = 200;
    info.height = 100;
    return std::make_unique<LWindow>(info, windAttr_Regular | windAttr_TitleBar, QStringLiteral("Proxy"), nullptr);
}

} // namespace

TEST(WindowUtilities, ProxyFollowsTheFileAndModifiedMarkClears)
{
    auto window = MakeWindow();
    FileRef file = WriteFile(FreshFolder(QStringLiteral("proxy")), QStringLiteral("Photos.idxp"), "x");

    SetWindowModifiedState(window.get(), true);
    EXPECT_TRUE(window->IsModified());
    ASSERT_EQ(SetWindowProxyURL(window.get(), file.ToUrl(), true), noErr);
    EXPECT_FALSE(window->IsModified());
    EXPECT_EQ(window->GetShell()->windowFilePath(), file.Path());

    SetWindowModifiedState(window.get(), true);
    ASSERT_EQ(SetWindowProxyURL(window.get(), QUrl(QStringLiteral("ftp://example.com/a.jpg")), false), noErr);
    EXPECT_TRUE(window->IsModified());

    RemoveWindowProxyIcon(window.get());
    EXPECT_TRUE(window->GetShell()->windowFilePath().isEmpty());

    EXPECT_EQ(SetWindowProxyURL(window.get(), QUrl(), false), paramErr);
    EXPECT_EQ(SetWindowProxyURL(nullptr, file.ToUrl(), false), noErr);
    SetWindowModifiedState(nullptr, true);
    RemoveWindowProxyIcon(nullptr);
}

TEST(WindowUtilities, DragModifiersAndFlavors)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.jpg"))});
    DragReference copyDrag(&data, {}, optionKey, true);
    EXPECT_TRUE(IsDragCopy(copyDrag));
    EXPECT_FALSE(IsDragCommandKey(copyDrag));
    EXPECT_TRUE(IsDragInsideSenderApplication(copyDrag));
    EXPECT_TRUE(DragHasFlavor(copyDrag, flavorTypeFileURL));

    QMimeData empty;
    DragReference plain(&empty, {}, cmdKey, false);
    EXPECT_FALSE(IsDragCopy(plain));
    EXPECT_TRUE(IsDragCommandKey(plain));
    EXPECT_FALSE(IsDragInsideSenderApplication(plain));
    EXPECT_FALSE(DragHasFlavor(plain, flavorTypeFileURL));
}
