#pragma once

#include <QStringList>

class QTextStream;

// vexlo-tune: tunes and stores cameras from the command line, over the same
// parameter table, settings file, tunnel and camera lock as the window.
//
// `args` without the program's name; the result on `out`, progress and
// problems on `err`. Returns the exit code: 0 done, 1 usage, 2 no such camera
// or camera busy, 3 a value refused or a write failed (with several cameras,
// the highest of theirs).
namespace Tune {
enum Exit { Done = 0, Usage = 1, NoCamera = 2, Refused = 3 };

int run(const QStringList &args, QTextStream &out, QTextStream &err);
} // namespace Tune
