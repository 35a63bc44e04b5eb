#include "app/forcedexit.h"

#include <mutex>

namespace {
std::mutex overrideLock;
std::function<void()> overrideFn;
} // namespace

void platformTerminateOwnProcess();

void setForcedExitOverride(std::function<void()> fn)
{
    std::lock_guard<std::mutex> g(overrideLock);
    overrideFn = std::move(fn);
}

int forcedExitGraceMs()
{
    return 3000;
}

void terminateOwnProcess()
{
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> g(overrideLock);
        fn = overrideFn;
    }
    if (fn)
        fn();
    else
        platformTerminateOwnProcess();
}
