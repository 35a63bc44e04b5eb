#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// A stand-in for the backend ("qmldata") with only what the menu bar reads when it
// is built; its actions, which also reach the application, are not triggered here.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        QQmlComponent component(engine);
        component.setData("import QtQml 2.12\n"
                          "QtObject {\n"
                          "  property bool displayZoom: true\n"
                          "  property bool isDebugVisible: false\n"
                          "  property bool debugLog: false\n"
                          "  property QtObject imageStats: QtObject { property bool visible: false }\n"
                          "  function setDebugVisible(v) { isDebugVisible = v }\n"
                          "  function getLanguageType() { return 320 }\n"
                          "}",
                          QUrl());
        QObject *qmldata = component.create();
        Q_ASSERT(qmldata);
        qmldata->setParent(engine);
        engine->rootContext()->setContextProperty(QStringLiteral("qmldata"), qmldata);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_components, Setup)

#include "tst_components.moc"
