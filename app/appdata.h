#pragma once

#include <QObject>

class MyApplication;

// The small object that QML reaches as "myapp": the language switch.
class AppData : public QObject
{
    Q_OBJECT
public:
    explicit AppData(QObject *parent = nullptr);
    ~AppData() override;

    MyApplication *app = nullptr;

signals:
    void versionChanged();

public slots:
    void updateLangage(QString langage);
};
