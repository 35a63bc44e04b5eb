#pragma once

#include <QString>

// The optional debug log file, "<home>/Vexlo/debugLog.txt". Off until the
// "debug_log" setting switches it on. Each line is opened, written and closed
// on its own; the folder is never created here.
void setLogEnabled(bool enabled);
bool isLogEnabled();
void logToFile(const QString &message);
