#include "cli/tune.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexlo-tune"));
    // The layers' notes are for the window's debug log; the command reports
    // its own problems (a control that reaches nothing shows in `show`).
    QLoggingCategory::setFilterRules(QStringLiteral("vexlo.*.debug=false\nvexlo.*.info=false\n"
                                                    "vexlo.camera.warning=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return Tune::run(app.arguments().mid(1), out, err);
}
