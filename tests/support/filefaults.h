#pragma once

// Files that cannot be kept, made on purpose: a disk that fills up, and rows
// that need file permissions to hold.

#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

// While it lives, no file of this process may grow past `bytes` (writes fail
// with EFBIG, as on a full disk). Files that are only kept or renamed are not
// touched by it, and the limit is put back afterwards.
struct FileSizeLimit
{
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old); }
};

// Root ignores file permissions (and CI runs as root): as root, the current
// row runs again in a child as the user 'nobody' (this executable with the
// row's "function:tag"), whose verdict stands for the row. Without a way to
// change user the row is skipped, saying why.
#define VEXLO_ROW_AS_NOBODY()                                                                      \
    do {                                                                                           \
        if (::geteuid() == 0) {                                                                    \
            QProcess child_;                                                                       \
            child_.setProcessChannelMode(QProcess::MergedChannels);                                \
            child_.start(QStringLiteral("setpriv"),                                                \
                         {"--reuid=65534", "--regid=65534", "--clear-groups", "--",                \
                          QCoreApplication::applicationFilePath(),                                 \
                          QStringLiteral("%1:%2").arg(QTest::currentTestFunction(),                \
                                                      QTest::currentDataTag())});                  \
            if (!child_.waitForStarted() || !child_.waitForFinished(60000))                        \
                QSKIP("cannot run the row as an unprivileged user (setpriv)");                     \
            const QByteArray said_ = child_.readAll();                                             \
            if (said_.contains("Permission denied") && child_.exitCode() == 126)                   \
                QSKIP("the user 'nobody' may not run this test executable");                       \
            QVERIFY2(child_.exitStatus() == QProcess::NormalExit && child_.exitCode() == 0,        \
                     said_.constData());                                                           \
            return;                                                                                \
        }                                                                                          \
    } while (0)

// What a file holds; never opens anything but a regular file (a FIFO would block).
inline QByteArray fileBytes(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return QFileInfo::exists(path) ? QByteArray("<not a regular file>") : QByteArray("<missing>");
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
