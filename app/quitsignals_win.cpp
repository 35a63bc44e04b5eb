#include "app/quitsignals.h"

// Windows ends console-less GUI programs through their windows; nothing to do.
void installQuitSignalHandlers()
{
}

void handleQuitSignals(std::function<void()>)
{
}
