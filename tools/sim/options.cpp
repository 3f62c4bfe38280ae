// SPDX-License-Identifier: MIT
#include "options.h"

#include <QRegularExpression>
#include <optional>

namespace gaspuff::sim {
namespace {

// What an option's value is, once checked.
struct Value {
    qint64 whole = 0;
    double seconds = 0;
    QString text;
};

struct Option {
    enum class Kind { Help, Version, Switch, Whole, Seconds, File };
    const char* name;
    Kind kind;
    qint64 lo = 0, hi = 0;       // for Whole
    const char* what = nullptr;  // for Whole: what the number counts
    void (*set)(SimOptions&, const Value&) = nullptr;
};

using K = Option::Kind;

Faults& faults(SimOptions& o) {
    return o.controller.faults;
}

// Every option, once.
const Option kOptions[] = {
    {"-h", K::Help},
    {"--help", K::Help},
    {"--version", K::Version},
    {"--port", K::Whole, 1, 16, "a port number",
     [](SimOptions& o, const Value& v) { o.port = static_cast<int>(v.whole); }},
    {"--no-link", K::Switch, 0, 0, nullptr, [](SimOptions& o, const Value&) { o.link = false; }},
    {"--fast", K::Switch, 0, 0, nullptr, [](SimOptions& o, const Value&) { o.fast = true; }},
    {"--crlf", K::Switch, 0, 0, nullptr,
     [](SimOptions& o, const Value&) { o.controller.lineend = "\r\n"; }},
    {"--status-ms", K::Whole, 10, 600000, "milliseconds",
     [](SimOptions& o, const Value& v) { o.controller.statusms = v.whole; }},
    {"--table", K::File, 0, 0, nullptr,
     [](SimOptions& o, const Value& v) { o.tablefile = v.text; }},
    {"--dump", K::File, 0, 0, nullptr, [](SimOptions& o, const Value& v) { o.dumpfile = v.text; }},
    {"--silent", K::Switch, 0, 0, nullptr,
     [](SimOptions& o, const Value&) { faults(o).silent = true; }},
    {"--short", K::Whole, 0, 1000, "a number of points",
     [](SimOptions& o, const Value& v) { faults(o).points = static_cast<int>(v.whole); }},
    {"--bogus", K::Whole, 0, 1000, "a number of values",
     [](SimOptions& o, const Value& v) { faults(o).bogus = static_cast<int>(v.whole); }},
    {"--corrupt", K::Whole, 0, 1000, "a number of entries",
     [](SimOptions& o, const Value& v) { faults(o).corrupt = static_cast<int>(v.whole); }},
    {"--stall-ms", K::Whole, 0, 600000, "milliseconds",
     [](SimOptions& o, const Value& v) { faults(o).stallms = v.whole; }},
    {"--noise", K::Switch, 0, 0, nullptr,
     [](SimOptions& o, const Value&) { faults(o).noise = true; }},
    {"--unplug-after", K::Seconds, 0, 0, nullptr,
     [](SimOptions& o, const Value& v) { o.unplugafter = v.seconds; }},
};

const Option* findoption(const QString& name) {
    for (const Option& o : kOptions)
        if (name == QLatin1String(o.name)) return &o;
    return nullptr;
}

// text checked against what the option takes; the reason when it is wrong.
std::optional<QString> check(const Option& o, const QString& name, const QString& text, Value& v) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,5}(\\.[0-9]{1,3})?$"));
    switch (o.kind) {
        case K::Whole:
            v.whole = text.toLongLong();
            if (digits.match(text).hasMatch() && v.whole >= o.lo && v.whole <= o.hi) break;
            return QStringLiteral("%1 takes %2 from %3 to %4, not \"%5\"")
                .arg(name, QLatin1String(o.what))
                .arg(o.lo)
                .arg(o.hi)
                .arg(text);
        case K::Seconds:
            v.seconds = text.toDouble();
            if (decimal.match(text).hasMatch() && v.seconds > 0 && v.seconds <= 86400) break;
            return QStringLiteral("%1 takes seconds, more than 0 and at most 86400, not \"%2\"")
                .arg(name, text);
        case K::File:
            if (text.isEmpty()) return QStringLiteral("%1 needs a file name").arg(name);
            v.text = text;
            break;
        case K::Help:
        case K::Version:
        case K::Switch:
            break;
    }
    return std::nullopt;
}

}  // namespace

ParsedOptions parseoptions(const QStringList& args) {
    ParsedOptions result;
    auto bad = [&result](const QString& why) {
        result.kind = ParsedOptions::Kind::Bad;
        result.error = why;
        return result;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-") ||
            arg == QLatin1String("--"))
            return bad(QStringLiteral("unexpected argument \"%1\"").arg(arg));
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = arg.left(eq);  // all of it without "="
        const Option* o = findoption(name);
        if (!o) return bad(QStringLiteral("unknown option %1").arg(name));
        const bool takesvalue = o->kind != K::Help && o->kind != K::Version && o->kind != K::Switch;
        QString text;
        if (!takesvalue && eq >= 0) return bad(QStringLiteral("%1 takes no value").arg(name));
        if (takesvalue) {
            if (eq >= 0)
                text = arg.mid(eq + 1);
            else if (i + 1 < args.size())
                text = args[++i];
            else
                return bad(QStringLiteral("%1 needs a value").arg(name));
        }
        Value v;
        if (const std::optional<QString> why = check(*o, name, text, v)) return bad(*why);
        if (o->kind == K::Help || o->kind == K::Version) {
            // --help wins over --version, in either order.
            if (result.kind != ParsedOptions::Kind::Help)
                result.kind =
                    o->kind == K::Help ? ParsedOptions::Kind::Help : ParsedOptions::Kind::Version;
        } else {
            o->set(result.options, v);
        }
    }
    return result;
}

QString helptext() {
    return QStringLiteral(R"(Usage: gaspuff-sim [OPTION]...
A simulated gas-puff valve controller behind a pseudo-terminal: the panel's
peer for trying it without hardware, for operator training and for tests. It
speaks the panel's protocol at the pace of a 115200 baud 8N1 line.

Port:
  --port N          link the terminal as Com N, 1 to 16 (default 10): the link
                    comN in $XDG_CONFIG_HOME/gaspuff/ports, by default
                    ~/.config/gaspuff/ports, which the panel follows
  --no-link         make no link, only print the terminal's path
  The terminal's path (/dev/pts/N) goes to standard output once the link is in
  place. The link points at the simulator's own descriptor of the terminal,
  /proc/PID/fd/FD, so it leads to the terminal only while the simulator lives:
  killed outright, it leaves a dangling link, never one to whatever terminal
  takes that number next. The link is removed when the simulator ends, by
  SIGINT, SIGTERM or SIGHUP too. If a link of that name points at something
  that exists (a running simulator, a device), it is left alone and the
  simulator refuses to start; a dangling one is replaced. Anything else of
  that name is left alone, and the simulator refuses to start.

Line:
  --fast            send without pacing (by default each character takes its
                    86.8 us, as at 115200 baud with 8N1 framing)
  --crlf            end the lines it sends with CR LF (default CR)
  --status-ms MS    a status line every MS milliseconds, 10 to 600000
                    (default 500)

Table:
  --table FILE      start with the table in FILE, a waveform file as the panel
                    saves it (default: a demonstration pulse)
  --dump FILE       write the table to FILE, in that format, whenever a load
                    completes

Faults:
  --silent          send no status lines
  --short N         "get" answers only the first N points, 0 to 1000
  --bogus K         mix K values outside 0..100 into the answer to "get",
                    0 to 1000, spread evenly
  --corrupt N       store every loaded table with N entries wrong, 0 to 1000:
                    those at (j+1)*1000/(N+1) for j = 0 to N-1, each stored as
                    1 where 0 came, else as 0; it still says "loaded 1000
                    values" (for testing that an upload is verified)
  --stall-ms T      pause T milliseconds half way through the answer to "get"
                    (status lines keep coming meanwhile)
  --noise           send an unasked free-text line every second or two
  --unplug-after S  after S seconds (fractions allowed) close the terminal as if
                    the cable were pulled, remove the link and end

  -h, --help        show this text and end
  --version         show the version and end

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
)");
}

}  // namespace gaspuff::sim
