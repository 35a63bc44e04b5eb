#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class MyApplication;
class SettingsStore;
struct QmlDataPrivate;

// The backend: the one object that the QML layer sees as "qmldata".
class QmlData : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
    Q_PROPERTY(bool ui_ready MEMBER ui_ready WRITE setUiReady FINAL)

public:
    explicit QmlData(QObject *parent = nullptr);
    ~QmlData() override;

    void setApplication(MyApplication *app);
    SettingsStore *settingsStore() const;
    void setUiReady(bool ready);

    void initCameraParams();
    bool startCaptureTimer();

    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

signals:
    void usbDevsChanged();

public slots:
    int getCamDevs();
    void openFindDeviceDialog();
    void applyTranslate();

private:
    // Stops and joins every thread the backend started; runs before anything
    // those threads use is destroyed.
    void stopThreads();

    QmlDataPrivate *pv = nullptr;
    bool ui_ready = false;
};
