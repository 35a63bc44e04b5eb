#include "app/appdata.h"

#include "app/myapplication.h"
#include "settings/settingsstore.h"

AppData::AppData(QObject *parent)
    : QObject(parent)
{
}

AppData::~AppData()
{
    app = nullptr;
}

void AppData::updateLangage(QString langage)
{
    if (!app || !app->settingsStore())
        return;
    app->settingsStore()->setLanguage(langage);
    app->loadLanguage();
}
