#include "backendrig.h"

#include "backend/controlstatus.h"

#include "support/filefaults.h"

#include "app/debuglog.h"
#include "backend/filenotice.h"

#include <sys/stat.h>

#include <QLabel>
#include <future>
#include <QTranslator>

// The backend's message boxes on screen: texts, buttons, close rules, and the
// quit that follows only once every prompt has returned.
class TestBackendBoxes : public QObject, RigHarness
{
    Q_OBJECT

    int quits = 0;
    bool quitAfterReturn = false;

    QmlData *start(bool plugged, bool open)
    {
        make({}, plugged);
        quits = 0;
        quitAfterReturn = false;
        backend->setQuitHandler([this] { // every prompt has returned: none is left undeleted
            ++quits;
            const QWidgetList up = QApplication::topLevelWidgets();
            quitAfterReturn = std::none_of(up.begin(), up.end(), [](QWidget *w) { return qobject_cast<QMessageBox *>(w); });
        });
        bringUp(open);
        rig->world->takeOpens();
        return backend.get();
    }

    // A busy box stays up on Escape and on close.
    static void checkBusy(QMessageBox *box)
    {
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        QVERIFY(box->isVisible());
    }

    void finishQuit()
    {
        QTRY_COMPARE(quits, 1);
        QVERIFY(quitAfterReturn);
    }

private slots:
    void cleanup() { finish(); }

    void prompts_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QStringList>("ids"); // title, text, then Retry or Ok, Cancel
        const std::pair<const char *, QStringList> prompts[] = {
            {"notfound", {"camera_not_found", "camera_not_found_conetent", "btn-retry", "btn-exit"}},
            {"openfailed", {"open_cam_failed_t", "open_cam_failed_m", "btn-retry", "btn-exit"}},
            {"sync", {"sync_wait", "sync_wait_message"}},
            {"exit", {"save_to_cam_t", "save_to_cam_m", "btn-save", "btn-save-exit"}},
            {"nested", {"open_cam_failed_t", "open_cam_failed_m", "btn-retry", "btn-exit"}},
        };
        for (const char *lang : {"en_US", "zh_CN"})
            for (const auto &p : prompts)
                QTest::addRow("%s %s", lang, p.first) << lang << p.first << p.second;
    }

    // Each prompt as a user sees it: the table's texts and buttons, also after a language change
    // reaches the open box (Qt would put its own button texts back), no label or button smaller
    // than its text; all but the exit prompt refuse Escape and close. Retry while the fault lasts
    // asks again; a camera plugged in ends the not-found prompt. Exit, also in a prompt nested in
    // another, quits once every prompt has returned.
    void prompts()
    {
        QFETCH(QString, lang);
        QFETCH(QString, prompt);
        QFETCH(QStringList, ids);
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/lang_%1.qm").arg(lang)));
        QCoreApplication::installTranslator(&translator);
        const bool sync = prompt == QLatin1String("sync");
        const bool openFailed = prompt == QLatin1String("openfailed");
        const bool nested = prompt == QLatin1String("nested"); // the camera goes while the open-failed box is up
        const bool retries = openFailed || prompt == QLatin1String("notfound");
        QmlData *b = start(prompt != QLatin1String("notfound"), sync || prompt == QLatin1String("exit"));
        const QString notFound = QCoreApplication::translate("QmlData", "camera_not_found");
        QStringList expected;
        for (const QString &id : ids)
            expected << QCoreApplication::translate("QmlData", id.toLatin1().constData());
        int shown = 0;
        std::function<void(QMessageBox *)> answer = [&](QMessageBox *box) {
            if (++shown == 2) { // asked again; then the camera is free, or comes at a new node
                QCOMPARE(box->windowTitle(), nested ? notFound : expected.first());
                if (nested) {
                    click(box, QMessageBox::Cancel);
                } else if (openFailed) {
                    rig->world->occupied = false;
                    click(box, QMessageBox::Retry);
                } else {
                    rig->deviceChange(); // still no camera: the box stays
                    QVERIFY(box->isVisible());
                    rig->world->plug(1);
                    rig->deviceChange();
                }
                return;
            }
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(box, &change);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QStringList texts{box->windowTitle(), box->text()};
            for (auto which : {QMessageBox::Retry, QMessageBox::Ok, QMessageBox::Cancel})
                if (QAbstractButton *button = box->button(which))
                    texts << button->text();
            QCOMPARE(texts, expected);
            QCOMPARE(box->buttons().size(), ids.size() - 2);
            QVERIFY(box->width() >= 380 && box->height() >= 100);
            for (QWidget *w : box->findChildren<QWidget *>()) {
                if (!w->isVisible() || !(qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w)))
                    continue;
                const QRect inBox(w->mapTo(box, QPoint()), w->size());
                QVERIFY2(box->rect().contains(inBox) && w->width() >= w->sizeHint().width()
                             && w->height() >= w->sizeHint().height(),
                         qPrintable(w->objectName() + QLatin1Char(' ') + w->property("text").toString()));
            }
            if (prompt != QLatin1String("exit"))
                checkBusy(box);
            if (retries || nested)
                onNextBox(answer);
            if (retries) {
                click(box, QMessageBox::Retry);
            } else if (nested) {
                rig->world->unplug(0);
                rig->deviceChange();
            } else if (!sync) {
                click(box, QMessageBox::Cancel);
            }
            holdTunnel = false;
        };
        onNextBox(answer);
        holdTunnel = sync;
        rig->world->occupied = openFailed || nested;
        if (prompt == QLatin1String("notfound")) {
            b->openFindDeviceDialog();
        } else if (sync) {
            b->showSyncBox();
        } else if (prompt == QLatin1String("exit")) {
            b->setSharpnessIndex(b->sharpnessIndex() + 1);
            b->showSaveBox();
        } else { // asked; the prompt comes once the control worker's open has failed
            QVERIFY(b->startCaptureTimer());
            QTRY_VERIFY(shown == 2 && !QApplication::activeModalWidget());
        }
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(shown, retries || nested ? 2 : 1);
        QVERIFY(!QApplication::activeModalWidget());
        if (retries)
            settle(); // Retry's open
        QCOMPARE(rig->world->takeOpens(), retries ? std::vector<int>{openFailed ? 0 : 1} : std::vector<int>{});
        if (retries || sync)
            QTest::qWait(50);
        if (!nested) // (there the quit may come while the prompts are awaited)
            QCOMPARE(quits, 0);
        if (!retries && !sync)
            finishQuit();
    }

    void exitFromWindow_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("answer"); // 0: no prompt expected
        QTest::newRow("no change") << "none" << 0;
        QTest::newRow("changed and back") << "undone" << 0;
        QTest::newRow("colour temperature only") << "temperature" << 0;
        QTest::newRow("stored to camera, then changed back") << "stored" << int(QMessageBox::Cancel);
        QTest::newRow("Save and exit") << "sharpness" << int(QMessageBox::Ok);
    }

    // Closing the window quits at once without a tuning change. After one, the prompt's window button
    // keeps the program running and the next close asks again; Save stores behind a busy wait box.
    void exitFromWindow()
    {
        QFETCH(QString, change);
        QFETCH(int, answer);
        QmlData *b = start(true, true);
        b->showSyncBox(); // the camera has the panel's values: a store does not ask first
        const int ev = b->evIndex();
        if (change == QLatin1String("undone"))
            b->setEvIndex(ev + 2), b->setEvIndex(ev);
        else if (change == QLatin1String("temperature"))
            b->setColorTemperatureIndex(12);
        else if (change == QLatin1String("sharpness") || change == QLatin1String("stored"))
            b->setSharpnessIndex(b->sharpnessIndex() + 1);
        if (change == QLatin1String("stored")) { // the menu's store entry: the values to compare with
            b->saveParamsToCam();
            settle();
            b->setSharpnessIndex(b->sharpnessIndex() - 1);
        }
        settle();
        if (answer) {
            onNextBox([](QMessageBox *box) { box->close(); });
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
                    QCOMPARE(wait->windowTitle(), QStringLiteral("sync_wait"));
                    checkBusy(wait);
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
        QCOMPARE(rig->world->takeTrace().count("28:249"), answer == QMessageBox::Ok ? 2 : 0); // a store sends it twice
    }

    void storeAsksFirst_data()
    {
        QTest::addColumn<bool>("exit"); // "Save and exit", else the menu's store entry
        QTest::addColumn<int>("answer"); // 0: the box closed with its window button
        QTest::addColumn<QString>("traffic"); // s: synced, S: stored
        for (const bool exit : {false, true}) {
            const char *from = exit ? "Save and exit" : "menu";
            QTest::addRow("%s: sync, then store", from) << exit << int(QMessageBox::Yes) << "sS";
            QTest::addRow("%s: store as it is", from) << exit << int(QMessageBox::No) << "S";
            QTest::addRow("%s: cancel", from) << exit << int(QMessageBox::Cancel) << "";
            QTest::addRow("%s: closed", from) << exit << 0 << "";
        }
    }

    // A camera just opened runs the values stored in it, not the panel's: a store asks first whether
    // to send the panel's values, store what the camera runs, or not store (and not exit).
    void storeAsksFirst()
    {
        QFETCH(bool, exit);
        QFETCH(int, answer);
        QFETCH(QString, traffic);
        QmlData *b = start(true, true);
        b->setSharpnessIndex(b->sharpnessIndex() + 1);
        QVERIFY(!b->panelOnCamera());
        settle();
        rig->world->takeTrace();
        QString asked;
        const auto ask = [&](QMessageBox *box) {
            asked = box->windowTitle();
            answer ? click(box, QMessageBox::StandardButton(answer)) : void(box->close());
        };
        onNextBox([&](QMessageBox *box) {
            if (!exit)
                return ask(box);
            onNextBox(ask);
            click(box, QMessageBox::Ok);
        });
        exit ? b->showSaveBox() : b->saveParamsToCam();
        if (!exit)
            settle(); // the menu's store runs on while the window works
        QCOMPARE(asked, QStringLiteral("store_ask_t"));
        const QString sent = rig->world->takeTrace();
        QCOMPARE(QString(sent.contains("28:89") ? "s" : "") + (sent.contains("28:249") ? "S" : ""), traffic);
        QCOMPARE(b->panelOnCamera(), answer == QMessageBox::Yes);
        if (exit && !traffic.isEmpty())
            finishQuit();
        else
            QCOMPARE(quits, 0);
    }

    // The GUI thread hands a write over and carries on: the INI has the value before the camera
    // has answered. A refused write marks its row with the system's reason, logged with the control;
    // a later good write clears it.
    void writeResultsShown()
    {
        QmlData *b = start(true, true);
        settle();
        rig->world->takeTrace();
        holdTunnel = true; // the camera does not answer the opening write until the setter is back
        std::promise<void> back;
        std::thread release([this, answered = back.get_future()] {
            answered.wait_for(std::chrono::seconds(5)); // a setter that waits for the camera: 5 s
            holdTunnel = false;
        });
        b->setEvIndex(9);
        const QString sentWhileHeld = rig->world->takeTrace();
        back.set_value();
        release.join();
        QVERIFY2(!sentWhileHeld.contains(QLatin1String("28:0")), qPrintable(sentWhileHeld));
        QCOMPARE(storedValue(home.path(), QStringLiteral("ev_value")).toInt(), 3);

        const struct {
            int error;
            QString mark;
        } rows[] = {{EIO, "control_failed EV: Input/output error"},
                    {EBUSY, "control_failed EV: Device or resource busy"}, {0, ""}};
        for (const auto &r : rows) {
            rig->world->refuse(cv::CAP_PROP_BRIGHTNESS, r.error);
            if (r.error) {
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                    "^camera control EV write -?\\d+ failed after \\d+ ms: %1$").arg(strerror(r.error))));
            }
            b->setEvIndex(b->evIndex() == 2 ? 3 : 2);
            settle();
            QCOMPARE(b->controlStatus()->failures().value(QStringLiteral("evIndex")).toString(), r.mark);
        }
    }

    // A store the camera refuses leaves the parameters unstored: the exit prompt is offered, and its
    // "Save and exit" keeps the program running with Retry and Exit.
    void refusedStore_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("retry, then stored") << int(QMessageBox::Retry);
        QTest::newRow("exit unstored") << int(QMessageBox::Cancel);
    }

    void refusedStore()
    {
        QFETCH(int, answer);
        QmlData *b = start(true, true);
        b->showSyncBox(); // the camera has the panel's values: a store does not ask first
        b->setSharpnessIndex(b->sharpnessIndex() + 1);
        settle();
        rig->world->refuse(cv::CAP_PROP_FOCUS, EIO);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^camera control Register selector write 249 failed"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^camera control Register selector write 0 failed"));
        b->saveParamsToCam();
        settle();
        QVERIFY(b->controlStatus()->notice().startsWith(QLatin1String("store_failed")));

        QStringList titles;
        onNextBox([&](QMessageBox *exitPrompt) {
            titles << exitPrompt->windowTitle();
            onNextBox([&](QMessageBox *failed) {
                titles << failed->windowTitle();
                if (answer == QMessageBox::Retry)
                    rig->world->refuse(cv::CAP_PROP_FOCUS, 0);
                click(failed, QMessageBox::StandardButton(answer));
            }, 10000, QStringLiteral("store_failed_t"));
            click(exitPrompt, QMessageBox::Ok);
        });
        for (int i = 0; i < 4; ++i) // two commands before exit, each opened and closed
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^camera control Register selector write"));
        rig->world->takeTrace();
        b->showSaveBox();
        QCOMPARE(titles, (QStringList{"save_to_cam_t", "store_failed_t"}));
        finishQuit();
        QCOMPARE(rig->world->takeTrace().count("28:249"), answer == QMessageBox::Retry ? 4 : 2);
    }

    void saveDialog_data()
    {
        QTest::addColumn<QString>("folder"); // remembered ("pics"), else where Pictures is made ("Pictures"), else home
        QTest::addColumn<QString>("typed");  // "": the proposed name; "-": cancel
        QTest::addColumn<int>("answer");     // to "replace shot.jpg?"; 0: no question expected
        QTest::addColumn<QString>("result"); // "saved", "kept" (nothing written), or the failure box's text
        QTest::newRow("proposed, remembered folder") << "pics" << "" << 0 << "saved";
        QTest::newRow("proposed, first time: Pictures") << "Pictures" << "" << 0 << "saved";
        QTest::newRow("proposed, first time: home") << "" << "" << 0 << "saved";
        QTest::newRow("no suffix, existing file kept") << "pics" << "shot" << int(QMessageBox::No) << "kept";
        QTest::newRow("no suffix, existing file replaced") << "pics" << "shot" << int(QMessageBox::Yes) << "saved";
        QTest::newRow("cancelled") << "pics" << "-" << 0 << "kept";
        QTest::newRow("no picture from the camera") << "pics" << "new" << 0 << "snapshot_no_frame";
    }

    // The dialog starts in the folder used last (first Pictures, else home) with a dated
    // name, and asks before replacing the file that will be written. A saved picture is
    // announced with its name and remembers its folder; a failed one is told in a box.
    void saveDialog()
    {
        QFETCH(QString, folder);
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QString, result);
        QmlData *b = start(true, true);
        const QString dir = home.path() + (folder.isEmpty() ? "" : "/" + folder);
        QVERIFY(QDir(home.path() + "/pics").removeRecursively() && QDir(home.path() + "/Pictures").removeRecursively());
        QVERIFY(QDir().mkpath(dir));
        if (folder == "pics")
            b->settingsStore()->setSnapshotFolder(dir);
        QVERIFY(QFile(dir + "/shot.jpg").open(QIODevice::WriteOnly));
        if (result == "snapshot_no_frame")
            b->stopCapture(); // (a camera that stops giving frames counts as gone: the lifecycle tests)
        QSignalSpy saved(b, &QmlData::snapshotSaved);
        QString startDir, proposed, question, failure;
        onNextModal<QFileDialog>([&](QFileDialog *d) {
            startDir = d->directory().absolutePath();
            auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            proposed = edit->text();
            if (typed == "-")
                return d->reject();
            edit->setText(typed.isEmpty() ? proposed : typed);
            onNextBox([&](QMessageBox *box) {
                (answer ? question : failure) = box->text();
                click(box, answer ? QMessageBox::StandardButton(answer) : QMessageBox::Ok);
            });
            QTest::keyClick(edit, Qt::Key_Return);
            if (d->isVisible())
                d->reject();
        });
        b->openSavePicDialog();
        QCOMPARE(startDir, dir);
        QVERIFY2(QRegularExpression("^vexlo-\\d{8}-\\d{6}\\.jpg$").match(proposed).hasMatch(), qPrintable(proposed));
        QCOMPARE(question.contains("shot.jpg"), answer != 0);
        QCOMPARE(failure, result.startsWith("snapshot") ? result : QString());
        QCOMPARE(saved.count(), result == "saved" ? 1 : 0);
        const QString name = typed.isEmpty() ? proposed : typed + ".jpg";
        QCOMPARE(QImageReader(dir + '/' + name).format(), QByteArray(result == "saved" ? "jpeg" : ""));
        if (result == "saved")
            QCOMPARE(saved.at(0).at(0).toString(), name);
        else
            QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{"shot.jpg"});
        QCOMPARE(fileBytes(dir + "/shot.jpg").isEmpty(), name != "shot.jpg" || result != "saved");
        const bool chosen = typed != "-" && answer != QMessageBox::No;
        QCOMPARE(b->settingsStore()->getSnapshotFolder(), chosen || folder == "pics" ? dir : QString());
    }

    // A settings file or debug log that cannot be kept (here a FIFO) is told once in the
    // window, with its path and why, without holding up the start or anything after it.
    void fileNotice()
    {
        QTranslator english;
        QVERIFY(english.load(QStringLiteral(":/lang_en_US.qm")));
        QCoreApplication::installTranslator(&english);
        for (const char *file : {"config.ini", "debugLog.txt"}) {
            make();
            backend.reset();
            const QString path = home.path() + "/Vexlo/" + file;
            QVERIFY(!QFile::exists(path) || QFile::remove(path));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            backend.reset(rig->makeBackend());
            bringUp(true);
            backend->setDebugLog(true);
            for (int i = 0; i < 3; ++i) {
                logToFile(QStringLiteral("line %1").arg(i));
                backend->setSharpnessIndex(i);
                QCoreApplication::processEvents();
            }
            const auto notices = [] {
                QList<QMessageBox *> up;
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (w->objectName() == QLatin1String("file_problem_t") && w->isVisible())
                        up << static_cast<QMessageBox *>(w);
                return up;
            };
            QTRY_COMPARE(notices().size(), 1);
            QVERIFY(!notices().first()->isModal());
            const auto subject = path.endsWith(".ini") ? FileNotice::Subject::Settings : FileNotice::Subject::Log;
            QCOMPARE(notices().first()->text(), FileNotice::problemText(subject, {FileProblem::NotRegular, path, {}}));
            QVERIFY(notices().first()->text().contains(path));
            finish();
            QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
        }
        QCoreApplication::removeTranslator(&english);
    }
};

QTEST_MAIN(TestBackendBoxes)
#include "tst_backendboxes.moc"
