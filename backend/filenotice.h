#pragma once

#include "backend/snapshotfile.h"
#include "settings/filecheck.h"

#include <QString>

class QMessageBox;

// What the user is told about a file of the program that could not be kept or
// written: translated texts (context "QmlData") that name the file and why.
namespace FileNotice {

enum class Subject { Settings, Log };

QString problemText(Subject subject, const FileProblem &problem);
QString snapshotText(const SnapshotFile::Result &result, const QString &path);

// A warning box with one OK button, not yet shown.
QMessageBox *makeBox(const char *titleId, const QString &text);

} // namespace FileNotice
