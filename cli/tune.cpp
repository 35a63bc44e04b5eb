#include "cli/tune.h"

#include "camera/cameralink.h"
#include "camera/controlcapture.h"
#include "settings/profile.h"
#include "settings/settingsstore.h"
#include "tunnel/cameracontrol.h"
#include "tunnel/paramtunnel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <climits>
#include <mutex>
#include <thread>

namespace Tune {

namespace {

enum class Op { List, Show, Set, Apply, Sync, Store, Snapshot };

struct Command
{
    Op op;
    const char *name;
    const char *args;
    int minArgs, maxArgs;
    const char *summary;
    const char *help;
};
const Command Commands[] = {
    {Op::List, "list", "", 0, 0, "the cameras",
     "Lists the cameras: position, device node, name, USB path and serial (where the camera has one)."},
    {Op::Show, "show", "", 0, 0, "the stored values and the camera's debug values",
     "Shows the stored tuning values with their labels, and the camera's eight debug values."},
    {Op::Set, "set", "KEY=VALUE...", 1, INT_MAX, "stores values and sends them",
     "Stores the values and sends each to the camera. KEY is a tuning key as config.ini spells it\n"
     "(bright_mode, exposure_time...); VALUE its value as config.ini spells it, or as the window\n"
     "labels it (\"F2.4\", \"ISO 100\"). Nothing is stored when any value is refused."},
    {Op::Apply, "apply", "PROFILE", 1, 1, "stores a tuning profile's values and sends them all",
     "Checks a tuning profile, stores its values and sends them all (as the window's sync);\n"
     "with --store the camera then keeps them. A profile with a fault changes nothing."},
    {Op::Sync, "sync", "", 0, 0, "sends every stored value", "Sends every stored value to the camera."},
    {Op::Store, "store", "", 0, 0, "makes the camera keep its values", "Makes the camera keep the values it has over a power cycle."},
    {Op::Snapshot, "snapshot", "FILE", 1, 1, "saves a picture",
     "Saves a picture from the camera (the format from FILE's suffix); with --all one file per\n"
     "camera, FILE with \"-<position>\" before its suffix. Needs a camera no other program streams."},
};

const char *const Options = "Options:\n"
                            "  --camera N   the camera at position N of `list`, or the one with that device node\n"
                            "               or USB path (default: 0)\n"
                            "  --all        every camera, served in parallel\n"
                            "  --json       machine-readable output\n"
                            "  --store      after apply: make the cameras keep the values\n"
                            "  --wait S     seconds to wait for a camera that another program (the window)\n"
                            "               is tuning before giving up as busy (default 10)\n"
                            "  -h, --help   this text; COMMAND --help: that command's\n"
                            "\n"
                            "Exit status: 0 done, 1 usage, 2 no such camera or camera busy,\n"
                            "3 a value refused or a write failed.\n";

struct Request
{
    const Command *command = nullptr;
    QStringList args;
    QString camera;
    bool all = false;
    bool json = false;
    bool store = false;
    bool help = false;
    int waitMs = 10000;
};

struct Camera
{
    int position = 0;
    CamDevice device;
    QString serial;
    QString node() const { return QStringLiteral("/dev/video") + QString::number(device.id); }
};

// What became of one camera.
struct Outcome
{
    int code = Done;
    QString message;
    double seconds = 0;
    QString debugText;
};

// Where the camera has one: the USB device's serial, from sysfs.
QString serialOf(const CamDevice &d)
{
    QFile f(QStringLiteral("/sys/class/video4linux/video%1/device/../serial").arg(d.id));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll()).trimmed();
}

QString usage(const Command *c)
{
    if (!c)
        return QStringLiteral("Usage: vexlo-tune [--camera N | --all] [--json] [--wait S] COMMAND [ARGS]\n");
    return QStringLiteral("Usage: vexlo-tune [--camera N | --all] [--json] [--wait S]%1 %2 %3\n")
        .arg(c->op == Op::Apply ? QStringLiteral(" [--store]") : QString(), QLatin1String(c->name),
             QLatin1String(c->args));
}

QString helpText(const Command *c)
{
    QString text = usage(c);
    if (c) {
        text += QLatin1Char('\n') + QLatin1String(c->help) + QStringLiteral("\n\n");
        for (int id = 0; c->op == Op::Set && id < Params::Count; ++id) // the keys, with their first and last value
            text += QStringLiteral("%1  %2 %3 ... %4\n")
                        .arg(id ? "" : "Keys:\n").arg(QLatin1String(Params::row(id).key), -18)
                        .arg(Params::isSwitch(id) ? QStringLiteral("false") : Params::label(id, 0),
                             Params::isSwitch(id) ? QStringLiteral("true") : Params::label(id, Params::count(id) - 1));
        return text + (c->op == Op::Set ? QStringLiteral("\n") : QString()) + QLatin1String(Options);
    }
    text += QStringLiteral("Tunes Vexlo cameras and makes them keep their tuning, beside the window or instead of it.\n"
                           "\nCommands:\n");
    for (const Command &cmd : Commands)
        text += QStringLiteral("  %1 %2 %3\n")
                    .arg(QLatin1String(cmd.name), -9)
                    .arg(QLatin1String(cmd.args), -13)
                    .arg(QLatin1String(cmd.summary));
    return text + QLatin1Char('\n') + QLatin1String(Options);
}

// Parses the arguments; an empty string, or what is wrong.
QString parse(const QStringList &args, Request *r)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const auto next = [&](QString *value) {
            if (i + 1 >= args.size())
                return false;
            *value = args[++i];
            return true;
        };
        QString value;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            r->help = true;
        } else if (a == QLatin1String("--all")) {
            r->all = true;
        } else if (a == QLatin1String("--json")) {
            r->json = true;
        } else if (a == QLatin1String("--store")) {
            r->store = true;
        } else if (a == QLatin1String("--camera")) {
            if (!next(&r->camera))
                return QStringLiteral("--camera needs a position, device node or USB path");
        } else if (a == QLatin1String("--wait")) {
            bool ok = false;
            const double s = next(&value) ? value.toDouble(&ok) : 0;
            if (!ok || s < 0 || s > 3600)
                return QStringLiteral("--wait needs a number of seconds");
            r->waitMs = int(s * 1000);
        } else if (a.startsWith(QLatin1String("-")) && a.size() > 1) {
            return QStringLiteral("unknown option %1").arg(a);
        } else if (!r->command) {
            for (const Command &c : Commands) {
                if (a == QLatin1String(c.name))
                    r->command = &c;
            }
            if (!r->command)
                return QStringLiteral("unknown command %1").arg(a);
        } else {
            r->args << a;
        }
    }
    if (r->help)
        return QString();
    if (!r->command)
        return QStringLiteral("no command given");
    if (r->all && !r->camera.isEmpty())
        return QStringLiteral("--camera and --all exclude each other");
    if (r->store && r->command->op != Op::Apply)
        return QStringLiteral("--store goes with apply only");
    if (r->args.size() < r->command->minArgs || r->args.size() > r->command->maxArgs)
        return QStringLiteral("%1 takes %2").arg(QLatin1String(r->command->name),
                                                 *r->command->args ? QLatin1String(r->command->args)
                                                                   : QLatin1String("no arguments"));
    return QString();
}

QString snapshotPath(const QString &file, int position, bool several)
{
    if (!several)
        return file;
    const QFileInfo info(file);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return file.left(file.size() - suffix.size()) + QLatin1Char('-') + QString::number(position) + suffix;
}

Outcome snapshot(const Camera &camera, const QString &path)
{
    Outcome o;
    ParamTunnel tunnel;
    CameraLink link;
    link.enumerateDevices();
    if (!link.camOpen(camera.device.id, tunnel.previewSettings(0))) {
        o.code = NoCamera;
        o.message = QStringLiteral("cannot open %1 (gone, or another program streams it)").arg(camera.node());
        return o;
    }
    // The first frames of a fresh stream may be empty or cut short.
    QImage image;
    QElapsedTimer waited;
    waited.start();
    for (FrameVerdict verdict = FrameVerdict::ReadFailed; waited.elapsed() < 10000;) {
        image = link.grabFrame(&verdict);
        if (verdict == FrameVerdict::Good)
            break;
        image = QImage();
    }
    link.camClose();
    if (image.isNull()) {
        o.code = Refused;
        o.message = QStringLiteral("no picture from %1").arg(camera.node());
    } else if (!image.save(path, nullptr, 95)) {
        o.code = Refused;
        o.message = QStringLiteral("%1: could not be written").arg(path);
    }
    return o;
}

// One camera's part of the command, on a thread of its own when there are several.
Outcome serve(const Camera &camera, const Request &r, const std::vector<std::pair<int, int>> &values,
              SettingsStore &settings, bool several)
{
    QElapsedTimer timer;
    timer.start();
    const Op op = r.command->op;
    if (op == Op::Snapshot) {
        Outcome o = snapshot(camera, snapshotPath(r.args[0], camera.position, several));
        o.seconds = double(timer.elapsed()) / 1000;
        return o;
    }
    Outcome o;
    CameraLink link(makeControlCapture(), nullptr, CameraLink::Routes::Always);
    link.enumerateDevices(); // for the camera's lock, by its USB path
    if (!link.camOpen(camera.device.id, {})) {
        o.code = NoCamera;
        o.message = QStringLiteral("cannot open %1").arg(camera.node());
        return o;
    }
    {
        // The whole command is one transaction on the camera: no other
        // program's lands in its middle.
        CaptureSession hold(link, std::chrono::milliseconds(r.waitMs));
        if (!hold.isValid()) {
            o.code = NoCamera;
            o.message = QStringLiteral("camera busy: another program is tuning it");
            return o;
        }
        ParamTunnel tunnel;
        ControlOutcome sent;
        ControlRecorder recorder;
        tunnel.loadFlags(settings);
        switch (op) {
        case Op::Show:
            o.debugText = tunnel.readDebugInfo(link);
            break;
        case Op::Set:
            for (const auto &v : values)
                tunnel.write(Params::Id(v.first), writeArgumentOf(v.first, v.second), link, settings,
                             ParamTunnel::Part::SendOnly);
            break;
        case Op::Apply:
        case Op::Sync:
            tunnel.primeAll(link, settings);
            tunnel.syncAll(link, settings);
            if (r.store)
                tunnel.storeToCamera(link);
            break;
        case Op::Store:
            tunnel.storeToCamera(link);
            break;
        case Op::List:
        case Op::Snapshot:
            break;
        }
        sent.calls = recorder.calls();
        if (sent.failed()) {
            o.code = Refused;
            o.message = sent.reason();
        }
    }
    link.camClose();
    o.seconds = double(timer.elapsed()) / 1000;
    return o;
}

QJsonObject cameraJson(const Camera &c)
{
    return {{QStringLiteral("position"), c.position},
            {QStringLiteral("node"), c.node()},
            {QStringLiteral("name"), c.device.name},
            {QStringLiteral("usbPath"), c.device.path},
            {QStringLiteral("serial"), c.serial.isEmpty() ? QJsonValue() : QJsonValue(c.serial)}};
}

QString cameraLine(const Camera &c)
{
    return QStringLiteral("%1  %2  %3  %4  %5")
        .arg(c.position)
        .arg(c.node(), c.device.name, c.device.path, c.serial.isEmpty() ? QStringLiteral("-") : c.serial);
}

// The debug text's "name: value" lines as pairs.
QJsonObject debugJson(const QString &text)
{
    QJsonObject debug;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0)
            debug.insert(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
    }
    return debug;
}

// The stored values (same for every camera: one settings file).
QJsonObject valuesJson(SettingsStore &settings)
{
    QJsonObject values;
    for (int id = 0; id < Params::Count; ++id) {
        const int v = settings.get(Params::Id(id));
        values.insert(QLatin1String(Params::row(id).key),
                      QJsonObject{{QStringLiteral("value"), Params::isSwitch(id) ? QJsonValue(v != 0) : QJsonValue(v)},
                                  {QStringLiteral("label"), Params::label(id, Params::indexOf(id, v))}});
    }
    return values;
}

QString valuesText(SettingsStore &settings)
{
    QString text;
    for (int id = 0; id < Params::Count; ++id) {
        const int v = settings.get(Params::Id(id));
        const QString value = paramValueText(id, v);
        const QString label = Params::isSwitch(id) ? QString() : Params::label(id, Params::indexOf(id, v));
        text += QStringLiteral("  %1 %2 %3\n")
                    .arg(QLatin1String(Params::row(id).key), -18)
                    .arg(value, -6)
                    .arg(label == value ? QString() : label);
    }
    return text;
}

} // namespace

int run(const QStringList &args, QTextStream &out, QTextStream &err)
{
    Request r;
    const QString wrong = parse(args, &r);
    if (!wrong.isEmpty()) {
        err << "vexlo-tune: " << wrong << "\n" << usage(r.command) << "Try 'vexlo-tune --help'.\n";
        return Usage;
    }
    if (r.help) {
        out << helpText(r.command);
        return Done;
    }

    std::vector<Camera> cameras;
    {
        CameraLink lister(makeControlCapture());
        lister.enumerateDevices();
        for (const CamDevice &d : lister.devices())
            cameras.push_back({int(cameras.size()), d, serialOf(d)});
    }
    if (r.command->op == Op::List) {
        QJsonArray list;
        for (const Camera &c : cameras) {
            list.append(cameraJson(c));
            if (!r.json)
                out << cameraLine(c) << "\n";
        }
        if (r.json)
            out << QJsonDocument(QJsonObject{{QStringLiteral("cameras"), list}}).toJson();
        return Done;
    }

    std::vector<Camera> targets;
    for (const Camera &c : cameras) {
        const QString &want = r.camera.isEmpty() ? QStringLiteral("0") : r.camera;
        if (r.all || want == QString::number(c.position) || want == c.node() || want == c.device.path)
            targets.push_back(c);
    }
    if (targets.empty()) {
        err << "vexlo-tune: no such camera" << (r.camera.isEmpty() ? QString() : QStringLiteral(": ") + r.camera)
            << "\n";
        return NoCamera;
    }

    // Values are checked before any is stored or sent.
    SettingsStore settings;
    std::vector<std::pair<int, int>> values;
    if (r.command->op == Op::Set) {
        for (const QString &a : r.args) {
            const int eq = a.indexOf(QLatin1Char('='));
            const int id = eq > 0 ? paramOfKey(a.left(eq)) : -1;
            if (id < 0) {
                err << "vexlo-tune: " << (eq > 0 ? QStringLiteral("no tuning key %1").arg(a.left(eq))
                                                 : QStringLiteral("%1 is no KEY=VALUE").arg(a))
                    << "\n";
                return Usage;
            }
            int stored = 0;
            QString why;
            if (!parseParamValue(id, a.mid(eq + 1), &stored, &why)) {
                err << "vexlo-tune: " << why << "\n";
                return Refused;
            }
            values.emplace_back(id, stored);
        }
        for (const auto &v : values)
            settings.set(Params::Id(v.first), v.second);
    } else if (r.command->op == Op::Apply) {
        Profile profile;
        const ProfileCheck check = readProfile(r.args[0], &profile);
        if (!check.ok) {
            err << "vexlo-tune: " << check.message << "\n";
            return Refused;
        }
        if (!check.unknown.isEmpty())
            err << "vexlo-tune: ignored keys: " << check.unknown.join(QStringLiteral(", ")) << "\n";
        profile.applyTo(settings);
    }

    std::vector<Outcome> outcomes(targets.size());
    const bool several = targets.size() > 1 || r.all;
    std::mutex errLock;
    const auto progress = [&](const Camera &c, const QString &what) {
        if (!several)
            return;
        std::lock_guard<std::mutex> lock(errLock);
        err << "[" << c.position << " " << c.node() << "] " << what << "\n";
        err.flush();
    };
    const auto serveOne = [&](size_t i) {
        progress(targets[i], QLatin1String(r.command->name) + QStringLiteral("..."));
        outcomes[i] = serve(targets[i], r, values, settings, several);
        progress(targets[i], outcomes[i].code == Done
                                 ? QStringLiteral("done in %1 s").arg(outcomes[i].seconds, 0, 'f', 2)
                                 : QStringLiteral("failed: ") + outcomes[i].message);
    };
    if (targets.size() == 1) {
        serveOne(0);
    } else {
        std::vector<std::thread> threads;
        for (size_t i = 0; i < targets.size(); ++i)
            threads.emplace_back(serveOne, i);
        for (std::thread &t : threads)
            t.join();
    }

    int code = Done;
    QJsonArray results;
    for (size_t i = 0; i < targets.size(); ++i) {
        const Camera &c = targets[i];
        const Outcome &o = outcomes[i];
        code = qMax(code, o.code);
        QJsonObject json = cameraJson(c);
        json.insert(QStringLiteral("exit"), o.code);
        json.insert(QStringLiteral("seconds"), o.seconds);
        if (o.code != Done)
            json.insert(QStringLiteral("error"), o.message);
        if (r.command->op == Op::Show && o.code == Done) {
            json.insert(QStringLiteral("values"), valuesJson(settings));
            json.insert(QStringLiteral("debug"), debugJson(o.debugText));
        }
        results.append(json);
        if (r.json)
            continue;
        if (r.command->op == Op::Show && o.code == Done) {
            out << "camera " << cameraLine(c) << "\n" << valuesText(settings) << o.debugText;
        } else if (o.code == Done) {
            out << "camera " << cameraLine(c) << ": done in " << QString::number(o.seconds, 'f', 2) << " s\n";
        } else {
            out << "camera " << cameraLine(c) << ": failed (" << o.code << "): " << o.message << "\n";
        }
        if (o.code != Done && !several)
            err << "vexlo-tune: " << o.message << "\n";
    }
    if (r.json)
        out << QJsonDocument(QJsonObject{{QStringLiteral("cameras"), results}}).toJson();
    return code;
}

} // namespace Tune
