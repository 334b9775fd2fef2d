#include "UReanimator.h"

#include "ExceptionCode.h"
#include "LAttachment.h"
#include "LCommander.h"
#include "LPaneLayouts.h"
#include "LView.h"
#include "LWindow.h"
#include "URegistrar.h"
#include "UResources.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <map>

namespace {

std::map<ClassIDT, URegistrar::ClassCreatorFunc>& Registry()
{
    static std::map<ClassIDT, URegistrar::ClassCreatorFunc> registry;
    return registry;
}

[[noreturn]] void FailLayout(OSStatus code, ResIDT layoutID, const QString& what)
{
    ThrowOSErr_(code, QStringLiteral("layout %1: %2").arg(layoutID).arg(what).toStdString());
}

QString EntryName(const QJsonObject& entry, const QString& parentPath, int index)
{
    QString name = QStringLiteral("pane");
    QJsonValue id = entry.value(QLatin1String("id"));
    if (id.isDouble())
        name += QStringLiteral(" %1").arg(SInt64(id.toDouble()));
    else if (id.isString())
        name += QStringLiteral(" '%1'").arg(id.toString());
    else
        name += QStringLiteral(" #%1").arg(index);
    name += QStringLiteral(" (%1)").arg(entry.value(QLatin1String("class")).toString());
    return parentPath.isEmpty() ? name : parentPath + QStringLiteral(" > ") + name;
}

struct Builder {
    ResIDT layoutID;
    std::vector<LPane*> made; // top-level results, to finish

    SCreatedObject MakeEntry(const QJsonValue& value, const QString& parentPath, int index)
    {
        if (!value.isObject())
            FailLayout(err_BadLayout, layoutID, QStringLiteral("%1: an entry is not an object").arg(parentPath));
        const QJsonObject entry = value.toObject();
        const QString where = EntryName(entry, parentPath, index);
        FourCharCode classID = 0;
        if (!LLayoutData::CodeFromValue(entry.value(QLatin1String("class")), classID) || !entry.value(QLatin1String("class")).isString())
            FailLayout(err_BadLayout, layoutID, where + QStringLiteral(": \"class\" must be a four-character class ID"));
        if (!URegistrar::IsRegistered(classID))
            FailLayout(err_UnknownClassID, layoutID, where + QStringLiteral(": class ID '%1' is not registered").arg(entry.value(QLatin1String("class")).toString()));

        LLayoutData data(entry, layoutID, where);
        SCreatedObject created = URegistrar::CreateObject(classID, data);
        if (created.pane) {
            LPane* pane = created.pane;
            // Children: the pane is their default superview (and, for a window or
            // commander view, their default commander).
            LView* oldView = LPane::GetDefaultView();
            LCommander* oldCommander = LCommander::GetDefaultCommander();
            auto* view = dynamic_cast<LView*>(pane);
            try {
                if (view)
                    LPane::SetDefaultView(view);
                if (auto* commander = dynamic_cast<LCommander*>(pane))
                    LCommander::SetDefaultCommander(commander);
                const QJsonArray children = data.Array("panes");
                if (!children.isEmpty() && !view)
                    data.Fail(QStringLiteral("only a view can hold panes"));
                for (int i = 0; i < children.size(); ++i)
                    MakeEntry(children[i], where, i + 1);
                if (data.Has("layout")) {
                    if (!view)
                        data.Fail(QStringLiteral("only a view can have a layout"));
                    const QJsonValue layout = data.Object().value(QLatin1String("layout"));
                    if (!layout.isObject())
                        data.Fail(QStringLiteral("\"layout\" must be an object"));
                    view->SetDeclaredLayout(MakeDeclaredLayout(LLayoutData(layout.toObject(), layoutID, where + QStringLiteral(" > layout")), view));
                }
                const QJsonArray attachments = data.Array("attachments");
                for (int i = 0; i < attachments.size(); ++i) {
                    SCreatedObject attachment = MakeEntry(attachments[i], where, i + 1);
                    if (!attachment.attachment)
                        data.Fail(QStringLiteral("attachment %1 is not an attachment").arg(i + 1));
                    pane->AddAttachment(attachment.attachment);
                }
            } catch (...) {
                LPane::SetDefaultView(oldView);
                LCommander::SetDefaultCommander(oldCommander);
                delete pane; // with whatever subpanes it already had
                throw;
            }
            LPane::SetDefaultView(oldView);
            LCommander::SetDefaultCommander(oldCommander);
        }
        return created;
    }
};

} // namespace

void URegistrar::RegisterClass(ClassIDT classID, ClassCreatorFunc creator)
{
    Registry()[classID] = std::move(creator);
}

void URegistrar::UnregisterClass(ClassIDT classID)
{
    Registry().erase(classID);
}

bool URegistrar::IsRegistered(ClassIDT classID)
{
    return Registry().count(classID) != 0;
}

SCreatedObject URegistrar::CreateObject(ClassIDT classID, const LLayoutData& data)
{
    auto it = Registry().find(classID);
    if (it == Registry().end())
        ThrowOSErr_(err_UnknownClassID, QStringLiteral("layout %1, %2: class ID not registered").arg(data.LayoutID()).arg(data.Where()).toStdString());
    return it->second(data);
}

void UReanimator::AddLayoutFolder(const QString& folder)
{
    UResources::AddFolder(QStringLiteral("layouts"), folder);
}

QJsonObject UReanimator::ReadLayout(ResIDT layoutID)
{
    QJsonObject layout;
    QString error;
    bool missing = false;
    if (!UResources::ReadJsonObject(QStringLiteral("layouts"), QStringLiteral("%1.json").arg(layoutID), layout, error, missing))
        FailLayout(missing ? err_LayoutNotFound : err_BadLayout, layoutID, error);
    if (!layout.value(QLatin1String("root")).isObject())
        FailLayout(err_BadLayout, layoutID, QStringLiteral("must be an object with a \"root\" entry"));
    return layout;
}

LPane* UReanimator::CreatePaneTree(ResIDT layoutID, LView* superView)
{
    QJsonObject layout = ReadLayout(layoutID);
    Builder builder { layoutID, {} };
    LView* oldView = LPane::GetDefaultView();
    LPane::SetDefaultView(superView);
    SCreatedObject root;
    try {
        root = builder.MakeEntry(layout.value(QLatin1String("root")), QString(), 1);
    } catch (...) {
        LPane::SetDefaultView(oldView);
        throw;
    }
    LPane::SetDefaultView(oldView);
    if (!root.pane)
        FailLayout(err_BadLayout, layoutID, QStringLiteral("the root entry is not a pane"));
    // A tree that fails to finish is not left half made.
    try {
        root.pane->FinishCreate();
    } catch (...) {
        delete root.pane;
        throw;
    }
    return root.pane;
}

LWindow* UReanimator::CreateWindowFromLayout(ResIDT layoutID)
{
    LPane* root = CreatePaneTree(layoutID, nullptr);
    auto* window = dynamic_cast<LWindow*>(root);
    if (!window) {
        delete root;
        FailLayout(err_BadLayout, layoutID, QStringLiteral("the root entry is not a window"));
    }
    QJsonObject layout = ReadLayout(layoutID);
    if (layout.value(QLatin1String("root")).toObject().value(QLatin1String("visible")).toBool(false))
        window->Show();
    return window;
}
