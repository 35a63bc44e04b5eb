#pragma once

#include <QUrl>

#include <functional>

class MyApplication;
class QmlData;

// The whole program: start-up, event loop, quit path. `root` is the QML root
// document ("qrc:/main.qml" for the program). Returns the event loop's result.
int runTuner(int &argc, char **argv, const QUrl &root = QUrl(QStringLiteral("qrc:/main.qml")));

// The debug log as the program runs it: its message handler installed, switched
// on and off by the backend's "debug_log" setting, a log file that cannot be
// written told in the backend's window. Until the backend is destroyed or
// another one is attached.
void attachDebugLog(QmlData *backend);

// Called once the application object and the backend exist, before the
// language is loaded (for tests that watch the start-up and the quit path).
using StartupObserver = std::function<void(MyApplication &app, QmlData *backend)>;
void setStartupObserver(StartupObserver observer);

// Builds the backend instead of `new QmlData(nullptr)` (tests run the program on
// a fake camera). An empty factory restores the default.
using BackendFactory = std::function<QmlData *()>;
void setBackendFactory(BackendFactory factory);

// Gives the OpenGL renderer's name in place of the probe of the real OpenGL (tests
// fake a GPU or a software rasterizer). An empty probe restores the real one.
using RendererProbe = std::function<QString()>;
void setRendererProbe(RendererProbe probe);
