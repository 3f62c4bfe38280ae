#include "options.h"

#include <QRegularExpression>
#include <optional>

namespace gaspuff::sim {
namespace {

struct Range {
    qint64 lo, hi;
};

// A whole number of plain digits within range, else nothing.
std::optional<qint64> wholenumber(const QString& text, Range r) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch()) return std::nullopt;
    const qint64 v = text.toLongLong();
    if (v < r.lo || v > r.hi) return std::nullopt;
    return v;
}

// Seconds as digits with an optional fraction, more than 0 and at most a day.
std::optional<double> seconds(const QString& text) {
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,5}(\\.[0-9]{1,3})?$"));
    if (!decimal.match(text).hasMatch()) return std::nullopt;
    const double v = text.toDouble();
    if (v <= 0 || v > 86400) return std::nullopt;
    return v;
}

}  // namespace

ParsedOptions parseoptions(const QStringList& args) {
    ParsedOptions result;
    SimOptions& o = result.options;
    Faults& f = o.controller.faults;
    auto bad = [&result](const QString& why) {
        result.kind = ParsedOptions::Kind::Bad;
        result.error = why;
        return result;
    };

    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h")) {
            result.kind = ParsedOptions::Kind::Help;
            continue;
        }
        if (arg.startsWith(QLatin1Char('-')) && !arg.startsWith(QLatin1String("--")) &&
            arg.size() > 1)
            return bad(QStringLiteral("unknown option %1").arg(arg));
        if (!arg.startsWith(QLatin1String("--")) || arg.size() == 2)
            return bad(QStringLiteral("unexpected argument \"%1\"").arg(arg));
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);
        const std::optional<QString> inlinevalue =
            eq < 0 ? std::nullopt : std::optional<QString>(arg.mid(eq + 1));

        // Switches.
        bool* flag = nullptr;
        bool on = true;
        if (name == QLatin1String("--help")) {
            result.kind = ParsedOptions::Kind::Help;
        } else if (name == QLatin1String("--fast")) {
            flag = &o.fast;
        } else if (name == QLatin1String("--crlf")) {
            o.controller.lineend = "\r\n";
        } else if (name == QLatin1String("--no-link")) {
            flag = &o.link;
            on = false;
        } else if (name == QLatin1String("--silent")) {
            flag = &f.silent;
        } else if (name == QLatin1String("--noise")) {
            flag = &f.noise;
        } else {
            // Options with a value.
            QString value;
            if (inlinevalue) {
                value = *inlinevalue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else if (name == QLatin1String("--port") || name == QLatin1String("--status-ms") ||
                       name == QLatin1String("--short") || name == QLatin1String("--bogus") ||
                       name == QLatin1String("--corrupt") || name == QLatin1String("--stall-ms") ||
                       name == QLatin1String("--unplug-after") ||
                       name == QLatin1String("--table") || name == QLatin1String("--dump")) {
                return bad(QStringLiteral("%1 needs a value").arg(name));
            } else {
                return bad(QStringLiteral("unknown option %1").arg(name));
            }
            auto number = [&](Range r, const char* what) -> std::optional<qint64> {
                const auto v = wholenumber(value, r);
                if (!v)
                    bad(QStringLiteral("%1 takes %2 from %3 to %4, not \"%5\"")
                            .arg(name, QLatin1String(what))
                            .arg(r.lo)
                            .arg(r.hi)
                            .arg(value));
                return v;
            };
            if (name == QLatin1String("--port")) {
                const auto v = number({1, 16}, "a port number");
                if (!v) return result;
                o.port = static_cast<int>(*v);
            } else if (name == QLatin1String("--status-ms")) {
                const auto v = number({10, 600000}, "milliseconds");
                if (!v) return result;
                o.controller.statusms = *v;
            } else if (name == QLatin1String("--short")) {
                const auto v = number({0, 1000}, "a number of points");
                if (!v) return result;
                f.points = static_cast<int>(*v);
            } else if (name == QLatin1String("--bogus")) {
                const auto v = number({0, 1000}, "a number of values");
                if (!v) return result;
                f.bogus = static_cast<int>(*v);
            } else if (name == QLatin1String("--corrupt")) {
                const auto v = number({0, 1000}, "a number of entries");
                if (!v) return result;
                f.corrupt = static_cast<int>(*v);
            } else if (name == QLatin1String("--stall-ms")) {
                const auto v = number({0, 600000}, "milliseconds");
                if (!v) return result;
                f.stallms = *v;
            } else if (name == QLatin1String("--unplug-after")) {
                const auto v = seconds(value);
                if (!v)
                    return bad(QStringLiteral("--unplug-after takes seconds, more than 0 and at "
                                              "most 86400, not \"%1\"")
                                   .arg(value));
                o.unplugafter = *v;
            } else if (name == QLatin1String("--table") || name == QLatin1String("--dump")) {
                if (value.isEmpty()) return bad(QStringLiteral("%1 needs a file name").arg(name));
                (name == QLatin1String("--table") ? o.tablefile : o.dumpfile) = value;
            } else {
                return bad(QStringLiteral("unknown option %1").arg(name));
            }
            continue;
        }
        if (inlinevalue) return bad(QStringLiteral("%1 takes no value").arg(name));
        if (flag) *flag = on;
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
  The terminal's path goes to standard output once the link is in place. The
  link is removed when the simulator ends, by SIGINT, SIGTERM or SIGHUP too.
  If a link of that name points at something that exists, it is left alone and
  the simulator refuses to start; a dangling one (left behind by a simulator
  that was killed outright) is replaced. Anything else of that name is left
  alone, and the simulator refuses to start.

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
