#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// Stand-ins for the backend ("qmldata") and the application ("myapp").
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        // Only what the menu bar reads when it is built; its actions are not triggered here.
        add(engine, "qmldata",
            "QtObject {\n"
            "  property bool displayZoom: true\n"
            "  property bool isDebugVisible: false\n"
            "  property bool debugLog: false\n"
            "  function setDebugVisible(v) { isDebugVisible = v }\n"
            "  function getLanguageType() { return 320 }\n"
            "}");
        add(engine, "myapp", "QtObject {}");
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
