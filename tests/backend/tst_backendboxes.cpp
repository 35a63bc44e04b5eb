#include "fakecamera.h"

#include <QLabel>
#include <QTemporaryDir>

// The backend's message boxes on screen: texts, buttons, close rules, and the
// quit that follows only once every prompt has returned.
class TestBackendBoxes : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    std::unique_ptr<FakeRig> rig;
    std::unique_ptr<QmlData> backend;
    int quits = 0;
    bool promptsReturned = false;
    bool quitAfterReturn = false;

    QmlData *start(bool plugged, bool open)
    {
        useHome(home.path());
        rig = std::make_unique<FakeRig>();
        if (plugged)
            rig->world->plug(0, QStringLiteral("Cam A"));
        backend.reset(rig->makeBackend());
        quits = 0;
        promptsReturned = false;
        quitAfterReturn = false;
        backend->setQuitHandler([this] {
            ++quits;
            quitAfterReturn = promptsReturned;
        });
        if (backend->getCamDevs() > 0) {
            backend->initCameraParams();
            if (open)
                backend->startCaptureTimer();
        }
        return backend.get();
    }

    static void checkBox(QMessageBox *box, const QString &title, const QString &text,
                         const QList<QPair<QMessageBox::StandardButton, QString>> &buttons)
    {
        QCOMPARE(box->windowTitle(), title);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->size(), QSize(380, 100));
        QCOMPARE(box->buttons().size(), buttons.size());
        for (const auto &b : buttons) {
            QVERIFY(box->button(b.first));
            QCOMPARE(box->button(b.first)->text(), b.second);
        }
    }

    // Escape and the close request leave a busy box up.
    static void checkRefusesClose(QMessageBox *box)
    {
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        QVERIFY(box->isVisible());
    }

    void finishQuit()
    {
        promptsReturned = true;
        QTRY_COMPARE(quits, 1);
        QVERIFY(quitAfterReturn);
    }

private slots:
    void cleanup()
    {
        backend.reset();
        rig.reset();
    }

    // Camera not found: Retry with still no camera asks again; Exit quits.
    void cameraNotFoundPrompt()
    {
        QmlData *b = start(false, false);
        int shown = 0;
        std::function<void(QMessageBox *)> act = [&](QMessageBox *box) {
            ++shown;
            checkBox(box, QStringLiteral("camera_not_found"), QStringLiteral("camera_not_found_conetent"),
                     {{QMessageBox::Retry, QStringLiteral("btn-retry")},
                      {QMessageBox::Cancel, QStringLiteral("btn-exit")}});
            checkRefusesClose(box); // no camera yet
            if (shown == 1) {
                onNextBox(act);
                click(box, QMessageBox::Retry);
            } else {
                click(box, QMessageBox::Cancel);
            }
        };
        onNextBox(act);
        b->openFindDeviceDialog();
        QCOMPARE(shown, 2);
        QCOMPARE(quits, 0); // not while the prompt's caller is on the stack
        finishQuit();
    }

    // Open failed: Retry while the camera is still held asks again, Retry once
    // it is free opens it.
    void openFailedPrompt()
    {
        QmlData *b = start(true, false);
        rig->world->occupied = true;
        int shown = 0;
        std::function<void(QMessageBox *)> act = [&](QMessageBox *box) {
            ++shown;
            checkBox(box, QStringLiteral("open_cam_failed_t"), QStringLiteral("open_cam_failed_m"),
                     {{QMessageBox::Retry, QStringLiteral("btn-retry")},
                      {QMessageBox::Cancel, QStringLiteral("btn-exit")}});
            checkRefusesClose(box);
            if (shown == 1)
                onNextBox(act);
            else
                rig->world->occupied = false;
            click(box, QMessageBox::Retry);
        };
        onNextBox(act);
        QVERIFY(!b->startCaptureTimer());
        QCOMPARE(shown, 2);
        QVERIFY(b->cameraLink()->isOpened());
        QTest::qWait(50);
        QCOMPARE(quits, 0);
    }

    // The sync wait box has no buttons, refuses Escape and close, and goes
    // when the sync is done.
    void syncWaitBox()
    {
        QmlData *b = start(true, true);
        bool seen = false;
        onNextBox([&](QMessageBox *box) {
            seen = true;
            checkBox(box, QStringLiteral("sync_wait"), QStringLiteral("sync_wait_message"), {});
            checkRefusesClose(box);
        });
        b->showSyncBox();
        QVERIFY(seen);
        QCOMPARE(quits, 0);
    }

    void exitWithoutPrompt_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("no change") << "none";
        QTest::newRow("changed and back") << "undone";
        QTest::newRow("colour temperature only") << "temperature";
    }

    void exitWithoutPrompt()
    {
        QFETCH(QString, change);
        QmlData *b = start(true, true);
        if (change == QLatin1String("undone")) {
            const int ev = b->evIndex();
            b->setEvIndex(ev + 2);
            b->setEvIndex(ev);
        } else if (change == QLatin1String("temperature")) {
            b->setColorTemperatureIndex(12);
        }
        bool prompted = false;
        QPointer<QTimer> watch = onNextBox([&](QMessageBox *box) {
            prompted = true;
            box->close();
        });
        b->showSaveBox();
        QVERIFY(!prompted);
        delete watch.data();
        finishQuit();
    }

    // After a change: the window button keeps the program running and the
    // next close asks again; Exit quits without storing.
    void exitPromptAfterChange()
    {
        QmlData *b = start(true, true);
        b->setSharpnessIndex(b->sharpnessIndex() + 1);
        onNextBox([&](QMessageBox *box) {
            checkBox(box, QStringLiteral("save_to_cam_t"), QStringLiteral("save_to_cam_m"),
                     {{QMessageBox::Ok, QStringLiteral("btn-save")},
                      {QMessageBox::Cancel, QStringLiteral("btn-save-exit")}});
            box->close();
        });
        b->showSaveBox();
        QTest::qWait(50);
        QCOMPARE(quits, 0);

        onNextBox([&](QMessageBox *box) { click(box, QMessageBox::Cancel); });
        rig->world->takeCalls();
        b->showSaveBox();
        finishQuit();
        for (const SetCall &c : rig->world->takeCalls())
            QVERIFY(!(c.prop == cv::CAP_PROP_FOCUS && c.value == 249));
    }

    // Save and exit: the store runs behind a wait box that refuses to close,
    // then the program quits.
    void saveAndExit()
    {
        QmlData *b = start(true, true);
        b->setContrastIndex(b->contrastIndex() + 1);
        QMessageBox *prompt = nullptr;
        bool waited = false;
        onNextBox([&](QMessageBox *box) {
            prompt = box;
            onNextBox([&](QMessageBox *wait) {
                waited = true;
                QVERIFY(wait != prompt);
                checkBox(wait, QStringLiteral("sync_wait"), QStringLiteral("sync_wait_message"), {});
                checkRefusesClose(wait);
            });
            click(box, QMessageBox::Ok);
        });
        rig->world->takeCalls();
        b->showSaveBox();
        QVERIFY(waited);
        finishQuit();
        int stores = 0;
        for (const SetCall &c : rig->world->takeCalls())
            stores += (c.prop == cv::CAP_PROP_FOCUS && c.value == 249);
        QCOMPARE(stores, 2);
    }

    // Exit in a prompt nested in another one ends both before the quit.
    void exitFromNestedPrompt()
    {
        QmlData *b = start(true, false);
        rig->world->occupied = true;
        onNextBox([&](QMessageBox *failed) {
            QCOMPARE(failed->windowTitle(), QStringLiteral("open_cam_failed_t"));
            onNextBox([&](QMessageBox *notFound) {
                QCOMPARE(notFound->windowTitle(), QStringLiteral("camera_not_found"));
                click(notFound, QMessageBox::Cancel);
            });
            rig->world->unplug(0);
            rig->deviceChange(); // no camera at all now: the second prompt
        });
        // The open fails; inside its prompt the camera disappears.
        b->startCaptureTimer();
        QVERIFY(!QApplication::activeModalWidget());
        finishQuit();
    }
};

QTEST_MAIN(TestBackendBoxes)
#include "tst_backendboxes.moc"
