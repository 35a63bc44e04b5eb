#include "app/scenegraphchoice.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>

namespace {

// Qt Quick's names of its software scene graph.
bool isSoftwareBackend(const QString &backend)
{
    return backend == QLatin1String("software") || backend == QLatin1String("softwarecontext");
}

QString pathName(ScenePath path)
{
    return path == ScenePath::Software ? QStringLiteral("software") : QStringLiteral("OpenGL");
}

} // namespace

QString probeOpenGLRenderer()
{
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface))
        return QString();
    const GLubyte *name = context.functions()->glGetString(GL_RENDERER);
    const QString renderer = name ? QString::fromLatin1(reinterpret_cast<const char *>(name)) : QString();
    context.doneCurrent();
    return renderer;
}

bool isSoftwareRasterizer(const QString &renderer)
{
    for (const char *rasterizer : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer", "GDI Generic"}) {
        if (renderer.contains(QLatin1String(rasterizer), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

SceneChoice chooseScenePath(const QString &userBackend, const std::function<QString()> &probeRenderer)
{
    SceneChoice choice;
    if (!userBackend.isEmpty()) {
        choice.path = isSoftwareBackend(userBackend) ? ScenePath::Software : ScenePath::OpenGL;
        choice.reason = QStringLiteral("scene graph: %1, as QT_QUICK_BACKEND=%2 asks")
                            .arg(pathName(choice.path), userBackend);
        return choice;
    }
    const QString renderer = probeRenderer();
    if (renderer.isEmpty()) {
        choice.path = ScenePath::Software;
        choice.reason = QStringLiteral("scene graph: software, no OpenGL context could be made");
    } else if (isSoftwareRasterizer(renderer)) {
        choice.path = ScenePath::Software;
        choice.reason = QStringLiteral("scene graph: software, the OpenGL renderer \"%1\" is a software rasterizer")
                            .arg(renderer);
    } else {
        choice.path = ScenePath::OpenGL;
        choice.reason = QStringLiteral("scene graph: OpenGL on the renderer \"%1\"").arg(renderer);
    }
    return choice;
}

void applySceneChoice(const SceneChoice &choice)
{
    // A backend the user set is Qt Quick's own choice already; "opengl" names
    // no backend of Qt's, only its default, and would draw a warning.
    if (qEnvironmentVariable("QT_QUICK_BACKEND") == QLatin1String("opengl"))
        qunsetenv("QT_QUICK_BACKEND");
    QQuickWindow::setSceneGraphBackend(choice.path == ScenePath::Software ? QSGRendererInterface::Software
                                                                          : QSGRendererInterface::OpenGL);
}
