#include "app/myapplication.h"

#include "app/forcedexit.h"
#include "backend/qmldata.h"
#include "settings/settingsstore.h"

#include <QEvent>
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QTranslator>

MyApplication::MyApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    engine = new QQmlApplicationEngine();
    translator = new QTranslator(engine);
    QCoreApplication::installTranslator(translator);
}

// The engine, the translator and the backend are left to the end of the
// process: the quit path has already destroyed the backend.
MyApplication::~MyApplication() = default;

void MyApplication::setQmlData(QmlData *b)
{
    backend = b;
    backend->setUiReady(false);
    settings = backend->settingsStore();
}

bool MyApplication::isChineseSystemLocale()
{
    const QString name = QLocale().name();
    return name == QLatin1String("zh_CN") || name == QLatin1String("zh_TW");
}

void MyApplication::loadLanguage()
{
    if (!settings)
        return;
    QString lang = settings->getLanguage();
    if (lang != QLatin1String("zh_CN") && lang != QLatin1String("en_US")) {
        lang = isChineseSystemLocale() ? QStringLiteral("zh_CN") : QStringLiteral("en_US");
        settings->setLanguage(lang);
    }
    // A missing translation leaves the identifiers on screen; nothing to report.
    (void)translator->load(QStringLiteral(":/lang_%1.qm").arg(lang));
    engine->retranslate();
    if (backend)
        backend->applyTranslate();
}

bool MyApplication::notify(QObject *receiver, QEvent *event)
{
    if (event->type() == QEvent::Quit) {
        // Clear the references first: the backend's exit path closes all
        // windows right after handing us its quit event, which can bring a
        // second one before the process has ended.
        QmlData *b = backend;
        backend = nullptr;
        settings = nullptr;
        // The windows go before the backend they show: their bindings would
        // otherwise run once more against a backend that is gone.
        if (b)
            qDeleteAll(engine->rootObjects());
        delete b; // stops and joins the backend's threads, writes the settings
        if (!terminationArmed) {
            terminationArmed = true;
            terminateOwnProcess();
        }
    }
    return QApplication::notify(receiver, event);
}
