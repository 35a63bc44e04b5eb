#pragma once

#include "settings/filecheck.h"

#include <QString>

#include <functional>

// The optional debug log file, "<home>/Vexlo/debugLog.txt". Off until the
// "debug_log" setting switches it on. Each line is opened, written and closed
// on its own; the folder is never created here. Something other than a regular
// file in its place is never opened (a FIFO would block the writer).
void setLogEnabled(bool enabled);
bool isLogEnabled();
void logToFile(const QString &message);

// Called on the first line that cannot be written, once per handler (on the
// thread that writes, which is the GUI thread).
void setLogProblemHandler(std::function<void(const FileProblem &)> handler);
