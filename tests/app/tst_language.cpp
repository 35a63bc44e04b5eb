#include "app/myapplication.h"
#include "backend/qmldata.h"
#include "settings/settingsstore.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <memory>

// Language choice at start-up and the compiled translation tables. (Switching
// a loaded window: the end-to-end test.)
class TestLanguage : public QObject
{
    Q_OBJECT

    MyApplication *app = nullptr;
    std::unique_ptr<QTemporaryDir> home;
    QmlData *backend = nullptr;

    void freshBackend(const QByteArray &ini)
    {
        delete backend;
        home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", home->path().toLocal8Bit());
        if (!ini.isNull()) {
            QDir().mkpath(home->path() + "/Vexlo");
            QFile f(home->path() + "/Vexlo/config.ini");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        backend = new QmlData(nullptr);
        app->setQmlData(backend);
    }

public:
    explicit TestLanguage(MyApplication *a) : app(a) {}

private slots:
    void cleanupTestCase() { delete backend; }

    void choice_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("title");
        const QString zh = QString::fromUtf8("Vexlo相机图像调试工具");
        const QString en = "Vexlo camera tuning tool";
        QTest::newRow("first start, zh_TW") << "zh_TW" << QByteArray() << "zh_CN" << zh;
        QTest::newRow("first start, de_DE") << "de_DE" << QByteArray() << "en_US" << en;
        QTest::newRow("stored en_US wins over zh locale") << "zh_CN" << QByteArray("[General]\nlanguage=en_US\n") << "en_US" << en;
        QTest::newRow("stored EN_US is no choice") << "zh_CN" << QByteArray("[General]\nlanguage=EN_US\n") << "zh_CN" << zh;
        QTest::newRow("stored zh_TW is replaced") << "de_DE" << QByteArray("[General]\nlanguage=zh_TW\n") << "en_US" << en;
    }
    void choice()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, ini);
        QFETCH(QString, stored);
        QFETCH(QString, title);
        QLocale::setDefault(QLocale(locale));
        freshBackend(ini);
        app->loadLanguage();
        QCOMPARE(backend->settingsStore()->getLanguage(), stored);
        QCOMPARE(QCoreApplication::translate("main", "app_title"), title);
    }

    // A prompt's text as compiled, its leading spaces and line break kept.
    // (The window's texts in both languages: the end-to-end test.)
    void compiledPromptText()
    {
        QTranslator t;
        QVERIFY(t.load(QStringLiteral(":/lang_en_US.qm")));
        QCOMPARE(t.translate("QmlData", "camera_not_found_conetent"),
                 QString("     USB camera not found,\nplease unplug the USB cable again and click retry !"));
        QVERIFY(QFile::exists(":/qtquickcontrols2.conf")); // the Material style
    }
};

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    MyApplication app(argc, argv);
    TestLanguage test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_language.moc"
