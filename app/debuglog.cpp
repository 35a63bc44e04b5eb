#include "app/debuglog.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <atomic>
#include <cstring>
#include <mutex>

namespace {
std::atomic<bool> logEnabled{false};
std::atomic<QtMessageHandler> nextHandler{nullptr};
// Lines come from any thread; one at a time reaches the file.
std::recursive_mutex fileLock; // a message from Qt while a line is written may come back as a line
QString logFilePath;
std::function<void(const FileProblem &)> problemHandler;
bool problemTold = false;

void tellProblem(const FileProblem &problem)
{
    qDebug() << "Couldn't open log file";
    std::function<void(const FileProblem &)> handler;
    {
        std::lock_guard<std::recursive_mutex> lock(fileLock);
        if (problemTold || !problemHandler)
            return;
        problemTold = true;
        handler = problemHandler;
    }
    handler(problem);
}

FileProblem appendLine(const QString &message)
{
    std::lock_guard<std::recursive_mutex> lock(fileLock);
    if (logFilePath.isEmpty())
        logFilePath = QDir::homePath() + QStringLiteral("/Vexlo/debugLog.txt");

    const FileProblem problem = checkOwnFile(logFilePath, false);
    if (problem)
        return problem;
    QFile file(logFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return {FileProblem::Unwritable, logFilePath, file.errorString()};
    QTextStream out(&file);
    out << QDateTime::currentDateTime().toString(QStringLiteral("[yyyy-MM-dd hh:mm:ss]:")) << message
        << Qt::endl;
    file.close();
    if (out.status() != QTextStream::Ok || file.error() != QFileDevice::NoError)
        return {FileProblem::WriteFailed, logFilePath, file.errorString()};
    return {};
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // A handler put in front of this one after it that passes messages on to
    // it would bring them round again.
    static thread_local bool inside = false;
    if (inside)
        return;
    inside = true;
    if (type != QtDebugMsg && context.category && std::strncmp(context.category, "vexlo.", 6) == 0)
        logToFile(message);
    if (const QtMessageHandler next = nextHandler.load())
        next(type, context, message);
    inside = false;
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

void installLogHandler()
{
    const QtMessageHandler previous = qInstallMessageHandler(handleMessage);
    if (previous != handleMessage)
        nextHandler = previous;
}

void setLogProblemHandler(std::function<void(const FileProblem &)> handler)
{
    std::lock_guard<std::recursive_mutex> lock(fileLock);
    problemHandler = std::move(handler);
    problemTold = false;
}

void logToFile(const QString &message)
{
    if (!logEnabled)
        return;
    if (const FileProblem problem = appendLine(message))
        tellProblem(problem);
}
