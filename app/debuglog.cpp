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
} // namespace

void setLogEnabled(bool enabled)
{
    logEnabled = enabled;
}

bool isLogEnabled()
{
    return logEnabled;
}

void logToFile(const QString &message)
{
    if (!logEnabled)
        return;
    if (logFilePath.isEmpty())
        logFilePath = QDir::homePath() + QStringLiteral("/Vexlo/debugLog.txt");

    QFile file(logFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        qDebug() << "Couldn't open log file";
        return;
    }
    QTextStream out(&file);
    out << QDateTime::currentDateTime().toString(QStringLiteral("[yyyy-MM-dd hh:mm:ss]:")) << message
        << Qt::endl;
    file.close();
}
