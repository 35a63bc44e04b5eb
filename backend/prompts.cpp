#include "backend/prompts.h"

#include "backend/controlstatus.h"
#include "backend/promptbox.h"

#include <QApplication>
#include <QTimer>

#include <utility>

namespace {

QString syncFailedText(const QString &rows)
{
    return QCoreApplication::translate("QmlData", "sync_failed_rows") + QLatin1Char(' ') + rows;
}

void sendQuitToApplication()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(app, &quit);
    QApplication::closeAllWindows();
}

// The prompts that offer Retry and Exit.
PromptBox *retryOrExit(const char *titleId, const char *textId)
{
    auto *box = new PromptBox(titleId, textId);
    box->addButtonId(QMessageBox::Retry, QT_TRANSLATE_NOOP("QmlData", "btn-retry"));
    box->addButtonId(QMessageBox::Cancel, QT_TRANSLATE_NOOP("QmlData", "btn-exit"));
    return box;
}

} // namespace

Prompts::Prompts(ControlStatus *status, QObject *parent)
    : QObject(parent)
    , m_status(status)
    , m_quitHandler(sendQuitToApplication)
{
}

Prompts::~Prompts()
{
    for (const QPointer<QDialog> &box : qAsConst(m_open))
        delete box.data();
    for (const QPointer<QMessageBox> &box : qAsConst(m_fileNotices))
        delete box.data();
}

int Prompts::run(QDialog *box)
{
    m_open.append(QPointer<QDialog>(box));
    ++m_modalDepth;
    const int result = box->exec();
    --m_modalDepth;
    m_open.removeAll(QPointer<QDialog>(box));
    m_open.removeAll(QPointer<QDialog>());
    finishQuitIfUnwound();
    return result;
}

void Prompts::leaveModal()
{
    --m_modalDepth;
    finishQuitIfUnwound();
}

void Prompts::findDevice()
{
    if (m_quitRequested)
        return;
    PromptBox *box = retryOrExit(QT_TRANSLATE_NOOP("QmlData", "camera_not_found"),
                                 QT_TRANSLATE_NOOP("QmlData", "camera_not_found_conetent"));
    box->mayClose = [this] { return camerasListed && camerasListed(); };
    box->setProperty("findsDevice", true);
    const int result = run(box);
    delete box;
    if (m_quitRequested)
        return;
    if (result == QMessageBox::Retry)
        emit findRetried();
    else if (result == QMessageBox::Cancel)
        requestQuit();
}

// Every camera-not-found prompt may go now (a camera is listed again).
void Prompts::closeFindDevice()
{
    const QList<QPointer<QDialog>> open = m_open;
    for (const QPointer<QDialog> &box : open) {
        if (box && box->property("findsDevice").toBool() && box->isVisible())
            box->close();
    }
}

void Prompts::openFailed()
{
    if (m_quitRequested)
        return;
    PromptBox *box = retryOrExit(QT_TRANSLATE_NOOP("QmlData", "open_cam_failed_t"),
                                 QT_TRANSLATE_NOOP("QmlData", "open_cam_failed_m"));
    m_openFailedBox = box;
    box->busy = true;
    const int result = run(box);
    delete box;
    if (m_quitRequested)
        return;
    if (result == QMessageBox::Retry)
        emit openRetried(); // a fresh prompt comes when it fails again
    else if (result == QMessageBox::Cancel)
        requestQuit();
}

void Prompts::openSucceeded()
{
    if (m_openFailedBox)
        m_openFailedBox->busy = false;
}

void Prompts::sync(bool restoreDefaults)
{
    if (m_quitRequested)
        return;
    auto *box = new PromptBox(QT_TRANSLATE_NOOP("QmlData", "sync_wait"),
                              QT_TRANSLATE_NOOP("QmlData", "sync_wait_message"));
    m_syncBox = box;
    box->busy = true;
    m_syncFailure.clear();
    emit syncAsked(restoreDefaults);
    run(box);
    delete box;
    if (!m_quitRequested && !m_syncFailure.isEmpty())
        m_status->showNotice(syncFailedText(std::exchange(m_syncFailure, QString())));
}

void Prompts::syncDone(const QString &failedRows)
{
    PromptBox::finishWait(m_syncBox);
    m_syncFailure = failedRows;
    // A sync without its box (asked from the window) tells at once.
    if (!m_syncBox && !m_syncFailure.isEmpty() && m_modalDepth == 0)
        m_status->showNotice(syncFailedText(std::exchange(m_syncFailure, QString())));
}

bool Prompts::storeWithPanel()
{
    if (!panelDiffers || !panelDiffers())
        return true;
    auto *box = new PromptBox(QT_TRANSLATE_NOOP("QmlData", "store_ask_t"), QT_TRANSLATE_NOOP("QmlData", "store_ask_m"));
    box->addButtonId(QMessageBox::Yes, QT_TRANSLATE_NOOP("QmlData", "btn-sync-store"));
    box->addButtonId(QMessageBox::No, QT_TRANSLATE_NOOP("QmlData", "btn-store-as-is"));
    box->addButtonId(QMessageBox::Cancel, QT_TRANSLATE_NOOP("QmlData", "btn-cancel"));
    box->mayClose = [] { return true; };
    const int result = run(box);
    delete box;
    // Cancel, and a box closed with its window button, store nothing.
    if (m_quitRequested || (result != QMessageBox::Yes && result != QMessageBox::No))
        return false;
    if (result == QMessageBox::Yes) // sync, then store
        sync(false);
    return !m_quitRequested;
}

void Prompts::saveBeforeExit()
{
    if (m_quitRequested)
        return;
    if (!(unsavedChanges && unsavedChanges())) {
        requestQuit();
        return;
    }
    auto *box = new PromptBox(QT_TRANSLATE_NOOP("QmlData", "save_to_cam_t"),
                              QT_TRANSLATE_NOOP("QmlData", "save_to_cam_m"));
    box->addButtonId(QMessageBox::Ok, QT_TRANSLATE_NOOP("QmlData", "btn-save"));
    box->addButtonId(QMessageBox::Cancel, QT_TRANSLATE_NOOP("QmlData", "btn-save-exit"));
    box->mayClose = [] { return true; };
    const int result = run(box);
    delete box;
    if (m_quitRequested)
        return;
    if (result == QMessageBox::Ok) {
        if (storeWithPanel())
            saveWait();
    } else if (result == QMessageBox::Cancel) {
        requestQuit();
    }
    // Closed with the window button: the program keeps running.
}

void Prompts::saveWait()
{
    auto *box = new PromptBox(QT_TRANSLATE_NOOP("QmlData", "sync_wait"),
                              QT_TRANSLATE_NOOP("QmlData", "sync_wait_message"));
    m_saveWaitBox = box;
    box->busy = true;
    m_exitStoreFailure.clear();
    emit exitStoreAsked();
    run(box);
    delete box;
    if (m_quitRequested)
        return;
    if (m_exitStoreFailure.isEmpty()) {
        requestQuit();
        return;
    }
    // Nothing was stored: the program keeps running, with the changes unstored.
    PromptBox *failed = retryOrExit(QT_TRANSLATE_NOOP("QmlData", "store_failed_t"),
                                    QT_TRANSLATE_NOOP("QmlData", "store_failed_m"));
    failed->mayClose = [] { return true; };
    failed->setInformativeText(m_exitStoreFailure);
    const int result = run(failed);
    delete failed;
    if (m_quitRequested)
        return;
    if (result == QMessageBox::Retry)
        saveWait();
    else if (result == QMessageBox::Cancel)
        requestQuit();
}

void Prompts::exitStoreDone(const QString &failure)
{
    PromptBox::finishWait(m_saveWaitBox);
    m_exitStoreFailure = failure;
}

void Prompts::fileNotice(const char *titleId, const QString &text)
{
    QMessageBox *box = FileNotice::makeBox(titleId, text);
    run(box);
    delete box;
}

void Prompts::fileProblem(FileNotice::Subject subject, const FileProblem &problem)
{
    // Told once the event loop runs, in the window's language, never blocking the start.
    QMetaObject::invokeMethod(this, [this, subject, problem] {
        const QString text = FileNotice::problemText(subject, problem);
        auto *box = FileNotice::makeBox(QT_TRANSLATE_NOOP("QmlData", "file_problem_t"), text);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        m_fileNotices.append(box);
        box->show();
    }, Qt::QueuedConnection);
}

void Prompts::setQuitHandler(std::function<void()> handler)
{
    m_quitHandler = handler ? std::move(handler) : std::function<void()>(sendQuitToApplication);
}

// The application deletes the backend when it handles the quit. That must not
// happen while one of the backend's prompts (or the slot that opened it) is
// still on the stack, so every open prompt is ended here and the quit itself
// is posted once the last of them has returned.
void Prompts::requestQuit()
{
    if (m_quitRequested)
        return;
    m_quitRequested = true;
    emit quitting();
    const QList<QPointer<QDialog>> open = m_open;
    for (const QPointer<QDialog> &box : open) {
        if (box)
            box->done(0);
    }
    if (m_modalDepth > 0)
        QApplication::closeAllWindows(); // any other dialog opened from a backend slot
    finishQuitIfUnwound();
}

void Prompts::finishQuitIfUnwound()
{
    if (!m_quitRequested || m_quitPosted || m_modalDepth > 0)
        return;
    m_quitPosted = true;
    std::function<void()> handler = m_quitHandler;
    QTimer::singleShot(0, QCoreApplication::instance(), [handler] { handler(); });
}
