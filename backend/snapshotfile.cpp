#include "backend/snapshotfile.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>

namespace SnapshotFile {

namespace {

bool saidAny(const QString &text, std::initializer_list<int> codes)
{
    for (int code : codes) {
        if (text.contains(qt_error_string(code)))
            return true;
    }
    return false;
}

// Qt words a file error with the system's text for its errno.
Result failure(const QFileDevice &file, const QString &path)
{
    const QString text = file.errorString();
    Problem problem = Problem::Other;
    if (file.error() == QFileDevice::ResourceError || saidAny(text, {ENOSPC, EFBIG
#ifdef EDQUOT
                                                                    , EDQUOT
#endif
                                                                   }))
        problem = Problem::NoSpace;
    else if (saidAny(text, {EACCES, EPERM, EROFS}) || (QFileInfo::exists(path) && !QFileInfo(path).isWritable()))
        problem = Problem::NoPermission;
    return {problem, text};
}

} // namespace

Result write(const QImage &image, const QString &path)
{
    if (image.isNull())
        return {Problem::NoFrame, {}};
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter encoder(&buffer, "jpg");
    if (!encoder.write(image))
        return {Problem::Other, encoder.errorString()};

    // Unbuffered: Qt's write buffer drops a short write (the disk filled up
    // part way) without an error, and the file would be committed cut short.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(file, path);
    for (qint64 done = 0; done < jpeg.size();) {
        const qint64 n = file.write(jpeg.constData() + done, jpeg.size() - done);
        if (n <= 0)
            return failure(file, path); // the new file goes with `file`, the old one stands
        done += n;
    }
    if (!file.commit())
        return failure(file, path);
    return {};
}

QString proposedName(const QDateTime &when)
{
    return when.toString(QStringLiteral("'vexlo-'yyyyMMdd-hhmmss'.jpg'"));
}

QString startFolder(const QString &remembered)
{
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

QString askName(const QString &caption, const QString &folder, const QDateTime &when)
{
    QFileDialog dialog(nullptr, caption, folder, QStringLiteral("JPEG files(*.jpg)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
#ifndef Q_OS_WIN
    // The desktop's own dialogs here confirm the name as typed, before Qt adds
    // the suffix; Qt's dialog asks about the name that will be written.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
    dialog.selectFile(proposedName(when));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

} // namespace SnapshotFile
