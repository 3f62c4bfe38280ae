// SPDX-License-Identifier: MIT
// gaspuff-ctl through ser2net in front of the real simulator: a whole session
// in each mode, and each way of not getting the port.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "link/networkport.h"
#include "rawpty.h"
#include "ser2net.h"
#include "simprocess.h"

using namespace gaspuff;

namespace {

struct Outcome {
    int exit;
    QString out, err;
};

// busy: ser2net turns a client away for a moment after the last one left,
// so "already open" is tried again for a second.
Outcome ctl(const QStringList& args, bool busy = true) {
    for (QDeadlineTimer deadline(1000);; QTest::qWait(20)) {
        QProcess p;
        p.start(QStringLiteral(GASPUFF_CTL_PATH), args);
        if (!p.waitForFinished(15000)) p.kill(), p.waitForFinished();
        const Outcome r{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                        p.readAllStandardOutput(), p.readAllStandardError()};
        if (!busy || r.exit != 2 || !r.err.contains("already open") || deadline.hasExpired())
            return r;
    }
}

}  // namespace

TEST(Ser2net, AWholeSessionInEachModeFromComNOrTheUrl) {
    if (test::Ser2net::program().isEmpty()) GTEST_SKIP() << "ser2net is not installed";
    test::SimProcess sim({"--no-link", "--status-ms", "50"});
    test::Ser2net server(sim.slavepath(), {"tcp", "telnet(rfc2217),tcp"});
    ASSERT_TRUE(server.listening());
    test::PortsFolder ports;
    QTemporaryDir dir;
    QByteArray table;
    for (int i = 0; i < 1000; ++i) table += QByteArray::number(i * 7 % 101) + "\r\n";
    QFile file(dir.filePath("table"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(table) == table.size());
    file.close();
    for (int mode : {0, 1}) {
        const QString url = server.url(mode), log = dir.filePath(QString::number(mode));
        ports.link(3, url);
        const QStringList dev{"--device", url, "--log", log};
        const std::pair<QStringList, QString> steps[] = {
            {{"--port", "3", "--log", log, "status"}, "^(stop|standby) [0-9]+ off\n$"},
            {dev + QStringList{"arm"}, "^armed "},
            {dev + QStringList{"send", file.fileName()}, ""},
            {dev + QStringList{"get"}, "^" + table + "$"},
        };
        for (const auto& [args, out] : steps) {
            const Outcome r = ctl(args);
            EXPECT_TRUE(r.exit == 0 && QRegularExpression(out).match(r.out).hasMatch())
                << url.toStdString() << " " << args.last().toStdString() << ": " << r.exit
                << r.err.toStdString();
        }
        QFile written(log);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QString text = written.readAll();
        EXPECT_TRUE(text.contains("port Com 3 opened (" + url + ")") &&
                    text.contains("port " + url + " closed"))
            << text.toStdString();
    }
}

TEST(Ser2net, RefusedBusyUnknownAndMalformedAreToldApart) {
    if (test::Ser2net::program().isEmpty()) GTEST_SKIP() << "ser2net is not installed";
    test::SimProcess sim({"--no-link"});
    test::Ser2net server(sim.slavepath(), {"tcp", "telnet(rfc2217),tcp"});
    ASSERT_TRUE(server.listening());
    NetworkPort holder;
    holder.seturl(server.url(0));
    ASSERT_EQ(holder.open(), SerialPort::Opened) << holder.errorstring().toStdString();
    const std::pair<QString, QString> rows[] = {
        {server.url(0), "is already open .*Port already in use"},
        {server.url(1), "is already open .*Port's device already in use"},
        {QStringLiteral("socket://127.0.0.1:%1").arg(test::Ser2net::freeport()),
         "open failed .*refused"},
        {"rfc2217://127.0.0.1", "does not exist .*rfc2217://HOST:PORT"},
    };
    for (const auto& [url, err] : rows) {
        const Outcome r = ctl({"--device", url, "status"}, false);
        EXPECT_TRUE(r.exit == 2 && QRegularExpression(err).match(r.err).hasMatch())
            << url.toStdString() << ": " << r.exit << " " << r.err.toStdString();
    }
    // A name is looked up, never here: nothing may leave the machine.
    NetworkPort port;
    port.seturl("socket://gas-hall.invalid:4001");
    for (const bool notfound : {true, false}) {
        port.setresolver([&](const QString&, int) {
            return NetworkPort::Lookup{{}, notfound, "no answer"};
        });
        EXPECT_EQ(port.open(), notfound ? SerialPort::NoSuchPort : SerialPort::OpenFailed);
    }
}
