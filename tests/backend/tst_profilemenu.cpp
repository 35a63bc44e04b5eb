#include "backend/controlstatus.h"
#include "backend/profilemenu.h"
#include "backendrig.h"

// Profiles in the window, on the fake camera: a profile saved, the panel changed, the profile loaded:
// the panel, the INI and what the sync sends are the profile's; a bad profile changes nothing.
class TestProfileMenu : public QObject, RigHarness
{
    Q_OBJECT

private slots:
    void cleanup() { finish(); }

    void load_data()
    {
        QTest::addColumn<QString>("change"); // "key=value" written into the saved profile, "-group" removed
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("said");
        QTest::newRow("as saved") << "" << true << "";
        QTest::newRow("unknown key") << "colour=blue" << true << "colour";
        QTest::newRow("not a profile") << "-profile" << false << "not a tuning profile";
    }
    void load()
    {
        QFETCH(QString, change);
        QFETCH(bool, loaded);
        QFETCH(QString, said);
        QmlData *b = make();
        QVERIFY(bringUp(true));
        ProfileMenu menu(b);
        QStringList told;
        menu.setTell([&told](const QString &, const QString &text) { told << text; });
        b->setSharpnessIndex(20);
        const QString path = home.path() + "/line.profile";
        QVERIFY(menu.save(path));
        {
            QSettings ini(path, QSettings::IniFormat);
            if (change.startsWith('-'))
                ini.remove(change.mid(1));
            else if (!change.isEmpty())
                ini.setValue(change.section('=', 0, 0), change.section('=', 1));
        }
        b->setSharpnessIndex(5);
        settle();
        rig->world->takeTrace();

        QSignalSpy panel(b, &QmlData::sharpnessIndexChanged);
        QCOMPARE(menu.load(path), loaded);
        settle();
        QCOMPARE(!panel.isEmpty(), loaded);
        const QString sent = rig->world->takeTrace();
        QCOMPARE(b->sharpnessIndex(), loaded ? 20 : 5);
        QCOMPARE(storedValue(home.path(), "sharpness_value").toInt(), loaded ? 20 : 5);
        QVERIFY2(sent.contains("20:20") == loaded && sent.contains("28:89") == loaded, qPrintable(sent));
        QCOMPARE(menu.recent(), QStringList{path});
        const QString shown = loaded ? b->controlStatus()->notice() : told.join('\n');
        QVERIFY2(shown.contains(said), qPrintable(shown));
    }

    // Only the rows that differ, current value beside the profile's, as the window labels them.
    void compare()
    {
        QmlData *b = make();
        QVERIFY(bringUp(true));
        ProfileMenu menu(b);
        QString told;
        menu.setTell([&told](const QString &, const QString &text) { told = text; });
        QVERIFY(menu.save(home.path() + "/a.profile"));
        b->setAwbIndex(3);
        b->setMceGindex(10);
        settle();
        QVERIFY(menu.compare(home.path() + "/a.profile"));
        QCOMPARE(told.count("<tr>"), 3);
        QVERIFY2(told.contains("<td>AWB</td><td>daylight</td><td>Auto</td>"), qPrintable(told));
        QVERIFY2(told.contains("<td>MCE G</td><td>1.020</td><td>1.000</td>"), qPrintable(told));
    }
};

QTEST_MAIN(TestProfileMenu)
#include "tst_profilemenu.moc"
