// The start-up window: it loads with or without the backend's frame sink, hands
// its preview item over when it can, and fits the picture to the window.

#include "items/lmimageitem.h"
#include "items/registeritems.h"
#include "previewtestutil.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlError>

// A backend with neither the frame sink nor the frame size.
class BareBackend : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool ui_ready MEMBER ui_ready)
public:
    bool ui_ready = false;
};

// A backend with both.
class SinkBackend : public BareBackend
{
    Q_OBJECT
    Q_PROPERTY(QVector<int> frameSize MEMBER frameSize NOTIFY frameSizeChanged)
public:
    Q_INVOKABLE void setImageFrameRender(LmImageItem *item) { sinks.append(item); }
    QVector<int> frameSize{1920, 1080};
    QList<LmImageItem *> sinks;
signals:
    void frameSizeChanged();
};

class TestMainQml : public QObject
{
    Q_OBJECT

    std::unique_ptr<QQmlApplicationEngine> engine;
    QList<QQmlError> warnings;

    QQuickWindow *load(QObject *backend)
    {
        warnings.clear();
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->setOutputWarningsToStandardError(false);
        connect(engine.get(), &QQmlEngine::warnings, this,
                [this](const QList<QQmlError> &list) { warnings += list; });
        engine->rootContext()->setContextProperty(QStringLiteral("qmldata"), backend);
        engine->load(QUrl(QStringLiteral("qrc:/main.qml")));
        auto *window = qobject_cast<QQuickWindow *>(engine->rootObjects().value(0));
        return window && QTest::qWaitForWindowExposed(window) ? window : nullptr;
    }

private slots:
    void initTestCase() { registerImageItems(); }

    void cleanup() { engine.reset(); }

    void handsPreviewToBackendAndKeepsAspect()
    {
        SinkBackend backend;
        QQuickWindow *window = load(&backend);
        QVERIFY(window);
        QVERIFY(backend.ui_ready);
        QCOMPARE(backend.sinks.size(), 1);
        LmImageItem *preview = backend.sinks.first();
        QCOMPARE(preview->window(), window);

        window->resize(1280, 760);
        QTRY_COMPARE(window->contentItem()->size(), QSizeF(1280, 760));
        // 16:9 in a wider-than-tall but not-wide-enough window: full width, centred.
        QCOMPARE(preview->size(), QSizeF(1280, 720));
        QCOMPARE(preview->mapToScene(QPointF(0, 0)), QPointF(0, 20));
        // A portrait frame: full height, centred across.
        backend.frameSize = {1080, 1920};
        emit backend.frameSizeChanged();
        QCOMPARE(preview->size(), QSizeF(760.0 * 1080 / 1920, 760));
        // No frame size reported: the picture fills the window.
        backend.frameSize = {0, 0};
        emit backend.frameSizeChanged();
        QCOMPARE(preview->size(), QSizeF(1280, 760));
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.value(0).toString()));
    }

    void loadsWithoutFrameSink()
    {
        BareBackend backend;
        QQuickWindow *window = load(&backend);
        QVERIFY(window);
        QVERIFY(backend.ui_ready);
        auto *preview = window->findChild<LmImageItem *>();
        QVERIFY(preview);
        QTRY_COMPARE(preview->size(), window->contentItem()->size());
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.value(0).toString()));
    }
};

QTEST_MAIN(TestMainQml)

#include "tst_mainqml.moc"
