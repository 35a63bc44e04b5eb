// Device enumeration: numbering, the USB filter, the log lines and the list,
// through a fake platform source.
#include "camtestsupport.h"
#include "fakecapture.h"

#include "camera/cameralink.h"
#include "camera/devicesource.h"

#include <QtTest>

using Records = std::vector<DeviceRecord>;
Q_DECLARE_METATYPE(Records)

namespace {

class FakeDeviceSource : public DeviceSource
{
public:
    explicit FakeDeviceSource(Records records) : m_records(std::move(records)) {}
    std::vector<DeviceRecord> list() override { return m_records; }

private:
    Records m_records;
};

DeviceRecord dev(const QString &name, const QString &path, bool videoCapture = true)
{
    DeviceRecord r;
    r.name = name;
    r.path = path;
    r.videoCapture = videoCapture;
    return r;
}

DeviceRecord unreadable()
{
    DeviceRecord r;
    r.readable = false;
    return r;
}

// A node that exists in the numbering but has no name (missing or unopenable).
DeviceRecord nameless()
{
    return DeviceRecord();
}

QStringList listed(const std::vector<CamDevice> &devices)
{
    QStringList out;
    for (const CamDevice &d : devices)
        out << d.name + QLatin1Char('#') + QString::number(d.id);
    return out;
}

const QString UsbPath = QStringLiteral("usb-0000:00:14.0-1");

} // namespace

class TestDeviceEnum : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.reset(new TempHomeWithLog); }
    void cleanupTestCase() { m_home.reset(); }

    void enumerate_data()
    {
        QTest::addColumn<Records>("records");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("log");

        QTest::newRow("non-USB device first")
            << Records{dev("Integrated", "PCI:0000:00:02.0"), dev("Vexlo Cam", UsbPath)}
            << QStringList{"Vexlo Cam#1"}
            << QStringList{"device 0: PCI:0000:00:02.0 name = Integrated",
                           "device 1: " + UsbPath + " name = Vexlo Cam"};
        QTest::newRow("unreadable device takes no number")
            << Records{unreadable(), dev("Vexlo Cam", UsbPath)} << QStringList{"Vexlo Cam#0"}
            << QStringList{"device 0: " + UsbPath + " name = Vexlo Cam"};
        QTest::newRow("missing node keeps the numbering")
            << Records{nameless(), nameless(), dev("Vexlo Cam", UsbPath)} << QStringList{"Vexlo Cam#2"}
            << QStringList{"device 2: " + UsbPath + " name = Vexlo Cam"};
        QTest::newRow("metadata node is logged, numbered, not listed")
            << Records{dev("Vexlo Cam", UsbPath), dev("Vexlo Cam", UsbPath, false), dev("Other", "usb-2")}
            << QStringList{"Vexlo Cam#0", "Other#2"}
            << QStringList{"device 0: " + UsbPath + " name = Vexlo Cam",
                           "device 1: " + UsbPath + " name = Vexlo Cam", "device 2: usb-2 name = Other"};
        QTest::newRow("USB in capitals and mixed case")
            << Records{dev("A", "\\\\?\\USB#VID_1234"), dev("B", "Usb-bus"), dev("C", "uSB")}
            << QStringList{"A#0"}
            << QStringList{"device 0: \\\\?\\USB#VID_1234 name = A", "device 1: Usb-bus name = B",
                           "device 2: uSB name = C"};
        QTest::newRow("path with a placeholder-like text")
            << Records{dev("50%1 %2", "usb-%3")} << QStringList{"50%1 %2#0"}
            << QStringList{"device 0: usb-%3 name = 50%1 %2"};
        QTest::newRow("no device at all") << Records{} << QStringList{} << QStringList{};
    }

    void enumerate()
    {
        QFETCH(Records, records);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, log);

        m_home->clearLog();
        CameraLink link(std::make_unique<FakeCapture>(), std::make_unique<FakeDeviceSource>(records));
        QCOMPARE(link.enumerateDevices(), expected.size());
        QCOMPARE(listed(link.devices()), expected);
        QCOMPARE(m_home->logMessages(), log);

        // A second run replaces the list rather than adding to it.
        QCOMPARE(link.enumerateDevices(), expected.size());
        QCOMPARE(listed(link.devices()), expected);
    }

    void deviceIdAt_data()
    {
        QTest::addColumn<Records>("records");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("id");

        const Records two{nameless(), dev("A", UsbPath), dev("B", "pci"), dev("C", UsbPath)};
        QTest::newRow("first") << two << 0 << 1;
        QTest::newRow("second") << two << 1 << 3;
        QTest::newRow("negative") << two << -1 << 0;
        QTest::newRow("size of the list") << two << 2 << 0;
        QTest::newRow("empty list") << Records{} << 0 << 0;
    }

    void deviceIdAt()
    {
        QFETCH(Records, records);
        QFETCH(int, n);
        QFETCH(int, id);
        CameraLink link(std::make_unique<FakeCapture>(), std::make_unique<FakeDeviceSource>(records));
        link.enumerateDevices();
        QCOMPARE(link.deviceIdAt(n), id);
    }

private:
    QScopedPointer<TempHomeWithLog> m_home;
};

QTEST_GUILESS_MAIN(TestDeviceEnum)
#include "tst_deviceenum.moc"
