// SPDX-License-Identifier: MIT
// Network port names, and Telnet with the COM-PORT-OPTION on bytes alone.
#include "link/telnet.h"

#include <gtest/gtest.h>

#include "link/networkaddress.h"
#include "link/networkport.h"
#include "rawpty.h"

using namespace gaspuff;

namespace {
QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}
}  // namespace

TEST(NetworkNames, UrlsDirectlyOrThroughAComLinkWithClearRefusals) {
    test::PortsFolder ports;
    ports.link(3, "rfc2217://gas-hall.lab:7000");
    ports.link(4, "/dev/ttyUSB0");
    EXPECT_EQ(networkname(ports.path() + "/com3"), "rfc2217://gas-hall.lab:7000");
    EXPECT_EQ(networkname(ports.path() + "/com4"), "");
    EXPECT_EQ(networkname("socket://10.0.0.7:4001"), "socket://10.0.0.7:4001");
    // A good URL: RFC 2217 or not, host, port.
    const std::tuple<const char*, bool, QString, int> good[] = {
        {"socket://10.0.0.7:4001", false, "10.0.0.7", 4001},
        {"rfc2217://[::1]:65535/", true, "::1", 65535},
        {"rfc2217://gas-hall.lab:7000", true, "gas-hall.lab", 7000},
    };
    QString why;
    for (const auto& [url, rfc2217, host, port] : good) {
        const auto a = parsenetworkaddress(url, why);
        EXPECT_TRUE(a && std::tuple(a->rfc2217, a->host, int(a->port)) ==
                             std::tuple(rfc2217, host, port))
            << url;
    }
    for (const char* url : {"socket://10.0.0.7", "socket://h:0", "socket://h:65536",
                            "socket://h:1?timeout=3", "telnet://h:1"})
        EXPECT_TRUE(!parsenetworkaddress(url, why) && why.contains(url) &&
                    why.contains("rfc2217://HOST:PORT"))
            << url;
    // Opening: a malformed URL, or a name nobody knows, does not exist; a name
    // not answered for fails. Names are looked up here by a stand-in: nothing
    // may leave the machine.
    NetworkPort port;
    port.seturl("rfc2217://127.0.0.1");
    EXPECT_EQ(port.open(), SerialPort::NoSuchPort);
    EXPECT_TRUE(port.errorstring().contains("rfc2217://HOST:PORT"));
    port.seturl("socket://gas-hall.invalid:4001");
    for (const bool notfound : {true, false}) {
        port.setresolver([&](const QString&, int) {
            return NetworkPort::Lookup{{}, notfound, "no answer"};
        });
        EXPECT_EQ(port.open(), notfound ? SerialPort::NoSuchPort : SerialPort::OpenFailed);
        EXPECT_EQ(port.errorstring(), "no answer");
    }
}

TEST(Telnet, ServerBytesBecomeTheLineAndTheOwedAnswers) {
    // 9600 7E2 set once the server agrees to the COM-PORT-OPTION.
    const QByteArray settings =
        hex("fffa2c0100002580fff0 fffa2c0207fff0 fffa2c0303fff0 fffa2c0402fff0");
    const struct {
        const char* name;
        std::vector<QByteArray> chunks;
        QByteArray line, reply;
        bool comport;
    } rows[] = {
        {"plain", {"arm\r"}, "arm\r", "", false},
        {"0xFF doubled", {hex("41ffff42")}, hex("41ff42"), "", false},
        {"split 0xFF", {hex("41ff"), hex("ff42")}, hex("41ff42"), "", false},
        {"split verb", {hex("ff"), hex("fb"), hex("0141")}, "A", hex("fffe01"), false},
        {"ser2net's opening",
         {hex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c") + "stop"},
         "stop",
         hex("fffb03fffe01") + settings,
         true},
        {"asked twice", {hex("fffd2cfffd2c")}, "", settings, true},
        {"refused", {hex("fffe2c") + "ok"}, "ok", "", false},
        {"answers dropped",
         {hex("fffa2c650001c200fff0fffa2c65ff"), hex("fffff041")},
         "A",
         "",
         false},
        {"unknown option", {hex("fffd18fff141")}, "A", hex("fffc18"), false},
        {"withdrawn", {hex("fffb00fffc00fffc00")}, "", hex("fffe00"), false},
    };
    for (const auto& r : rows) {
        TelnetCodec codec(*PortSettings::parse("9600,e,7,2"));
        EXPECT_EQ(codec.greeting(), hex("fffb2cfffb00fffd00fffd03"));
        QByteArray line, reply;
        for (const QByteArray& chunk : r.chunks) line += codec.decode(chunk, reply);
        EXPECT_EQ(line, r.line) << r.name;
        EXPECT_EQ(reply.toHex(' '), r.reply.toHex(' ')) << r.name;
        EXPECT_EQ(codec.comport(), r.comport) << r.name;
    }
    EXPECT_EQ(TelnetCodec::escape(hex("ff41ff")), hex("ffff41ffff"));
}
