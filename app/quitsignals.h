#pragma once

#include <functional>

// Lets the operating system's requests to end the program (on Linux SIGTERM,
// SIGINT and SIGHUP) run the program's own quit path on the GUI thread, so the
// settings reach the disk.
//
// installQuitSignalHandlers comes first of all, before the application object
// exists: from then on a request no longer ends the process on the spot but is
// kept. handleQuitSignals, once the application object exists, runs `quit` on
// the GUI thread for each request, one kept from before included, as soon as
// the event loop (or a prompt's) runs.
void installQuitSignalHandlers();
void handleQuitSignals(std::function<void()> quit);
