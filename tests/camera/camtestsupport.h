#pragma once

// A temporary home with a Vexlo folder for the debug log of the camera tests.

#include "app/debuglog.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

// Points HOME at a temporary directory holding a Vexlo folder and switches the
// debug log on. Create it before anything writes to the log.
class TempHomeWithLog
{
public:
    TempHomeWithLog()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        QDir(m_home.path()).mkpath(QStringLiteral("Vexlo"));
        setLogEnabled(true);
    }
    ~TempHomeWithLog() { setLogEnabled(false); }

    QString logPath() const { return m_home.path() + QStringLiteral("/Vexlo/debugLog.txt"); }
    void clearLog() const { QFile::remove(logPath()); }

    // The logged messages without their time stamps.
    QStringList logMessages() const
    {
        QStringList messages;
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return messages;
        QTextStream in(&file);
        while (!in.atEnd()) {
            const QString line = in.readLine();
            const int cut = line.indexOf(QLatin1String("]:"));
            messages << (cut >= 0 ? line.mid(cut + 2) : line);
        }
        return messages;
    }

private:
    QTemporaryDir m_home;
};
