#pragma once

// The backend on the fake camera, and the helpers of its prompt tests.

#include "support/fakecamera.h"

#include "app/startup.h"
#include "backend/devicewatcher.h"
#include "backend/qmldata.h"

#include <QtWidgets>

// A backend on the fake world; `watcher` stays owned by the backend.
struct FakeRig
{
    std::shared_ptr<FakeWorld> world = std::make_shared<FakeWorld>();
    DeviceWatcher *watcher = nullptr;

    QmlData *makeBackend(std::function<void(unsigned long)> pause = {})
    {
        auto w = std::make_unique<DeviceWatcher>();
        watcher = w.get();
        auto *backend = new QmlData(makeFakeLink(world), std::move(w), nullptr, std::move(pause));
        attachDebugLog(backend); // as the start-up does
        return backend;
    }
    void deviceChange() { emit watcher->devicesChanged(); }
};

// Runs `action` on the next dialog of type T (with `title`, if given) that becomes the active
// modal widget, polling from whatever event loop runs; the timer ends itself after one call.
template <typename T>
inline QPointer<QTimer> onNextModal(std::function<void(T *)> action, int timeoutMs = 10000, const QString &title = {})
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action, title, deadline = QDeadlineTimer(timeoutMs)] {
        auto *box = qobject_cast<T *>(QApplication::activeModalWidget());
        const bool found = box && box->isVisible() && (title.isEmpty() || box->windowTitle() == title);
        if (found || deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
        if (found)
            action(box);
    });
    timer->start(20);
    return timer;
}

inline QPointer<QTimer> onNextBox(std::function<void(QMessageBox *)> action, int timeoutMs = 10000,
                                  const QString &title = {})
{
    return onNextModal<QMessageBox>(std::move(action), timeoutMs, title);
}

inline void click(QMessageBox *box, QMessageBox::StandardButton which)
{
    QAbstractButton *b = box->button(which);
    QVERIFY(b);
    b->click();
}

// Points HOME at `home` with an INI holding only `values` (before any SettingsStore is built).
inline void useHome(const QString &home, const QVariantMap &values = {})
{
    qputenv("HOME", home.toLocal8Bit());
    QDir(home).mkpath(QStringLiteral("Vexlo"));
    QFile::remove(home + QStringLiteral("/Vexlo/config.ini"));
    writeIni(home + QStringLiteral("/Vexlo/config.ini"), values);
}

inline QVariant storedValue(const QString &home, const QString &key)
{
    return QSettings(home + QStringLiteral("/Vexlo/config.ini"), QSettings::IniFormat).value(key);
}

// The fixture of the in-process backend tests: a fresh HOME, world and backend.
struct RigHarness
{
    QTemporaryDir home;
    std::unique_ptr<FakeRig> rig;
    std::unique_ptr<QmlData> backend;
    // While set, the tunnel (at a tenth of its pauses) stops in its next pause.
    std::atomic<bool> holdTunnel{false};

    // A backend on an INI holding `ini`, with camera "Cam A" at index 0 if `plugged`.
    QmlData *make(const QVariantMap &ini = {}, bool plugged = true)
    {
        useHome(home.path(), ini);
        rig = std::make_unique<FakeRig>();
        if (plugged)
            rig->world->plug(0, QStringLiteral("Cam A"));
        backend.reset(rig->makeBackend([this](unsigned long ms) {
            QThread::msleep(ms / 10);
            while (holdTunnel)
                QThread::msleep(1);
        }));
        return backend.get();
    }
    // Finds the cameras and loads the tuning; `capture` also opens (true if it did).
    bool bringUp(bool capture)
    {
        if (backend->getCamDevs() <= 0)
            return false;
        backend->initCameraParams();
        return capture && backend->startCaptureTimer();
    }
    // Waits until the control worker has run everything asked and its results are in.
    void settle()
    {
        QTRY_VERIFY_WITH_TIMEOUT(backend->controlsIdle(), 15000);
        QCoreApplication::processEvents();
    }
    void finish() { holdTunnel = false; backend.reset(); rig.reset(); }
};
