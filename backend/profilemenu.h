#pragma once

#include "settings/profile.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QmlData;

// The File menu's tuning profiles, as the QML context property "profiles":
// save the current tuning, load a profile (checked first; a valid one becomes
// the current settings, the window shows it and the sync sends it behind its
// wait box), compare the current tuning with one, and the profiles used last.
class ProfileMenu : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList recent READ recent NOTIFY recentChanged FINAL)

public:
    explicit ProfileMenu(QmlData *window, QObject *parent = nullptr);

    QStringList recent() const { return m_recent; }

    // Without a path each asks for one with a file dialog (nothing happens
    // when it is cancelled). The outcome goes to the window: a message box
    // for what went wrong and for a comparison, a notice for the rest.
    Q_INVOKABLE bool save(const QString &path = QString());
    Q_INVOKABLE bool load(const QString &path = QString());
    Q_INVOKABLE bool compare(const QString &path = QString());

    // The rows whose values differ: the row's name, the current value and the
    // profile's, as the window labels them.
    static QList<QStringList> differences(const Profile &current, const Profile &profile);

    // Shows a message box: `title`, `text` (rich text for a comparison);
    // tests take the place of the box.
    using Tell = std::function<void(const QString &title, const QString &text)>;
    void setTell(Tell tell) { m_tell = std::move(tell); }

signals:
    void recentChanged();

private:
    void remember(const QString &path);
    // The profile at `given`, or one the user picks in a dialog titled `title`,
    // read and checked whole; a fault is told. Not ok when the dialog was cancelled.
    ProfileCheck open(const QString &given, const QString &title, Profile *profile);

    QmlData *m_window;
    QStringList m_recent;
    Tell m_tell;
};
