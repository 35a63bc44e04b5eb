#include "settings/filecheck.h"

#include <QFileInfo>

FileProblem checkOwnFile(const QString &path, bool replacedWhole)
{
    QFileInfo file(path);
    file.setCaching(false);
    const QString folderPath = file.absolutePath();
    QFileInfo folder(folderPath);
    if (folder.exists() && !folder.isDir())
        return {FileProblem::NotFolder, folderPath, {}};
    const bool folderLocked = folder.exists() && !folder.isWritable();
    if (!file.exists())
        return folderLocked ? FileProblem{FileProblem::Unwritable, folderPath, {}} : FileProblem{};
    if (!file.isFile())
        return {FileProblem::NotRegular, path, {}};
    if (!file.isReadable())
        return {FileProblem::Unreadable, path, {}};
    if (!file.isWritable())
        return {FileProblem::Unwritable, path, {}};
    if (replacedWhole && folderLocked)
        return {FileProblem::Unwritable, folderPath, {}};
    return {};
}
