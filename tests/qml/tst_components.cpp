#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// Stand-ins for the backend ("qmldata") and the application ("myapp") with what
// the menu bar uses; the test file changes and reads them.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        add(engine, "qmldata",
            "QtObject {\n"
            "  property bool displayZoom: true\n"
            "  property bool isDebugVisible: false\n"
            "  property bool debugLog: false\n"
            "  property var calls: []\n"
            "  function setDebugVisible(v) { isDebugVisible = v }\n"
            "  function getLanguageType() { return 320 }\n"
            "  function openSavePicDialog() { calls.push('capture') }\n"
            "  function rotateDisplay(cw) { calls.push(cw ? 'cw' : 'ccw') }\n"
            "  function showSyncBox() { calls.push('sync') }\n"
            "  function saveParamsToCam() { calls.push('store') }\n"
            "}");
        add(engine, "myapp",
            "QtObject { property var langs: []\n"
            "  function updateLangage(l) { langs.push(l) } }");
    }

private:
    void add(QQmlEngine *engine, const char *name, const char *body)
    {
        QQmlComponent component(engine);
        component.setData(QByteArray("import QtQml 2.12\n") + body, QUrl());
        QObject *object = component.create();
        Q_ASSERT(object);
        object->setParent(engine);
        engine->rootContext()->setContextProperty(QString::fromLatin1(name), object);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_components, Setup)

#include "tst_components.moc"
