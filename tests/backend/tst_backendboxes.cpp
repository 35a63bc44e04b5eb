#include "backendrig.h"

#include <QLabel>
#include <QTranslator>

// The backend's message boxes on screen: texts, buttons, close rules, and the
// quit that follows only once every prompt has returned.
class TestBackendBoxes : public QObject, RigHarness
{
    Q_OBJECT

    int quits = 0;
    bool promptsReturned = false;
    bool quitAfterReturn = false;

    QmlData *start(bool plugged, bool open)
    {
        make({}, plugged);
        quits = 0;
        promptsReturned = quitAfterReturn = false;
        backend->setQuitHandler([this] {
            ++quits;
            quitAfterReturn = promptsReturned;
        });
        bringUp(open);
        return backend.get();
    }

    // Texts, size and buttons; a busy box also stays up on Escape and close.
    static void checkBox(QMessageBox *box, const QString &title, const QString &text,
                         const QList<QPair<QMessageBox::StandardButton, QString>> &buttons, bool busy = true)
    {
        QCOMPARE(box->windowTitle(), title);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->size(), QSize(380, 100));
        QCOMPARE(box->buttons().size(), buttons.size());
        for (const auto &b : buttons) {
            QVERIFY(box->button(b.first));
            QCOMPARE(box->button(b.first)->text(), b.second);
        }
        if (busy) {
            QTest::keyClick(box, Qt::Key_Escape);
            box->close();
            QVERIFY(box->isVisible());
        }
    }

    void finishQuit()
    {
        promptsReturned = true;
        QTRY_COMPARE(quits, 1);
        QVERIFY(quitAfterReturn);
    }

private slots:
    void cleanup() { finish(); }

    void retryPrompt_data()
    {
        QTest::addColumn<bool>("plugged"); // false: no camera; true: the camera is held elsewhere
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("exitSecond");
        QTest::newRow("not found, Exit") << false << "camera_not_found" << "camera_not_found_conetent" << true;
        QTest::newRow("open failed, Retry when free") << true << "open_cam_failed_t" << "open_cam_failed_m" << false;
    }

    // Retry while the fault lasts asks again; the second answer either quits
    // (only once the prompt's caller has returned) or retries with the fault gone.
    void retryPrompt()
    {
        QFETCH(bool, plugged);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(bool, exitSecond);
        QmlData *b = start(plugged, false);
        rig->world->occupied = plugged;
        int shown = 0;
        std::function<void(QMessageBox *)> act = [&](QMessageBox *box) {
            ++shown;
            checkBox(box, title, text,
                     {{QMessageBox::Retry, QStringLiteral("btn-retry")},
                      {QMessageBox::Cancel, QStringLiteral("btn-exit")}});
            if (shown == 1)
                onNextBox(act);
            else
                rig->world->occupied = false; // the fault is gone (if Retry comes)
            click(box, shown == 2 && exitSecond ? QMessageBox::Cancel : QMessageBox::Retry);
        };
        onNextBox(act);
        if (plugged)
            QVERIFY(!b->startCaptureTimer());
        else
            b->openFindDeviceDialog();
        QCOMPARE(shown, 2);
        QCOMPARE(b->cameraLink()->isOpened(), !exitSecond);
        QCOMPARE(quits, 0);
        if (exitSecond) {
            finishQuit();
        } else {
            QTest::qWait(50);
            QCOMPARE(quits, 0);
        }
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
            holdTunnel = false;
        });
        holdTunnel = true;
        b->showSyncBox();
        QVERIFY(seen);
        QCOMPARE(quits, 0);
    }

    void exitFromWindow_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("answer"); // 0: no prompt expected
        QTest::addColumn<int>("stores");
        QTest::newRow("no change") << "none" << 0 << 0;
        QTest::newRow("changed and back") << "undone" << 0 << 0;
        QTest::newRow("colour temperature only") << "temperature" << 0 << 0;
        QTest::newRow("stored to camera, then changed back") << "stored" << int(QMessageBox::Cancel) << 0;
        QTest::newRow("Exit") << "sharpness" << int(QMessageBox::Cancel) << 0;
        QTest::newRow("Save and exit") << "sharpness" << int(QMessageBox::Ok) << 2;
    }

    // Closing the window quits at once without a tuning change. After one, the
    // prompt's window button keeps the program running and the next close asks
    // again; Save stores behind a busy wait box, Exit quits without storing.
    void exitFromWindow()
    {
        QFETCH(QString, change);
        QFETCH(int, answer);
        QmlData *b = start(true, true);
        const int ev = b->evIndex();
        if (change == QLatin1String("undone"))
            b->setEvIndex(ev + 2), b->setEvIndex(ev);
        else if (change == QLatin1String("temperature"))
            b->setColorTemperatureIndex(12);
        else if (change == QLatin1String("sharpness") || change == QLatin1String("stored"))
            b->setSharpnessIndex(b->sharpnessIndex() + 1);
        if (change == QLatin1String("stored")) { // the menu's store entry: the values to compare with
            b->saveParamsToCam();
            b->setSharpnessIndex(b->sharpnessIndex() - 1);
        }
        if (answer) {
            onNextBox([&](QMessageBox *box) {
                checkBox(box, QStringLiteral("save_to_cam_t"), QStringLiteral("save_to_cam_m"),
                         {{QMessageBox::Ok, QStringLiteral("btn-save")},
                          {QMessageBox::Cancel, QStringLiteral("btn-save-exit")}},
                         false);
                box->close();
            });
            b->showSaveBox();
            QTest::qWait(50);
            QCOMPARE(quits, 0);
        }
        bool prompted = false, waited = false;
        QPointer<QTimer> watch = onNextBox([&](QMessageBox *box) {
            prompted = true;
            if (answer == QMessageBox::Ok) {
                onNextBox([&, box](QMessageBox *wait) {
                    waited = true;
                    QVERIFY(wait != box);
                    checkBox(wait, QStringLiteral("sync_wait"), QStringLiteral("sync_wait_message"), {});
                    holdTunnel = false;
                });
                holdTunnel = true;
            }
            click(box, answer ? QMessageBox::StandardButton(answer) : QMessageBox::Cancel);
        });
        rig->world->takeTrace();
        b->showSaveBox();
        delete watch.data();
        QCOMPARE(prompted, answer != 0);
        QCOMPARE(waited, answer == QMessageBox::Ok);
        finishQuit();
        QTEST(int(rig->world->takeTrace().count("28:249")), "stores");
    }

    void promptsInEachLanguage_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("prompt");
        for (const char *lang : {"en_US", "zh_CN"}) {
            for (const char *prompt : {"notfound", "openfailed", "sync", "exit"})
                QTest::addRow("%s %s", lang, prompt) << lang << prompt;
        }
    }

    // As a user sees them: the table's texts, also after a language change
    // reaches the open box (Qt would put its own button texts back), and no
    // label or button smaller than its text.
    void promptsInEachLanguage()
    {
        QFETCH(QString, lang);
        QFETCH(QString, prompt);
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/lang_%1.qm").arg(lang)));
        QCoreApplication::installTranslator(&translator);
        const bool plugged = prompt != QLatin1String("notfound");
        QmlData *b = start(plugged, prompt == QLatin1String("sync") || prompt == QLatin1String("exit"));
        bool seen = false;
        onNextBox([&](QMessageBox *box) {
            seen = true;
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(box, &change);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QStringList shown{box->windowTitle(), box->text()};
            for (QAbstractButton *button : box->buttons())
                shown << button->text();
            for (const QString &text : shown) {
                QVERIFY2(!text.isEmpty() && !text.contains(QLatin1Char('-')) && !text.contains(QLatin1Char('_'))
                             && text != QLatin1String("Retry") && text != QLatin1String("Cancel"),
                         qPrintable(text));
            }
            QVERIFY(box->width() >= 380 && box->height() >= 100);
            for (QWidget *w : box->findChildren<QWidget *>()) {
                if (!w->isVisible() || !(qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w)))
                    continue;
                const QRect inBox(w->mapTo(box, QPoint()), w->size());
                QVERIFY2(box->rect().contains(inBox) && w->width() >= w->sizeHint().width()
                             && w->height() >= w->sizeHint().height(),
                         qPrintable(w->objectName() + QLatin1Char(' ') + w->property("text").toString()));
            }
            if (prompt != QLatin1String("sync"))
                click(box, QMessageBox::Cancel);
            holdTunnel = false;
        });
        holdTunnel = prompt == QLatin1String("sync");
        if (prompt == QLatin1String("notfound")) {
            b->openFindDeviceDialog();
        } else if (prompt == QLatin1String("openfailed")) {
            rig->world->occupied = true;
            b->startCaptureTimer();
        } else if (prompt == QLatin1String("sync")) {
            b->showSyncBox();
        } else {
            b->setSharpnessIndex(b->sharpnessIndex() + 1);
            b->showSaveBox();
        }
        QCoreApplication::removeTranslator(&translator);
        QVERIFY(seen);
        if (prompt != QLatin1String("sync"))
            finishQuit();
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
