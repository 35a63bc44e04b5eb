#include "camera/devicelock.h"

#include "camera/cameralog.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <thread>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// How often a lock with a time limit looks again.
const int RetryMs = 5;

// A file name from a USB path: "usb-0000:00:14.0-1" -> "usb-0000_00_14.0-1.lock".
QString fileNameOf(const QString &key)
{
    QString name = key.isEmpty() ? QStringLiteral("unknown") : key;
    for (QChar &c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.') && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    }
    return name + QStringLiteral(".lock");
}
} // namespace

QString DeviceLock::folder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return runtime + QStringLiteral("/vexlo-locks");
#ifdef _WIN32
    return QDir::tempPath() + QStringLiteral("/vexlo-locks");
#else
    return QDir::tempPath() + QStringLiteral("/vexlo-locks-") + QString::number(::getuid());
#endif
}

DeviceLock::DeviceLock(const QString &key)
    : m_path(folder() + QLatin1Char('/') + fileNameOf(key))
{
#ifndef _WIN32
    const QByteArray dir = QFile::encodeName(folder());
    // The folder may be under the shared /tmp: only a folder of this user's own is used, and no
    // symbolic link is followed into it.
    struct stat st;
    if ((::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST) || ::lstat(dir.constData(), &st) != 0
        || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        qCWarning(lcCamera).noquote() << "No camera lock (other programs may interleave):" << folder();
        return;
    }
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0)
        qCWarning(lcCamera).noquote() << "No camera lock (other programs may interleave):" << m_path;
#endif
}

DeviceLock::~DeviceLock()
{
#ifndef _WIN32
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

bool DeviceLock::lock(int waitMs)
{
#ifdef _WIN32
    Q_UNUSED(waitMs)
    return true;
#else
    if (m_fd < 0)
        return true;
    if (waitMs < 0) {
        int rc;
        do {
            rc = ::flock(m_fd, LOCK_EX);
        } while (rc < 0 && errno == EINTR);
        return rc == 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(RetryMs));
    }
#endif
}

void DeviceLock::unlock()
{
#ifndef _WIN32
    if (m_fd >= 0)
        ::flock(m_fd, LOCK_UN);
#endif
}
