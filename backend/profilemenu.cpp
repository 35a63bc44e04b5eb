#include "backend/profilemenu.h"

#include "backend/controlstatus.h"
#include "backend/qmldata.h"
#include "camera/cameralink.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#ifndef VEXLO_VERSION
#define VEXLO_VERSION "" // the build names it
#endif

namespace {

const int RecentCount = 5;

QString rowName(int id)
{
    QString name = QCoreApplication::translate("main", Params::row(id).title);
    if (Params::row(id).kind == Params::Kind::MceSlider)
        name += QStringLiteral(" ") + QLatin1Char("RGB"[id - Params::MceR]);
    return name;
}

QString valueLabel(int id, int stored)
{
    if (Params::isSwitch(id))
        return QCoreApplication::translate("ProfileMenu", stored ? QT_TRANSLATE_NOOP("ProfileMenu", "switch_on")
                                                                 : QT_TRANSLATE_NOOP("ProfileMenu", "switch_off"));
    return QCoreApplication::translate("main", Params::label(id, Params::indexOf(id, stored)).toUtf8().constData());
}

const char *const Filter = QT_TRANSLATE_NOOP("ProfileMenu", "profile_files");

} // namespace

ProfileMenu::ProfileMenu(QmlData *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_recent(window->settingsStore()->getRecentProfiles())
    , m_tell([](const QString &title, const QString &text) {
        QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    })
{
}

QList<QStringList> ProfileMenu::differences(const Profile &current, const Profile &profile)
{
    QList<QStringList> rows;
    for (int id = 0; id < Params::Count; ++id) {
        const int a = current.values[size_t(id)];
        const int b = profile.values[size_t(id)];
        if (a != b)
            rows.append({rowName(id), valueLabel(id, a), valueLabel(id, b)});
    }
    return rows;
}

void ProfileMenu::remember(const QString &path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    m_recent.removeAll(full);
    m_recent.prepend(full);
    while (m_recent.size() > RecentCount)
        m_recent.removeLast();
    m_window->settingsStore()->setRecentProfiles(m_recent);
    emit recentChanged();
}

bool ProfileMenu::save(const QString &given)
{
    SettingsStore &settings = *m_window->settingsStore();
    Profile profile = Profile::fromSettings(settings);
    const QDateTime now = QDateTime::currentDateTime();
    profile.camera = m_window->cameraNames().value(m_window->cameraIndex());
    QString path = given;
    if (path.isEmpty()) {
        const QString proposed = QDir(m_recent.isEmpty() ? QDir::homePath() : QFileInfo(m_recent[0]).path())
                                     .filePath(QStringLiteral("vexlo-%1.profile").arg(now.toString(QStringLiteral("yyyyMMdd-hhmmss"))));
        // The suffix belongs to the name before the dialog asks whether to replace a file.
        QFileDialog dialog(QApplication::activeWindow(), tr("save_profile_title"), proposed, tr(Filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("profile"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        path = dialog.selectedFiles().constFirst();
    }
    profile.name = QFileInfo(path).completeBaseName();
    profile.date = now.toString(Qt::ISODate);
    profile.version = QStringLiteral(VEXLO_VERSION);
    QString error;
    if (!writeProfile(path, profile, &error)) {
        m_tell(tr("profile_not_saved"), error);
        return false;
    }
    remember(path);
    m_window->controlStatus()->showNotice(tr("profile_saved") + QLatin1Char(' ') + QFileInfo(path).fileName());
    return true;
}

ProfileCheck ProfileMenu::open(const QString &given, const QString &title, Profile *profile)
{
    QString path = given;
    if (path.isEmpty())
        path = QFileDialog::getOpenFileName(QApplication::activeWindow(), title,
                                            m_recent.isEmpty() ? QDir::homePath() : QFileInfo(m_recent[0]).path(),
                                            tr(Filter));
    if (path.isEmpty())
        return ProfileCheck();
    const ProfileCheck check = readProfile(path, profile);
    if (check.ok)
        remember(path);
    else
        m_tell(tr("profile_not_loaded"), check.message);
    return check;
}

bool ProfileMenu::load(const QString &given)
{
    Profile profile;
    const ProfileCheck check = open(given, tr("load_profile_title"), &profile);
    if (!check.ok)
        return false;
    profile.applyTo(*m_window->settingsStore());
    // The window shows the values; restoring them is no turn of the picture.
    const int rotation = m_window->cameraLink()->rotation();
    m_window->reloadFromSettings();
    m_window->cameraLink()->setRotation(rotation);
    if (!check.unknown.isEmpty())
        m_window->controlStatus()->showNotice(tr("profile_keys_ignored") + QLatin1Char(' ') + check.unknown.join(QStringLiteral(", ")));
    m_window->showSyncBox();
    return true;
}

bool ProfileMenu::compare(const QString &given)
{
    Profile profile;
    if (!open(given, tr("compare_profile_title"), &profile).ok)
        return false;
    const QList<QStringList> rows = differences(Profile::fromSettings(*m_window->settingsStore()), profile);
    QString text;
    if (rows.isEmpty()) {
        text = tr("profile_no_differences");
    } else {
        text = QStringLiteral("<table cellspacing=\"6\"><tr><th></th><th>%1</th><th>%2</th></tr>")
                   .arg(tr("profile_current"), tr("profile_in_file") + QLatin1Char(' ') + profile.name.toHtmlEscaped());
        for (const QStringList &row : rows) {
            text += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>")
                        .arg(row[0].toHtmlEscaped(), row[1].toHtmlEscaped(), row[2].toHtmlEscaped());
        }
        text += QStringLiteral("</table>");
    }
    m_tell(tr("compare_profile_title"), text);
    return true;
}
