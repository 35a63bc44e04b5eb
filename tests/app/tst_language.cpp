#include "app/myapplication.h"
#include "backend/qmldata.h"
#include "support/fakecamera.h"

#include <QLocale>

// Language choice at start-up and the compiled translation tables. (Switching
// a loaded window: the end-to-end test.)
class TestLanguage : public QObject
{
    Q_OBJECT

    MyApplication *app = nullptr;
    std::unique_ptr<TempHome> home;
    std::unique_ptr<QmlData> backend;

public:
    explicit TestLanguage(MyApplication *a) : app(a) {}

private slots:
    void choice_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("before"); // the stored language; null: no file
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("title");
        const QString zh = QString::fromUtf8("Vexlo相机图像调试工具");
        const QString en = "Vexlo camera tuning tool";
        QTest::newRow("first start, zh_TW") << "zh_TW" << QString() << "zh_CN" << zh;
        QTest::newRow("first start, de_DE") << "de_DE" << QString() << "en_US" << en;
        QTest::newRow("stored en_US wins over zh locale") << "zh_CN" << "en_US" << "en_US" << en;
        QTest::newRow("stored EN_US is no choice") << "zh_CN" << "EN_US" << "zh_CN" << zh;
        QTest::newRow("stored zh_TW is replaced") << "de_DE" << "zh_TW" << "en_US" << en;
    }
    void choice()
    {
        QFETCH(QString, locale);
        QFETCH(QString, before);
        QLocale::setDefault(QLocale(locale));
        backend.reset();
        home = std::make_unique<TempHome>();
        if (!before.isNull())
            writeIni(home->path() + "/Vexlo/config.ini", {{"language", before}});
        backend = std::make_unique<QmlData>(nullptr);
        app->setQmlData(backend.get());
        app->loadLanguage();
        QTEST(backend->settingsStore()->getLanguage(), "stored");
        QTEST(QCoreApplication::translate("main", "app_title"), "title");
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
