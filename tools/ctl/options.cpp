// SPDX-License-Identifier: MIT
#include "options.h"

#include <QCommandLineParser>
#include <algorithm>

#include "commandline.h"

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

// What the parser cannot see: the command and its arguments, and options
// that mean nothing to the command given (refused, not ignored).
QString checkcommand(const QCommandLineParser& parser, CtlOptions& o) {
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return QStringLiteral("no command given");
    o.command = positional.takeFirst();
    o.args = positional;
    const auto c = std::find_if(std::begin(kCommands), std::end(kCommands), [&o](const Command& c) {
        return o.command == QLatin1String(c.name);
    });
    if (c == std::end(kCommands)) return QStringLiteral("unknown command \"%1\"").arg(o.command);
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
    const bool verify = parser.isSet(QStringLiteral("verify")),
               noverify = parser.isSet(QStringLiteral("no-verify"));
    if ((verify || noverify) && o.command != QLatin1String("send"))
        return QStringLiteral("--verify and --no-verify are for send");
    if (verify && noverify) return QStringLiteral("--verify and --no-verify exclude each other");
    o.verify = !noverify;
    return {};
}

QString checkoptions(const QCommandLineParser& parser, CtlOptions& o) {
    const QString port = parser.value(QStringLiteral("port"));
    if (parser.isSet(QStringLiteral("port"))) {
        const std::optional<qint64> n = wholenumber(port, 1, 16);
        if (!n)
            return QStringLiteral("--port takes a port number from 1 to 16, not \"%1\"").arg(port);
        o.port = static_cast<int>(*n);
    }
    for (const char* name : {"device", "log"})
        if (parser.isSet(QLatin1String(name)) && parser.value(QLatin1String(name)).isEmpty())
            return QStringLiteral("--%1 needs a value").arg(name);
    o.device = parser.value(QStringLiteral("device"));
    o.logfile = parser.value(QStringLiteral("log"));
    if (parser.isSet(QStringLiteral("port")) && !o.device.isEmpty())
        return QStringLiteral("give --port or --device, not both");
    o.json = parser.isSet(QStringLiteral("json"));
    o.wait = parser.isSet(QStringLiteral("wait"));
    return checkcommand(parser, o);
}

const char kMore[] = R"(
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
     open", "Port N open failed"; with --device, the path or URL in place of N)
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
)";

}  // namespace

std::optional<int> readoptions(const QStringList& args, CtlOptions& options) {
    QCommandLineParser parser;
    parser.addOptions({
        {QStringLiteral("port"),
         QStringLiteral("The port \"Com N\", 1 to 16 (default 10): the link comN in "
                        "$XDG_CONFIG_HOME/gaspuff/ports (by default ~/.config/gaspuff/ports), "
                        "else /dev/ttyS<N-1>, as the panel."),
         QStringLiteral("N")},
        {QStringLiteral("device"),
         QStringLiteral("The serial device at PATH, or the network port socket://HOST:PORT or "
                        "rfc2217://HOST:PORT, instead of \"Com N\"."),
         QStringLiteral("PATH")},
        {QStringLiteral("json"),
         QStringLiteral("status and the commands that wait for a status line: print one JSON "
                        "object {\"state\", \"uptime\", \"autoarm\" and, for shoot --wait, "
                        "\"messages\"} instead.")},
        {QStringLiteral("wait"), QStringLiteral("shoot: wait for the shot's end.")},
        {QStringLiteral("verify"),
         QStringLiteral("send: read the table back and compare (the default).")},
        {QStringLiteral("no-verify"), QStringLiteral("send: do not read the table back.")},
        {QStringLiteral("log"),
         QStringLiteral("Append a record of the session to FILE: each line received and command "
                        "written, the port opened and closed, waveforms sent and received, files "
                        "loaded and saved, each with its time; a log that cannot be written is "
                        "said once and never stops the command."),
         QStringLiteral("FILE")},
    });
    const CommandLineText text{
        "gaspuff-ctl", QStringLiteral("[options] COMMAND [ARGUMENT]"),
        QStringLiteral("The gas-puff valve controller from the command line, for lab scripts: the\n"
                       "panel's protocol on the panel's serial line (115200 baud, 8N1)."),
        QLatin1String(kMore), 1};  // usage errors: status 1, as the help says
    return readcommandline(parser, args, text, [&] { return checkoptions(parser, options); });
}

}  // namespace gaspuff::ctl
