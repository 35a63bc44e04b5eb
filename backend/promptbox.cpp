#include "backend/promptbox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLayout>
#include <QPushButton>

namespace {
QString translated(const char *id)
{
    return QCoreApplication::translate("QmlData", id);
}
} // namespace

PromptBox::PromptBox(const char *title, const char *text)
    : QMessageBox(nullptr)
    , titleId(title)
    , textId(text)
{
    setIconPixmap(QMessageBox::standardIcon(QMessageBox::Warning));
    applyTexts();
}

void PromptBox::addButtonId(StandardButton which, const char *text)
{
    QMessageBox::addButton(which);
    buttonIds.append({which, text});
    applyTexts();
}

void PromptBox::applyTexts()
{
    setWindowTitle(translated(titleId));
    setText(translated(textId));
    for (const auto &b : qAsConst(buttonIds))
        button(b.first)->setText(translated(b.second));
    if (QLayout *l = layout()) {
        l->invalidate();
        setFixedSize(l->totalSizeHint().expandedTo(l->totalMinimumSize()).expandedTo(QSize(380, 100)));
    }
}

bool PromptBox::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::Close:
        if (mayClose ? mayClose() : !busy)
            return false; // accepted: the box hides and its exec() returns 0
        e->ignore();
        return true;
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::LayoutRequest: // QMessageBox would resize itself to its text
        e->ignore();
        return true;
    case QEvent::LanguageChange: {
        const bool done = QMessageBox::event(e);
        applyTexts();
        return done;
    }
    default:
        return QMessageBox::event(e);
    }
}

void PromptBox::showEvent(QShowEvent *e)
{
    // Skips QMessageBox's own show handling, which adds the automatic OK
    // button to a box without buttons.
    QDialog::showEvent(e);
}

void PromptBox::finishWait(QPointer<PromptBox> &box)
{
    if (box && box->isVisible()) {
        box->busy = false;
        box->close();
        box = nullptr;
    }
}
