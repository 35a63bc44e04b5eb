#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

// Watches that the open camera delivers pictures. A camera that delivers no
// good frame for the first wait (5 s) is due for a quiet reopen; while none
// comes, the next reopens follow after the later waits (10 s, 20 s, then
// 30 s each). The notice is up from the first reopen until a good frame comes.
class PictureWatch : public QObject
{
    Q_OBJECT

public:
    // `waitsMs`: the waits before the first, second, ... reopen; the last
    // repeats. Tests hand in short ones.
    explicit PictureWatch(std::vector<int> waitsMs = {5000, 10000, 20000, 30000}, QObject *parent = nullptr);

    // The camera was opened (by a choice or a plug-in, not by the watch):
    // the waits start again from the first.
    void opened();
    // The camera was closed: nothing is due.
    void closed();
    void goodFrame();
    bool noticeShown() const { return m_notice; }

signals:
    void reopenDue();
    void noticeChanged();

private:
    void check();
    void setNotice(bool shown);

    const std::vector<int> m_waits;
    QTimer m_tick;
    QElapsedTimer m_since; // the last good frame, open or reopen
    size_t m_reopens = 0;
    bool m_notice = false;
};
