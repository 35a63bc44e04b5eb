#include "settings/profile.h"

#include <QtTest>

// A profile is read whole or not at all: each kind of fault names its key (or the file) and leaves the
// profile that was there; keys that are no tuning key are listed and ignored.
class TestProfile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void read_data()
    {
        QTest::addColumn<QString>("change"); // "key=value" written over a valid profile, "-key" removed
        QTest::addColumn<QString>("key");     // the key at fault; "" for the file, "ok" for none
        QTest::addColumn<QString>("message");
        QTest::newRow("valid, unknown key") << "colour=blue" << "ok" << "";
        QTest::newRow("label for a value") << "aperture_value=F3.2" << "ok" << "";
        QTest::newRow("missing file") << "!missing" << "" << "no readable file";
        QTest::newRow("no header") << "-profile" << "" << "not a tuning profile";
        QTest::newRow("missing key") << "-sce_value" << "sce_value" << "sce_value: missing";
        QTest::newRow("wrong form") << "iso_value=high" << "iso_value" << "iso_value: \"high\" is not a value";
        QTest::newRow("switch wrong form") << "bright_mode=yes" << "bright_mode" << "is not a value";
        QTest::newRow("out of range") << "exposure_time=2" << "exposure_time" << "2 is out of range (-10 to 1)";
        QTest::newRow("not in the list") << "sce_value=750" << "sce_value" << "750 is not one of its values";
        QTest::newRow("a list") << "ev_value=1,2" << "ev_value" << "ev_value: not a single value";
    }
    void read()
    {
        QFETCH(QString, change);
        QFETCH(QString, key);
        QFETCH(QString, message);
        Profile saved;
        saved.name = "line A";
        for (int id = 0; id < Params::Count; ++id)
            saved.values[size_t(id)] = Params::row(id).def;
        saved.values[Params::Iso] = 5;
        saved.values[Params::Aperture] = 240;
        saved.values[Params::Sce] = 900;
        saved.values[Params::BrightMode] = 1;
        const QString path = m_dir.filePath(QTest::currentDataTag());
        QString error;
        QVERIFY(writeProfile(path, saved, &error));
        {
            QSettings ini(path, QSettings::IniFormat);
            if (change.startsWith('-'))
                ini.remove(change.mid(1));
            else if (change.startsWith('!'))
                QFile::remove(path);
            else
                ini.setValue(change.section('=', 0, 0), change.contains(',') ? QVariant(change.section('=', 1).split(','))
                                                                             : QVariant(change.section('=', 1)));
        }
        Profile read;
        read.name = "before";
        const ProfileCheck check = readProfile(path, &read);
        QCOMPARE(check.ok, key == "ok");
        if (check.ok) {
            QCOMPARE(read.name, saved.name);
            QCOMPARE(check.unknown, change.startsWith("colour") ? QStringList{"colour"} : QStringList());
            saved.values[Params::Aperture] = change.startsWith("aperture") ? 320 : 240;
            QVERIFY(read.values == saved.values);
        } else {
            QCOMPARE(check.key, key);
            QVERIFY2(check.message.contains(message), qPrintable(check.message));
            QCOMPARE(read.name, QString("before"));
        }
    }
};

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
