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
