#pragma once

#include <QString>

// Why one of the program's own files (the settings, the debug log) cannot be
// kept. Looking never opens the file, so a FIFO in its place cannot block.
struct FileProblem
{
    enum Kind {
        None,
        NotRegular, // a FIFO, a folder, a device...
        NotFolder,  // the folder that should hold it is something else
        Unreadable,
        Unwritable,
        WriteFailed // a write-back that failed (full disk, read-only medium)
    };
    Kind kind = None;
    QString path;   // the file, or the folder for NotFolder
    QString detail; // the system's own words, where it gave any

    explicit operator bool() const { return kind != None; }
};

// The file at `path` and its folder as the program finds them. A missing file
// (or missing folder) is no problem. A file `replacedWhole` is written through
// a new file in its folder, which must then be writable too.
FileProblem checkOwnFile(const QString &path, bool replacedWhole);
