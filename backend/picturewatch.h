#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

// Watches that the open camera delivers pictures. A camera that delivers no
// good frame for the first wait (5 s) is due for a quiet reopen; while none
// comes, the next reopens follow after the later waits (10 s, 20 s, then
// 30 s each). The notice is up from the first reopen until a good frame comes.
class PictureWatch : public QObject
{
    Q_OBJECT

public:
    // The waits before the first, second, ... reopen; the last repeats.
    static const std::vector<int> &waitsMs();

    // `clockMs` gives monotonic milliseconds (tests hand in their own and
    // call check() themselves).
    explicit PictureWatch(std::function<qint64()> clockMs = {}, QObject *parent = nullptr);

    // The camera was opened (by a choice or a plug-in, not by the watch):
    // the waits start again from the first.
    void opened();
    // The camera was closed: nothing is due.
    void closed();
    void goodFrame();
    bool noticeShown() const { return m_notice; }

    // Emits reopenDue when the current wait has passed; runs twice a second.
    void check();

signals:
    void reopenDue();
    void noticeChanged();

private:
    void setNotice(bool shown);

    std::function<qint64()> m_clock;
    QElapsedTimer m_elapsed;
    QTimer m_tick;
    bool m_running = false;
    qint64 m_since = 0; // the last good frame, open or reopen
    size_t m_reopens = 0;
    bool m_notice = false;
};
