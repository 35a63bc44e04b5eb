#pragma once

#include <QApplication>

class QQmlApplicationEngine;
class QTranslator;
class QmlData;
class SettingsStore;

// The application object: owns the QML engine and the one translator, knows the
// backend, and runs the quit path (the backend is destroyed on the first quit
// event, then the process is made to end for sure).
class MyApplication : public QApplication
{
public:
    MyApplication(int &argc, char **argv);
    ~MyApplication() override;

    void setQmlData(QmlData *backend);
    QmlData *qmlData() const { return backend; }
    QQmlApplicationEngine *qmlEngine() const { return engine; }
    SettingsStore *settingsStore() const { return settings; }

    // Picks the language (stored choice, else the system locale), loads its
    // translation and retranslates the QML already loaded.
    void loadLanguage();
    static bool isChineseSystemLocale();

    bool notify(QObject *receiver, QEvent *event) override;

private:
    QmlData *backend = nullptr;
    QTranslator *translator = nullptr;
    QQmlApplicationEngine *engine = nullptr;
    SettingsStore *settings = nullptr;
    bool terminationArmed = false;
};
