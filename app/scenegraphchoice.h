#pragma once

#include <QString>

#include <functional>

// Which of Qt Quick's scene graphs the window runs, and so which preview item
// shows the picture. On an OpenGL that is a software rasterizer (a virtual
// machine, a remote desktop, a PC without a GPU driver) the OpenGL scene graph
// redraws the whole window through the CPU for every camera frame, while Qt
// Quick's software scene graph redraws only the preview: there the painted
// item runs on the software scene graph, everywhere else the OpenGL item on
// the OpenGL scene graph.
enum class ScenePath { OpenGL, Software };

struct SceneChoice
{
    ScenePath path = ScenePath::OpenGL;
    // Which path and why, one line for the debug output and the debug log.
    QString reason;
};

// The renderer name (GL_RENDERER) of an OpenGL context made on an offscreen
// surface, or an empty text when no OpenGL context can be made. Needs the
// application object, and no window needs to exist.
QString probeOpenGLRenderer();

// Whether `renderer` names a software rasterizer (Mesa's llvmpipe, softpipe and
// swrast, Windows' GDI Generic).
bool isSoftwareRasterizer(const QString &renderer);

// The choice: the scene graph the user asked for in QT_QUICK_BACKEND
// (`userBackend`, empty when not set) wins; otherwise `probeRenderer` is asked
// for the OpenGL renderer and a software rasterizer, or no OpenGL at all, takes
// the software path.
SceneChoice chooseScenePath(const QString &userBackend, const std::function<QString()> &probeRenderer);

// Requests the chosen scene graph from Qt Quick; before the first window.
void applySceneChoice(const SceneChoice &choice);
