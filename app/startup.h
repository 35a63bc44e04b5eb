#pragma once

#include <QUrl>

// The whole program: start-up, event loop, quit path. `root` is the QML root
// document ("qrc:/main.qml" for the program). Returns the event loop's result.
int runTuner(int &argc, char **argv, const QUrl &root = QUrl(QStringLiteral("qrc:/main.qml")));
