#include "backend/filenotice.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>

namespace FileNotice {

namespace {

QString tr(const char *id)
{
    return QCoreApplication::translate("QmlData", id);
}

QString withDetail(const QString &text, const QString &detail)
{
    return detail.isEmpty() ? text : text + QLatin1Char('\n') + detail;
}

} // namespace

QString problemText(Subject subject, const FileProblem &problem)
{
    const char *reason = QT_TRANSLATE_NOOP("QmlData", "file_write_failed");
    switch (problem.kind) {
    case FileProblem::NotRegular: reason = QT_TRANSLATE_NOOP("QmlData", "file_not_regular"); break;
    case FileProblem::NotFolder: reason = QT_TRANSLATE_NOOP("QmlData", "file_not_folder"); break;
    case FileProblem::Unreadable: reason = QT_TRANSLATE_NOOP("QmlData", "file_unreadable"); break;
    case FileProblem::Unwritable: reason = QT_TRANSLATE_NOOP("QmlData", "file_unwritable"); break;
    case FileProblem::None:
    case FileProblem::WriteFailed: break;
    }
    const char *what = subject == Subject::Settings ? QT_TRANSLATE_NOOP("QmlData", "settings_not_kept_m")
                                                    : QT_TRANSLATE_NOOP("QmlData", "log_not_kept_m");
    return withDetail(tr(what).arg(QDir::toNativeSeparators(problem.path), tr(reason)), problem.detail);
}

QString snapshotText(const SnapshotFile::Result &result, const QString &path)
{
    using SnapshotFile::Problem;
    const QString file = QDir::toNativeSeparators(path);
    switch (result.problem) {
    case Problem::NoFrame: return tr(QT_TRANSLATE_NOOP("QmlData", "snapshot_no_frame"));
    case Problem::NoSpace: return tr(QT_TRANSLATE_NOOP("QmlData", "snapshot_no_space")).arg(file);
    case Problem::NoPermission: return tr(QT_TRANSLATE_NOOP("QmlData", "snapshot_no_permission")).arg(file);
    case Problem::None:
    case Problem::Other: break;
    }
    return withDetail(tr(QT_TRANSLATE_NOOP("QmlData", "snapshot_failed_m")).arg(file), result.detail);
}

QMessageBox *makeBox(const char *titleId, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, tr(titleId), text, QMessageBox::Ok);
    box->setObjectName(QString::fromLatin1(titleId));
    return box;
}

} // namespace FileNotice
