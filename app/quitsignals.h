#pragma once

#include <functional>

// Lets the operating system's requests to end the program (on Linux SIGTERM,
// SIGINT and SIGHUP) run the program's own quit path on the GUI thread, so the
// settings reach the disk. `quit` runs once per request, on the GUI thread.
void installQuitSignalHandlers(std::function<void()> quit);
