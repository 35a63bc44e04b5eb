#include "app/forcedexit.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

// Linux: the normal return from main ends the process, and a detached watchdog
// ends it for sure if that return does not come within the grace period. The
// settings are already on disk when this is armed, so the forced end is a
// success (exit code 0).
void platformTerminateOwnProcess()
{
    const int grace = forcedExitGraceMs();
    std::thread([grace] {
        std::this_thread::sleep_for(std::chrono::milliseconds(grace));
        std::fflush(nullptr);
        ::_exit(0);
    }).detach();
}
