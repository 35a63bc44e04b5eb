#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QPair>
#include <QVector>

#include <functional>

// The backend's message boxes.
//
// Each box decides on its own when a close request (window button, close()) may
// end it. Escape and Enter never end a box: a key on the box would otherwise
// press its escape button, which is "Exit" in the prompts. A box without
// buttons stays without buttons (QMessageBox would add an OK button when shown),
// and every box keeps its fixed size. The program itself ends a box with
// done(), which needs no permission.
//
// The texts of a box are kept as their translation ids (context "QmlData") and
// set again after every language change: Qt's own handling of that event puts
// its default texts back on the standard buttons ("Retry", "Cancel"). The box
// keeps its usual size of 380 x 100 unless its texts need more room.
class PromptBox : public QMessageBox
{
public:
    PromptBox(const char *titleId, const char *textId);

    void addButtonId(StandardButton which, const char *textId);
    // Ends a wait box that is up (the camera has answered) and forgets it.
    static void finishWait(QPointer<PromptBox> &box);

    // While set, a close request is refused (the box waits for the camera).
    bool busy = false;
    // When given, it alone says whether a close request may end the box.
    std::function<bool()> mayClose;

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void applyTexts();

    const char *titleId;
    const char *textId;
    QVector<QPair<StandardButton, const char *>> buttonIds;
};
