#pragma once

#include "backend/filenotice.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class ControlStatus;
class PromptBox;
class QDialog;
class QMessageBox;

// The backend's prompts and the way out of the program.
//
// Each prompt runs modally and says what the user chose through a signal; the
// camera side and the tuning model never see a box. A quit asked for while
// prompts are open ends them all and is carried out once the last has
// returned (the application deletes the backend when it handles the quit).
class Prompts : public QObject
{
    Q_OBJECT

public:
    explicit Prompts(ControlStatus *status, QObject *parent = nullptr);
    ~Prompts() override;

    // What the prompts ask of the rest of the backend.
    std::function<bool()> camerasListed;  // a camera-not-found prompt may close
    std::function<bool()> panelDiffers;   // the open camera does not run the panel's values
    std::function<bool()> unsavedChanges; // changes made since the last store

    bool quitRequested() const { return m_quitRequested; }
    // What ends the program once every prompt has returned; by default a quit
    // event to the application.
    void setQuitHandler(std::function<void()> handler);
    void requestQuit();

    // Marks a wait of the backend's own (a file dialog, a snapshot) during
    // which a quit must wait as for a prompt.
    void enterModal() { ++m_modalDepth; }
    void leaveModal();
    int modalDepth() const { return m_modalDepth; }

    // The camera-not-found prompt (Retry, Exit); cameras came: it closes.
    void findDevice();
    void closeFindDevice();
    // The camera could not be opened (Retry, Exit); it opened after all.
    void openFailed();
    void openSucceeded();
    // The sync box while a sync (or restore of defaults) runs, and its end
    // with the rows it could not send.
    void sync(bool restoreDefaults);
    void syncDone(const QString &failedRows);
    // Before a store: asks, while the camera does not run the panel's values,
    // whether to sync first. False: no store.
    bool storeWithPanel();
    // The exit prompt: store to camera, exit, or keep working; and the end of
    // the store before exit (an empty reason: stored).
    void saveBeforeExit();
    void exitStoreDone(const QString &failure);

    // A modal notice about a file; a notice that stays up without blocking.
    void fileNotice(const char *titleId, const QString &text);
    void fileProblem(FileNotice::Subject subject, const FileProblem &problem);

signals:
    void findRetried();
    void openRetried();
    void syncAsked(bool restoreDefaults);
    void exitStoreAsked();
    // The quit has begun: waits of the backend end now.
    void quitting();

private:
    int run(QDialog *box);
    void finishQuitIfUnwound();
    void saveWait();

    ControlStatus *m_status;
    std::function<void()> m_quitHandler;
    QList<QPointer<QDialog>> m_open;
    QList<QPointer<QMessageBox>> m_fileNotices;
    int m_modalDepth = 0;
    bool m_quitRequested = false;
    bool m_quitPosted = false;
    QPointer<PromptBox> m_syncBox;
    QPointer<PromptBox> m_saveWaitBox;
    QPointer<PromptBox> m_openFailedBox;
    // The rows a sync could not send, said once its box is gone, and the
    // reason a store before exit failed (empty: stored).
    QString m_syncFailure;
    QString m_exitStoreFailure;
};
