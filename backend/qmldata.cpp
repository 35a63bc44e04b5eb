#include "backend/qmldata.h"

#include "app/myapplication.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>

struct QmlDataPrivate
{
    SettingsStore settings;
    MyApplication *application = nullptr;
    int mDevs = 0;
};

QmlData::QmlData(QObject *parent)
    : QObject(parent)
    , pv(new QmlDataPrivate)
{
}

QmlData::~QmlData()
{
    stopThreads();
    delete pv;
    pv = nullptr;
}

void QmlData::stopThreads()
{
}

void QmlData::setApplication(MyApplication *app)
{
    pv->application = app;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

SettingsStore *QmlData::settingsStore() const
{
    return &pv->settings;
}

void QmlData::setUiReady(bool ready)
{
    ui_ready = ready;
}

void QmlData::initCameraParams()
{
}

bool QmlData::startCaptureTimer()
{
    return false;
}

bool QmlData::nativeEventFilter(const QByteArray &, void *, long *)
{
    return false;
}

int QmlData::getCamDevs()
{
    return pv->mDevs;
}

void QmlData::openFindDeviceDialog()
{
}

void QmlData::applyTranslate()
{
}
