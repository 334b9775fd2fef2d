#include "TaskServices.h"

#include "ExceptionCode.h"

namespace {

TaskServices* gTaskServices = nullptr;

} // namespace

void SetTaskServices(TaskServices* services)
{
    gTaskServices = services;
}

TaskServices& GetTaskServices()
{
    ThrowIfNil_(gTaskServices);
    return *gTaskServices;
}

// Implementers that start no exports (a catalogue without the task layer).
void TaskServices::StartExportFilesTask(IndexViewServices*, const std::vector<CIndexItem*>&, QWidget*)
{
    ThrowOSErr_(err_NilPointer, "no export task here");
}

void TaskServices::StartExportXMLTask(IndexViewServices*, const std::vector<CIndexItem*>&, const IndexXMLData&)
{
    ThrowOSErr_(err_NilPointer, "no export task here");
}
