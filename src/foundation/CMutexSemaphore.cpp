#include "CMutexSemaphore.h"

void CMutexSemaphore::Signal()
{
    ReleaseOwnership();
}
