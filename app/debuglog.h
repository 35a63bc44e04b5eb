#pragma once

#include "settings/filecheck.h"

#include <QString>

#include <functional>

// The optional debug log file, "<home>/Vexlo/debugLog.txt". Off until the
// "debug_log" setting switches it on. Each line is opened, written and closed
// on its own; the folder is never created here. Something other than a regular
// file in its place is never opened (a FIFO would block the writer).
//
// Its lines are the program's messages from info level up: those of the
// categories "vexlo.<layer>" that each layer declares (camera/cameralog.h, ...).
// Debug-level messages and Qt's own stay developer output.
void setLogEnabled(bool enabled);
bool isLogEnabled();
void logToFile(const QString &message);

// Puts the log's message handler in front of the one in place (which still gets
// every message); installing it again changes nothing.
void installLogHandler();

// Called on the first line that cannot be written, once per handler (on the
// thread that writes).
void setLogProblemHandler(std::function<void(const FileProblem &)> handler);
