#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

struct ControlOutcome;

// What the window shows about the camera's controls, as the QML context
// property "camstatus": the rows whose last value did not reach the camera
// (by the name of their "qmldata" property, with the reason), whether the
// camera is not answering, and a short notice that goes away by itself.
class ControlStatus : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap failures READ failures NOTIFY failuresChanged FINAL)
    Q_PROPERTY(bool notAnswering READ notAnswering NOTIFY notAnsweringChanged FINAL)
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged FINAL)

public:
    explicit ControlStatus(QObject *parent = nullptr);

    QVariantMap failures() const { return m_failures; }
    // Marks a row with its reason, or clears it with an empty reason.
    void setFailure(const QString &row, const QString &reason);
    bool notAnswering() const { return m_notAnswering; }
    void setNotAnswering(bool on);
    QString notice() const { return m_notice; }
    // Shows `text` for a few seconds.
    void showNotice(const QString &text);

    // The results of the camera-control worker: every failed or slow call
    // goes to the log; a write marks its row, or clears it; a sync or restore
    // marks every row whose value it could not send (a failed selector write
    // lost them all) and clears the others, and gives the names of the
    // controls that failed (empty: none).
    static void logCalls(const ControlOutcome &outcome);
    void tellWrite(const ControlOutcome &outcome);
    QString tellSync(const ControlOutcome &outcome);
    // "<failed> <reason>" of a failed outcome; empty otherwise.
    static QString failureText(const ControlOutcome &outcome);

signals:
    void failuresChanged();
    void notAnsweringChanged();
    void noticeChanged();

private:
    QVariantMap m_failures;
    bool m_notAnswering = false;
    QString m_notice;
    QTimer m_noticeTimer;
};
