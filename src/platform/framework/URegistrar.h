#pragma once

#include "LLayoutData.h"
#include "MacTypes.h"

#include <functional>
#include <type_traits>

class LPane;
class LAttachment;

// What a class creator made: a pane, an attachment, or another object (a control
// implementation) that its maker knows how to use.
struct SCreatedObject {
    LPane* pane = nullptr;
    LAttachment* attachment = nullptr;
    void* other = nullptr;
};

// The class registry: four-character class IDs (case matters: 'CCbx' and 'CCBX'
// differ) to the creators that make objects from layout entries. A later
// registration of an ID replaces the earlier one.
class URegistrar {
public:
    using ClassCreatorFunc = std::function<SCreatedObject(const LLayoutData&)>;

    static void RegisterClass(ClassIDT classID, ClassCreatorFunc creator);
    template <typename T>
    static void RegisterClass(ClassIDT classID)
    {
        RegisterClass(classID, [](const LLayoutData& data) { return Wrap(new T(data)); });
    }
    static void UnregisterClass(ClassIDT classID);
    static bool IsRegistered(ClassIDT classID);
    // Makes an object of the class; err_UnknownClassID when the ID is not registered.
    static SCreatedObject CreateObject(ClassIDT classID, const LLayoutData& data);

    // The framework's own classes under their standard IDs.
    static void RegisterFrameworkClasses();

    template <typename T>
    static SCreatedObject Wrap(T* object)
    {
        SCreatedObject created;
        if constexpr (std::is_base_of_v<LPane, T>)
            created.pane = object;
        else if constexpr (std::is_base_of_v<LAttachment, T>)
            created.attachment = object;
        else
            created.other = object;
        return created;
    }
};
