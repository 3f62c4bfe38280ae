// SPDX-License-Identifier: MIT
#include "options.h"

#include <QRegularExpression>

namespace gaspuff::ctl {
namespace {

// How many arguments each command takes.
struct Command {
    const char* name;
    int least, most;
};
constexpr Command kCommands[] = {
    {"status", 0, 0}, {"arm", 0, 0},      {"standby", 0, 0}, {"stop", 0, 0},
    {"shoot", 0, 0},  {"auto-arm", 1, 1}, {"send", 1, 1},    {"get", 0, 1},
};

const Command* findcommand(const QString& name) {
    for (const Command& c : kCommands)
        if (name == QLatin1String(c.name)) return &c;
    return nullptr;
}

// An option that takes a value sets it; a switch is handled by name.
bool takesvalue(const QString& name) {
    return name == QLatin1String("--port") || name == QLatin1String("--device") ||
           name == QLatin1String("--log");
}

// Empty when the option is known and its value good, else why not.
QString setoption(CtlOptions& o, const QString& name, const QString& value, bool& portgiven) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,2}$"));
    if (name == QLatin1String("--port")) {
        o.port = value.toInt();
        portgiven = true;
        if (digits.match(value).hasMatch() && o.port >= 1 && o.port <= 16) return {};
        return QStringLiteral("--port takes a port number from 1 to 16, not \"%1\"").arg(value);
    }
    if (takesvalue(name)) {
        if (value.isEmpty()) return QStringLiteral("%1 needs a value").arg(name);
        (name == QLatin1String("--device") ? o.device : o.logfile) = value;
    } else if (name == QLatin1String("--json")) {
        o.json = true;
    } else if (name == QLatin1String("--wait")) {
        o.wait = true;
    } else if (name == QLatin1String("--verify") || name == QLatin1String("--no-verify")) {
        o.verify = name == QLatin1String("--verify");
    } else {
        return QStringLiteral("unknown option %1").arg(name);
    }
    return {};
}

// Options that mean nothing to the command given are refused, not ignored.
QString checkcommand(const CtlOptions& o, const QStringList& args, bool verifygiven) {
    const Command* c = findcommand(o.command);
    if (!c) return QStringLiteral("unknown command \"%1\"").arg(o.command);
    if (o.args.size() < c->least || o.args.size() > c->most)
        return QStringLiteral("%1 takes %2 argument(s)")
            .arg(o.command, c->least == c->most
                                ? QString::number(c->least)
                                : QStringLiteral("%1 or %2").arg(c->least).arg(c->most));
    if (o.command == QLatin1String("auto-arm") && o.args[0] != QLatin1String("on") &&
        o.args[0] != QLatin1String("off"))
        return QStringLiteral("auto-arm takes on or off, not \"%1\"").arg(o.args[0]);
    const bool transfer = o.command == QLatin1String("send") || o.command == QLatin1String("get");
    if (o.json && transfer) return QStringLiteral("--json is not for %1").arg(o.command);
    if (o.wait && o.command != QLatin1String("shoot")) return QStringLiteral("--wait is for shoot");
    if (verifygiven && o.command != QLatin1String("send"))
        return QStringLiteral("--verify and --no-verify are for send");
    if (args.contains(QLatin1String("--verify")) && args.contains(QLatin1String("--no-verify")))
        return QStringLiteral("--verify and --no-verify exclude each other");
    return {};
}

}  // namespace

ParsedOptions parseoptions(const QStringList& args) {
    ParsedOptions result;
    auto bad = [&result](const QString& why) {
        result.kind = ParsedOptions::Kind::Bad;
        result.error = why;
        return result;
    };
    CtlOptions& o = result.options;
    QStringList positional;
    bool portgiven = false, verifygiven = false, optionsended = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsended || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            positional << arg;
        } else if (arg == QLatin1String("--")) {
            optionsended = true;
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            result.kind = ParsedOptions::Kind::Help;
        } else if (arg == QLatin1String("--version")) {
            if (result.kind != ParsedOptions::Kind::Help)
                result.kind = ParsedOptions::Kind::Version;
        } else {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            const QString name = arg.left(eq);
            QString value;
            if (eq >= 0 && !takesvalue(name))
                return bad(QStringLiteral("%1 takes no value").arg(name));
            if (eq >= 0)
                value = arg.mid(eq + 1);
            else if (takesvalue(name) && i + 1 < args.size())
                value = args[++i];
            if (const QString why = setoption(o, name, value, portgiven); !why.isEmpty())
                return bad(why);
            verifygiven = verifygiven || name.endsWith(QLatin1String("verify"));
        }
    }
    if (result.kind != ParsedOptions::Kind::Run) return result;
    if (positional.isEmpty()) return bad(QStringLiteral("no command given"));
    o.command = positional.takeFirst();
    o.args = positional;
    if (portgiven && !o.device.isEmpty())
        return bad(QStringLiteral("give --port or --device, not both"));
    if (const QString why = checkcommand(o, args, verifygiven); !why.isEmpty()) return bad(why);
    return result;
}

QString helptext() {
    return QStringLiteral(R"(Usage: gaspuff-ctl [OPTION]... COMMAND [ARGUMENT]
The gas-puff valve controller from the command line, for lab scripts: the
panel's protocol on the panel's serial line (115200 baud, 8N1).

Commands:
  status            wait for the controller's next status line and print its
                    fields: "state uptime autoarm"
  arm, standby, stop
                    send the command and wait for a status line whose state
                    confirms it ("armed", "standby", "stop")
  auto-arm on|off   send auto_arm_on or auto_arm_off and wait for a status line
                    whose auto-arm field says "on" or "off"
  shoot             send shoot and wait for the state "generate"; with --wait,
                    then for the shot's end (a later status line whose state is
                    no longer "generate"), and print the messages that came
                    meanwhile ("shot 1 fired"), one a line, after the fields
  send FILE         load FILE as the panel loads a waveform file (the same
                    checks and messages; missing entries are 0), send "load"
                    and the 1000 values as the panel's Send does, then read the
                    table back with "get" and compare: success only when the
                    controller holds exactly the 1000 values sent; otherwise
                    the entries that differ, e.g. "t=137: sent 50, holds 0".
                    Values outside 0..100 in FILE are sent as the panel sends
                    them, for the controller to judge; a read-back drops such
                    values as bogus, so verifying them fails, as soon as the
                    1000 values have come back.
  get [FILE]        read the controller's table with "get" and save it to FILE
                    as the panel saves it (crash-safe), or write the file's text
                    to standard output when FILE is "-" or absent. Values
                    outside 0..100 are dropped and counted ("3 bogus points
                    received"), as the panel does.
  The commands print what the controller reported on standard output, control
  characters escaped (\r, \n, \t, \\, \xNN) so that each item stays one line;
  every other message goes to standard error.

Options:
  --port N          the port "Com N", 1 to 16 (default 10): the link comN in
                    $XDG_CONFIG_HOME/gaspuff/ports (by default
                    ~/.config/gaspuff/ports), else /dev/ttyS<N-1>, as the panel
  --device PATH     the serial device at PATH instead of "Com N"
  --json            status and the commands that wait for a status line: print
                    one JSON object {"state", "uptime", "autoarm" and, for
                    shoot --wait, "messages"} instead
  --wait            shoot: wait for the shot's end
  --verify          send: read the table back and compare (the default)
  --no-verify       send: do not read the table back
  --log FILE        append a record of the session to FILE: each line received
                    and command written, the port opened and closed, waveforms
                    sent and received, files loaded and saved, each with its
                    time; a log that cannot be written is said once and never
                    stops the command
  -h, --help        show this text and end
  --version         show the version and end

Deadlines, from the moment the command is written (status: the port opened):
  a confirming status line 2 s; the shot's end (shoot --wait) 5 s, since a shot
  plays 1 s; a read-back ("get", and send's verification) 2 s for all 1000
  points. A read-back that ended before its answer did (its deadline, or
  interrupted) is recorded for the device: the next "get", by this tool or the
  panel, waits until the line has carried no number for 2 s (6 s at most), so
  that the rest of that answer is never taken for a new one.

The line: gaspuff-ctl writes only the command asked for (and for send the
read-back's "get"): it never probes, and it writes nothing when it ends. It
closes the port before it ends, letting pending output drain for at most 0.5 s,
also when interrupted by SIGINT or SIGTERM; held up where it cannot (a terminal
or pipe that takes no output), it ends 2 s after the signal all the same. Of
the messages heard during a command it keeps the newest 20, and says how many
earlier ones it left out.

Exit status:
  0  success
  1  bad command line
  2  the port could not be opened ("Port N does not exist", "Port N is already
     open", "Port N open failed"; with --device, the path in place of N)
  3  time-out: no status line within 2 s, a read-back not complete within 2 s
     (nothing is written then; it says how many points had arrived), an
     earlier answer still arriving (more than 1000 points for one "get", or
     no quiet line within 6 s), or the link lost
  4  not confirmed: the controller reported something else (it says what: its
     last status line and its messages); send: the table read back differs, or
     output could not be sent
  5  bad file: FILE for send is missing, not a regular file or not a
     waveform file (nothing is sent), or FILE for get cannot be written
  130, 143  ended by SIGINT, SIGTERM
)");
}

}  // namespace gaspuff::ctl
