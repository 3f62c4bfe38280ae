// SPDX-License-Identifier: MIT
#include "commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "client.h"
#include "options.h"
#include "protocol/interpreter.h"
#include "protocol/sessionlog.h"
#include "transfer.h"

namespace gaspuff::ctl {
namespace {

constexpr int kConfirmMs = 2000;
constexpr int kShotEndMs = 5000;  // a shot plays 1 s

// A command word and the status field that shows it was carried out.
struct Expect {
    const char* name;  // the command, with its argument for auto-arm
    const char* word;
    bool autoarmfield;  // else the state field
    const char* value;
};
constexpr Expect kExpects[] = {
    {"arm", "arm", false, "armed"},
    {"standby", "standby", false, "standby"},
    {"stop", "stop", false, "stop"},
    {"shoot", "shoot", false, "generate"},
    {"auto-arm on", "auto_arm_on", true, "on"},
    {"auto-arm off", "auto_arm_off", true, "off"},
};

// What the controller said while a command waited.
struct Heard {
    bool hasstatus = false;
    LineMeaning status;
    RecentMessages messages;
};

QString fields(const LineMeaning& m) {
    return QString::fromLatin1(SessionLog::escaped(m.state + ' ' + m.uptime + ' ' + m.autoarm));
}

// The status fields on standard output, then the messages when given, one a
// line; control characters escaped so that each stays one line.
void print(const LineMeaning& m, const RecentMessages* messages, bool json) {
    QByteArray out;
    if (json) {
        QJsonObject o{{"state", QString::fromLatin1(m.state)},
                      {"uptime", QString::fromLatin1(m.uptime)},
                      {"autoarm", QString::fromLatin1(m.autoarm)}};
        if (messages) {
            QJsonArray list;
            for (const QByteArray& text : messages->kept()) list.append(QString::fromLatin1(text));
            o.insert(QStringLiteral("messages"), list);
        }
        out = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    } else {
        out = fields(m).toLatin1() + '\n';
        if (messages)
            for (const QByteArray& text : messages->kept()) out += SessionLog::escaped(text) + '\n';
    }
    if (messages) messages->sayleftout();
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    std::fflush(stdout);
}

// Waits for a status line that satisfies want, gathering what comes meanwhile.
Client::Wait listen(Client& client, const QDeadlineTimer& deadline, Heard& heard,
                    const std::function<bool(const LineMeaning&)>& want) {
    Reception rx;
    Waveform unused{};
    return client.await(deadline, [&](const QByteArray& line) {
        const LineMeaning m = interpretline(line, rx, unused);
        if (m.kind == LineKind::Message) heard.messages.add(line);
        if (m.kind != LineKind::Status) return false;
        heard.hasstatus = true;
        heard.status = m;
        return want(m);
    });
}

// Why a wait that missed its deadline failed, and its exit status.
int missed(const Heard& heard, const QString& what) {
    if (!heard.hasstatus)
        say(QStringLiteral("Communication timeout: no status line within 2 s"));
    else
        say(QStringLiteral("%1: the controller reports %2").arg(what, fields(heard.status)));
    heard.messages.sayall();
    return heard.hasstatus ? kNotConfirmed : kTimedOut;
}

int status(Client& client, bool json) {
    Heard heard;
    const Client::Wait w =
        listen(client, QDeadlineTimer(kConfirmMs), heard, [](const LineMeaning&) { return true; });
    if (w == Client::Wait::Deadline) return missed(heard, {});
    if (w != Client::Wait::Done) return client.waitexit(w);
    print(heard.status, nullptr, json);
    return kSuccess;
}

int confirm(Client& client, const Expect& e, const CtlOptions& o) {
    if (!client.command(e.word)) return client.writefailed();
    const QDeadlineTimer confirmby(kConfirmMs), endby(kShotEndMs);
    Heard heard;
    Client::Wait w = listen(client, confirmby, heard, [&e](const LineMeaning& m) {
        return (e.autoarmfield ? m.autoarm : m.state) == e.value;
    });
    if (w == Client::Wait::Deadline)
        return missed(heard, QStringLiteral("%1 not confirmed").arg(QLatin1String(e.name)));
    if (w == Client::Wait::Done && o.wait) {
        w = listen(client, endby, heard,
                   [](const LineMeaning& m) { return m.state != "generate"; });
        if (w == Client::Wait::Deadline)
            return missed(heard, QStringLiteral("The shot did not end within 5 s"));
    }
    if (w != Client::Wait::Done) return client.waitexit(w);
    print(heard.status, o.wait ? &heard.messages : nullptr, o.json);
    return kSuccess;
}

int openport(Client& client, const CtlOptions& o) {
    const SerialPort::OpenResult result = client.open(o);
    if (result == SerialPort::Opened) return kSuccess;
    say(QStringLiteral("%1 (%2)").arg(client.session().openwords(result), client.errorstring()));
    return kNoPort;
}

}  // namespace

int run(const CtlOptions& o, Client& client, SessionLog* log) {
    Waveform table{};
    // A bad file is found before the port is touched: nothing goes out.
    if (o.command == QLatin1String("send"))
        if (const int e = loadfile(o.args[0], table, log); e != kSuccess) return e;
    if (const int e = openport(client, o); e != kSuccess) return e;
    // A signal while the file was read or the port opened: nothing goes out.
    if (client.interruptexit() != 0) return client.waitexit(Client::Wait::Interrupted);
    if (o.command == QLatin1String("status")) return status(client, o.json);
    if (o.command == QLatin1String("send")) return sendtable(client, table, o.verify);
    if (o.command == QLatin1String("get"))
        return gettable(client, o.args.value(0, QStringLiteral("-")), log);
    const QString name = o.args.isEmpty() ? o.command : o.command + ' ' + o.args[0];
    for (const Expect& e : kExpects)
        if (name == QLatin1String(e.name)) return confirm(client, e, o);
    return kUsage;
}

}  // namespace gaspuff::ctl
