#pragma once

// Helpers of the camera tests: a temporary home with a Vexlo folder for the
// debug log, and a catcher of Qt's debug output.

#include "app/debuglog.h"

#include <QDir>
#include <QFile>
#include <QMutex>
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

// Collects every message of Qt's message output while it lives.
class MessageCatcher
{
public:
    MessageCatcher()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&MessageCatcher::handle);
    }
    ~MessageCatcher()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    QStringList messages() const
    {
        QMutexLocker lock(&m_lock);
        return m_messages;
    }
    void clear()
    {
        QMutexLocker lock(&m_lock);
        m_messages.clear();
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (MessageCatcher *c = s_current) {
            QMutexLocker lock(&c->m_lock);
            c->m_messages << message;
        }
    }

    static inline MessageCatcher *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_lock;
    QStringList m_messages;
};
