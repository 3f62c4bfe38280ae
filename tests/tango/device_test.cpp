// SPDX-License-Identifier: MIT
// gaspuff-tango, the real server, without a Tango database (its device and
// Port property from a file), in front of the real simulator or a raw line
// linked as Com 10, driven by a real Tango client. One server for the file;
// each test plugs its own line in and has the device opened anew by Init.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <tango.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

#include "controller.h"
#include "rawpty.h"
#include "ser2net.h"
#include "simprocess.h"

using namespace gaspuff;

namespace {

struct Server {
    test::PortsFolder ports;  // the simulator links itself as Com 10
    QTemporaryDir dir;
    QProcess process;
    std::unique_ptr<Tango::DeviceProxy> dev;
    QString address;
};
std::unique_ptr<Server> server;

std::string text(Tango::DeviceProxy& dev, const char* name) {
    std::string value;
    dev.read_attribute(name) >> value;
    return value;
}

// The DevFailed's reason and description, empty when the call went through.
template <typename F>
std::string refusal(F call) {
    try {
        call();
    } catch (const Tango::DevFailed& e) {
        return std::string(e.errors[0].reason.in()) + ": " + e.errors[0].desc.in();
    }
    return {};
}

bool waitfor(const std::function<bool()>& pred, int ms) {
    return QTest::qWaitFor(
        [&] {
            try {
                return pred();
            } catch (const Tango::DevFailed&) {
                return false;
            }
        },
        ms);
}

// The read part of Waveform (a read-write attribute brings its set point too).
std::vector<short> table(Tango::DeviceProxy& dev) {
    std::vector<short> values;
    dev.read_attribute("Waveform") >> values;
    values.resize(std::min<size_t>(values.size(), 1000));
    return values;
}

std::vector<short> counting() {
    std::vector<short> table(1000);
    for (int i = 0; i < 1000; ++i) table[i] = static_cast<short>(i % 101);
    return table;
}

class Device : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server = std::make_unique<Server>();
        const int port = test::Ser2net::freeport();  // for the server's ORB
        const QString db = server->dir.filePath("devices.db");
        if (QFile f(db); f.open(QIODevice::WriteOnly))
            f.write(
                "gaspuff-tango/test/DEVICE/GasPuffValve: \"test/gaspuff/1\"\n"
                "test/gaspuff/1->Port: \"10\"\n");
        server->process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        server->process.start(GASPUFF_TANGO_PATH,
                              {"test", "-file=" + db, "-ORBendPoint",
                               QStringLiteral("giop:tcp:127.0.0.1:%1").arg(port)});
        for (QDeadlineTimer deadline(10000);
             !server->process.readAllStandardOutput().contains("Ready") && !deadline.hasExpired();)
            server->process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        server->address = QStringLiteral("tango://127.0.0.1:%1/test/gaspuff/1#dbase=no").arg(port);
        server->dev = std::make_unique<Tango::DeviceProxy>(server->address.toStdString().c_str());
    }
    static void TearDownTestSuite() {
        server->dev.reset();
        server->process.terminate();  // by its pid
        if (!server->process.waitForFinished(5000)) server->process.kill();
        server.reset();
    }
    void TearDown() override { sim.reset(); }

    // A simulator as Com 10, opened anew by Init; true once its first status
    // line is known.
    bool plug(const QStringList& args) {
        sim.reset();
        // What an earlier test linked stays open in the server until Init.
        QFile::remove(server->ports.path() + "/com10");
        sim.emplace(args);
        dev().command_inout("Init");
        return waitfor([&] { return !text(dev(), "ControllerState").empty(); }, 3000);
    }
    static Tango::DeviceProxy& dev() { return *server->dev; }

    std::optional<test::SimProcess> sim;
};

struct Seen : Tango::CallBack {
    std::vector<std::string> values;
    void push_event(Tango::EventData* e) override {
        std::string v;
        if (!e->err && (*e->attr_value >> v)) values.push_back(v);
    }
};

TEST_F(Device, StateAndAttributesFollowTheControllerAndChangesArriveAsEvents) {
    ASSERT_TRUE(plug({"--status-ms", "50"})) << sim->errors().toStdString();
    EXPECT_EQ(dev().state(), Tango::ON);
    EXPECT_NE(text(dev(), "Link").find(": open"), std::string::npos) << text(dev(), "Link");
    Seen seen;
    const int id = dev().subscribe_event("ControllerState", Tango::CHANGE_EVENT, &seen);
    // Command, then ControllerState, AutoArm, the Tango state and words of the status.
    const std::tuple<const char*, std::string, std::string, Tango::DevState, std::string> rows[] = {
        {"Standby", "standby", "off", Tango::STANDBY, "Controller in standby, auto-arm off"},
        {"Arm", "armed", "off", Tango::ALARM, "Controller armed, auto-arm off, uptime "},
        {"AutoArmOn", "armed", "on", Tango::ALARM, "auto-arm on"},
        {"Shoot", "generate", "on", Tango::RUNNING, "Controller firing a shot"},
        {"Stop", "stop", "on", Tango::ON, "Controller stopped"},
        {"AutoArmOff", "stop", "off", Tango::ON, "(Port 10 open)"},
    };
    for (const auto& [command, state, autoarm, tango, words] : rows) {
        dev().command_inout(command);
        EXPECT_TRUE(waitfor(
            [&] {
                return text(dev(), "ControllerState") == state &&
                       text(dev(), "AutoArm") == autoarm && dev().state() == tango &&
                       dev().status().find(words) != std::string::npos;
            },
            2000))
            << command << ": " << dev().status();
    }
    EXPECT_NE(text(dev(), "LastMessage").find("stopped"), std::string::npos);
    EXPECT_FALSE(text(dev(), "Uptime").empty());
    EXPECT_TRUE(waitfor([&] { return seen.values.size() >= 5; }, 2000));
    dev().unsubscribe_event(id);
    const std::vector<std::string> firsts(seen.values.begin(), seen.values.begin() + 5);
    EXPECT_EQ(firsts, (std::vector<std::string>{"stop", "standby", "armed", "generate", "stop"}));
}

TEST_F(Device, CommandsWriteThePanelsBytesAndASilentLineIsUnknown) {
    test::RawPty line;
    server->ports.link(10, line.slavepath());
    dev().command_inout("Init");
    const std::pair<const char*, QByteArray> rows[] = {
        {"Arm", "arm\r"},     {"AutoArmOn", "auto_arm_on\r"}, {"AutoArmOff", "auto_arm_off\r"},
        {"Shoot", "shoot\r"}, {"Standby", "standby\r"},       {"Stop", "stop\r"},
    };
    for (const auto& [command, bytes] : rows) {
        dev().command_inout(command);
        EXPECT_EQ(line.read(1000, bytes.size()), bytes) << command;
    }
    // Nothing came for a second.
    EXPECT_TRUE(waitfor([&] { return dev().state() == Tango::UNKNOWN; }, 3000)) << dev().status();
    EXPECT_NE(dev().status().find("Communication timeout"), std::string::npos);
    const QByteArray said = "armed|7|on\rvalve \x01hot\\\r";
    ASSERT_EQ(::write(line.masterfd(), said.constData(), said.size()), said.size());
    EXPECT_TRUE(waitfor([&] { return dev().state() == Tango::ALARM; }, 2000)) << dev().status();
    EXPECT_EQ(text(dev(), "LastMessage"), R"(valve \x01hot\\)");
}

TEST_F(Device, AWaveformWriteIsVerifiedAndWhatTheControllerHoldsIsNamed) {
    // The simulator's options, the table written, the refusal (empty: none).
    const std::tuple<QStringList, std::vector<short>, std::string> rows[] = {
        {{"--fast"}, counting(), ""},
        {{"--fast", "--corrupt", "1"},
         counting(),
         "VerificationFailed: Verification failed: 1 of "
         "the 1000 entries not read back as written: "
         "t=500: wrote 96, holds 0"},
        {{"--fast"}, {1, 2, 3}, "WrongLength: Waveform takes exactly 1000 values, not 3"},
    };
    for (const auto& [options, written, refused] : rows) {
        ASSERT_TRUE(plug(options)) << sim->errors().toStdString();
        std::vector<short> values = written;
        Tango::DeviceAttribute value("Waveform", values);
        const std::string got = refusal([&] { dev().write_attribute(value); });
        EXPECT_TRUE(refused.empty() ? got.empty() : got.starts_with(refused)) << got;
        if (refused.empty()) {
            EXPECT_EQ(table(dev()), written);
        }
    }
}

TEST_F(Device, ReadBackTakesTheControllersTable) {
    ASSERT_TRUE(plug({"--fast"})) << sim->errors().toStdString();  // with its start-up table
    dev().command_inout("ReadBack");
    const Waveform held = gaspuff::sim::demotable();
    EXPECT_EQ(::table(dev()), std::vector<short>(held.begin(), held.end()));
}

TEST_F(Device, ALostLineIsFaultAndReopenedByItself) {
    ASSERT_TRUE(plug({"--status-ms", "50"})) << sim->errors().toStdString();
    sim.reset();  // killed outright
    EXPECT_TRUE(waitfor([&] { return dev().state() == Tango::FAULT; }, 3000)) << dev().status();
    EXPECT_EQ(text(dev(), "ControllerState"), "");
    EXPECT_NE(dev().status().find("the link was lost"), std::string::npos) << dev().status();
    EXPECT_NE(refusal([&] { dev().command_inout("Arm"); }).find("Not connected! (Port 10"),
              std::string::npos);
    sim.emplace(QStringList{"--status-ms", "50"});  // back: the device retries by itself
    EXPECT_TRUE(waitfor([&] { return dev().state() == Tango::ON; }, 8000)) << dev().status();
}

TEST_F(Device, ATransferRefusesOtherClientsLockedCommands) {
    ASSERT_TRUE(plug({"--stall-ms", "1000"})) << sim->errors().toStdString();
    Tango::DeviceProxy other(server->address.toStdString().c_str());
    std::vector<short> table = counting();
    Tango::DeviceAttribute value("Waveform", table);
    const long id = dev().write_attribute_asynch(value);
    ASSERT_TRUE(waitfor([&] { return other.status().find("transfer") != std::string::npos; }, 2000))
        << other.status();
    for (const char* command : {"Init", "Arm", "Shoot", "Stop", "ReadBack"})
        EXPECT_EQ(refusal([&] { other.command_inout(command); }).substr(0, 19),
                  "TransferInProgress:")
            << command;
    EXPECT_EQ(refusal([&] { other.command_inout("AutoArmOn"); }), "");
    EXPECT_EQ(refusal([&] { dev().write_attribute_reply(id, 3000); }), "");
}

}  // namespace
