#pragma once

// Files that cannot be kept, made on purpose: a disk that fills up, and rows
// that need file permissions to hold.

#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

// While it lives, no file of this process may grow past `bytes` (writes fail
// with EFBIG, as on a full disk); files only kept or renamed are not touched.
struct FileSizeLimit
{
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit small{bytes, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old); }
};

// Root ignores file permissions (and CI runs as root): as root, the current row
// runs again in a child as the user 'nobody' ("function:tag" of this executable,
// with a temporary folder of its own), whose verdict stands for the row. The row is
// skipped only where that child cannot run. Returns the child's exit code (-1: none).
inline int runRowAsNobody(QByteArray *output)
{
    QTemporaryDir scratch;
    if (!scratch.isValid() || ::chown(QFile::encodeName(scratch.path()).constData(), 65534, 65534) != 0)
        return -1;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", scratch.path());
    env.insert("XDG_RUNTIME_DIR", scratch.path());
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                            QCoreApplication::applicationFilePath(),
                            QString(QTest::currentTestFunction()) + ':' + QTest::currentDataTag()});
    const bool ran = child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit;
    *output = child.readAll();
    return ran && child.exitCode() != 126 && child.exitCode() != 127 ? child.exitCode() : -1;
}

#define VEXLO_ROW_AS_NOBODY()                                                                      \
    if (::geteuid() == 0) {                                                                        \
        QByteArray said_;                                                                          \
        const int rc_ = runRowAsNobody(&said_);                                                    \
        if (rc_ < 0)                                                                               \
            QSKIP(qPrintable("cannot run this row as the user 'nobody' (setpriv): " + said_));      \
        QVERIFY2(rc_ == 0, said_.constData());                                                     \
        return;                                                                                    \
    }

// What a file holds; never opens anything but a regular file (a FIFO would block).
inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return QFileInfo::exists(path) ? "<no regular file>" : "<missing>";
    return f.readAll();
}
