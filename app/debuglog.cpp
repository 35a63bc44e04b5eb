#include "app/debuglog.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <atomic>

namespace {
std::atomic<bool> logEnabled{false};
QString logFilePath;
std::function<void(const FileProblem &)> problemHandler;
bool problemTold = false;

void tellProblem(const FileProblem &problem)
{
    qDebug() << "Couldn't open log file";
    if (problemTold || !problemHandler)
        return;
    problemTold = true;
    problemHandler(problem);
}
} // namespace

void setLogEnabled(bool enabled)
{
    logEnabled = enabled;
}

bool isLogEnabled()
{
    return logEnabled;
}

void setLogProblemHandler(std::function<void(const FileProblem &)> handler)
{
    problemHandler = std::move(handler);
    problemTold = false;
}

void logToFile(const QString &message)
{
    if (!logEnabled)
        return;
    if (logFilePath.isEmpty())
        logFilePath = QDir::homePath() + QStringLiteral("/Vexlo/debugLog.txt");

    const FileProblem problem = checkOwnFile(logFilePath, false);
    if (problem) {
        tellProblem(problem);
        return;
    }
    QFile file(logFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        tellProblem({FileProblem::Unwritable, logFilePath, file.errorString()});
        return;
    }
    QTextStream out(&file);
    out << QDateTime::currentDateTime().toString(QStringLiteral("[yyyy-MM-dd hh:mm:ss]:")) << message
        << Qt::endl;
    file.close();
    if (out.status() != QTextStream::Ok || file.error() != QFileDevice::NoError)
        tellProblem({FileProblem::WriteFailed, logFilePath, file.errorString()});
}
