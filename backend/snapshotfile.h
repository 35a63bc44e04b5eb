#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

// A still picture saved as a JPEG file: the name comes from the save dialog,
// and the file is written whole or not at all.
namespace SnapshotFile {

enum class Problem { None, NoFrame, NoSpace, NoPermission, Other };

struct Result
{
    Problem problem = Problem::None;
    QString detail; // the system's own words, where it gave any
    bool ok() const { return problem == Problem::None; }
};

// Encodes `image` and writes it to a new file beside `path`, which replaces
// `path` only once it is complete. On any failure `path` (and any file that
// stood there) is untouched and no part of the new file remains.
Result write(const QImage &image, const QString &path);

// "vexlo-YYYYMMDD-hhmmss.jpg"
QString proposedName(const QDateTime &when);

// The folder the dialog starts in: `remembered` if it still exists, else the
// user's Pictures folder, else home.
QString startFolder(const QString &remembered);

// The save dialog. The ".jpg" suffix belongs to the name before the dialog
// asks whether to replace an existing file. Empty when cancelled.
QString askName(const QString &caption, const QString &folder, const QDateTime &when);

} // namespace SnapshotFile
