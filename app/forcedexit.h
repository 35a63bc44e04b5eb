#pragma once

#include <functional>

// Makes sure the process ends after the quit path has run, even if something
// keeps it from returning from main. Called once, after the backend (and with
// it the settings file) has been written and destroyed. The realisation is
// per platform.
void terminateOwnProcess();

// Grace period in milliseconds that the normal return from main gets before
// the process is ended by force.
int forcedExitGraceMs();

// Tests replace the forced end with a function of their own; an empty
// function restores the platform's.
void setForcedExitOverride(std::function<void()> fn);
