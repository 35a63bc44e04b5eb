#include "app/forcedexit.h"

#include <QCoreApplication>
#include <QString>

#include <windows.h>

// Windows: kill the own process tree with TASKKILL, without a console window.
void platformTerminateOwnProcess()
{
    const QString cmd = QStringLiteral("TASKKILL /PID %1 /T /F").arg(QCoreApplication::applicationPid());
    WinExec(cmd.toLocal8Bit().constData(), SW_HIDE);
}
