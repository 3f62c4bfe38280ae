// SPDX-License-Identifier: MIT
#include "options.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include "commandline.h"

namespace gaspuff::sim {
namespace {

// Every option, in the help's order: what its value is, and where it goes.
struct Value {
    qint64 whole = 0;
    double seconds = 0;
    QString text;
};

struct Option {
    enum class Kind { Switch, Whole, Seconds, File };
    const char* name;
    Kind kind;
    const char* value;  // its name in the help
    const char* description;
    void (*set)(SimOptions&, const Value&);
    qint64 lo = 0, hi = 0;       // for Whole
    const char* what = nullptr;  // for Whole: what the number counts
};

using K = Option::Kind;

Faults& faults(SimOptions& o) {
    return o.controller.faults;
}

const Option kOptions[] = {
    {"port", K::Whole, "N", "Link the terminal as Com N, 1 to 16 (default 10).",
     [](SimOptions& o, const Value& v) { o.port = static_cast<int>(v.whole); }, 1, 16,
     "a port number"},
    {"no-link", K::Switch, "", "Make no link, only print the terminal's path.",
     [](SimOptions& o, const Value&) { o.link = false; }},
    {"fast", K::Switch, "",
     "Send without pacing (by default each character takes its 86.8 us, as at 115200 baud "
     "with 8N1 framing).",
     [](SimOptions& o, const Value&) { o.fast = true; }},
    {"crlf", K::Switch, "", "End the lines it sends with CR LF (default CR).",
     [](SimOptions& o, const Value&) { o.controller.lineend = "\r\n"; }},
    {"status-ms", K::Whole, "MS",
     "A status line every MS milliseconds, 10 to 600000 (default 500).",
     [](SimOptions& o, const Value& v) { o.controller.statusms = v.whole; }, 10, 600000,
     "milliseconds"},
    {"table", K::File, "FILE",
     "Start with the table in FILE, a waveform file as the panel saves it (default: a "
     "demonstration pulse).",
     [](SimOptions& o, const Value& v) { o.tablefile = v.text; }},
    {"dump", K::File, "FILE", "Write the table to FILE, in that format, whenever a load completes.",
     [](SimOptions& o, const Value& v) { o.dumpfile = v.text; }},
    {"silent", K::Switch, "", "Fault: send no status lines.",
     [](SimOptions& o, const Value&) { faults(o).silent = true; }},
    {"short", K::Whole, "N", "Fault: \"get\" answers only the first N points, 0 to 1000.",
     [](SimOptions& o, const Value& v) { faults(o).points = static_cast<int>(v.whole); }, 0, 1000,
     "a number of points"},
    {"bogus", K::Whole, "K",
     "Fault: mix K values outside 0..100 into the answer to \"get\", 0 to 1000, spread evenly.",
     [](SimOptions& o, const Value& v) { faults(o).bogus = static_cast<int>(v.whole); }, 0, 1000,
     "a number of values"},
    {"corrupt", K::Whole, "N",
     "Fault: store every loaded table with N entries wrong, 0 to 1000: those at "
     "(j+1)*1000/(N+1) for j = 0 to N-1, each stored as 1 where 0 came, else as 0; it still "
     "says \"loaded 1000 values\" (for testing that an upload is verified).",
     [](SimOptions& o, const Value& v) { faults(o).corrupt = static_cast<int>(v.whole); }, 0, 1000,
     "a number of entries"},
    {"stall-ms", K::Whole, "T",
     "Fault: pause T milliseconds half way through the answer to \"get\", 0 to 600000 (status "
     "lines keep coming meanwhile).",
     [](SimOptions& o, const Value& v) { faults(o).stallms = v.whole; }, 0, 600000, "milliseconds"},
    {"noise", K::Switch, "", "Fault: send an unasked free-text line every second or two.",
     [](SimOptions& o, const Value&) { faults(o).noise = true; }},
    {"unplug-after", K::Seconds, "S",
     "Fault: after S seconds (fractions allowed) close the terminal as if the cable were "
     "pulled, remove the link and end.",
     [](SimOptions& o, const Value& v) { o.unplugafter = v.seconds; }},
};

// text checked against what the option takes; the reason when it is wrong.
QString check(const Option& o, const QString& text, Value& v) {
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,5}(\\.[0-9]{1,3})?$"));
    switch (o.kind) {
        case K::Whole:
            if (const std::optional<qint64> n = wholenumber(text, o.lo, o.hi)) {
                v.whole = *n;
                return {};
            }
            return QStringLiteral("--%1 takes %2 from %3 to %4, not \"%5\"")
                .arg(QLatin1String(o.name), QLatin1String(o.what))
                .arg(o.lo)
                .arg(o.hi)
                .arg(text);
        case K::Seconds:
            v.seconds = text.toDouble();
            if (decimal.match(text).hasMatch() && v.seconds > 0 && v.seconds <= 86400) return {};
            return QStringLiteral("--%1 takes seconds, more than 0 and at most 86400, not \"%2\"")
                .arg(QLatin1String(o.name), text);
        case K::File:
            v.text = text;
            if (text.isEmpty()) return QStringLiteral("--%1 needs a file name").arg(o.name);
            return {};
        case K::Switch:
            return {};
    }
    return {};
}

const char kMore[] = R"(
The terminal's path (/dev/pts/N) goes to standard output once the link comN is
in place in $XDG_CONFIG_HOME/gaspuff/ports (by default ~/.config/gaspuff/ports),
which the panel follows. The link points at the simulator's own descriptor of
the terminal, /proc/PID/fd/FD, so it leads to the terminal only while the
simulator lives: killed outright, it leaves a dangling link, never one to
whatever terminal takes that number next. The link is removed when the
simulator ends, by SIGINT, SIGTERM or SIGHUP too. If a link of that name points
at something that exists (a running simulator, a device), it is left alone and
the simulator refuses to start; a dangling one is replaced. Anything else of
that name is left alone, and the simulator refuses to start.

The controller:
  State "stop" at start, "standby", "armed", "load" or "generate"; auto-arm
  "on" or "off" ("off" at start); uptime in whole seconds since it started.
  The status line "state|uptime|autoarm" goes out every 500 ms and also as soon
  as a program opens the terminal.
  Commands, one to a line ended by CR:
    stop, standby, arm   set the state; stop also cuts a shot short
    auto_arm_on, auto_arm_off
    shoot     when armed: plays the table for 1000 ms in state "generate", then
              returns to "stop" ("armed" with auto-arm on) and sends
              "shot N fired"; when not armed, a message saying it was ignored
    load      state "load": the next 1000 value lines become the table, then
              "loaded 1000 values" and state "stop". A line that is no value,
              or a second without any line, abandons the load: the table stays
              as it was, a message says how many values had come, and a command
              word that ended the load is then carried out.
    get       answers the table as 1000 lines of one value each
  While generating only stop, get and the auto-arm commands act; the others are
  answered with a message. An unknown word gets a message naming it. Messages
  never contain "|". Whatever is sent while no program has the terminal open is
  lost, as on a real line.

Exit status: 0 when ended by a signal or by --unplug-after, 1 when it could not
start (terminal, link, table file) or its terminal failed, 2 for a bad command
line.
)";

}  // namespace

std::optional<int> readoptions(const QStringList& args, SimOptions& options) {
    QCommandLineParser parser;
    for (const Option& o : kOptions)
        parser.addOption(
            {QLatin1String(o.name), QLatin1String(o.description), QLatin1String(o.value)});
    const auto take = [&parser, &options]() -> QString {
        if (!parser.positionalArguments().isEmpty())
            return QStringLiteral("unexpected argument \"%1\"")
                .arg(parser.positionalArguments().first());
        for (const Option& o : kOptions) {
            const QString name = QLatin1String(o.name);
            if (!parser.isSet(name)) continue;
            Value v;
            if (const QString why = check(o, parser.value(name), v); !why.isEmpty()) return why;
            o.set(options, v);
        }
        return {};
    };
    const CommandLineText text{
        "gaspuff-sim", QStringLiteral("[options]"),
        QStringLiteral(
            "A simulated gas-puff valve controller behind a pseudo-terminal: the panel's\n"
            "peer for trying it without hardware, for operator training and for tests. It\n"
            "speaks the panel's protocol at the pace of a 115200 baud 8N1 line."),
        QLatin1String(kMore), 2};
    return readcommandline(parser, args, text, take);
}

}  // namespace gaspuff::sim
