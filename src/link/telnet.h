// SPDX-License-Identifier: MIT
#pragma once
// Telnet with the COM-PORT-OPTION, as a network serial server speaks it, on
// bytes alone: what the server sends becomes the line's characters plus the
// answers owed to it, and the line's characters become what the server
// expects. No socket here, so every rule is checked on bytes.
#include <QByteArray>
#include <QByteArrayView>

#include "link/portsettings.h"

namespace gaspuff {

class TelnetCodec {
  public:
    // Telnet's bytes (the ones this client meets).
    enum : unsigned char {
        SE = 240,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255,
    };
    // Options.
    enum : unsigned char { Binary = 0, Echo = 1, SuppressGoAhead = 3, ComPort = 44 };
    // COM-PORT-OPTION commands the client sends; the server answers each with
    // the command + 100, which is read and dropped.
    enum : unsigned char { SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4 };

    // settings: what the remote port is set to once the server agrees.
    explicit TelnetCodec(const PortSettings& settings) : settings_(settings) {}

    // What the client says first: it offers the COM-PORT-OPTION and an 8-bit
    // clean line both ways. Nothing waits for the answers: the line works
    // whether the server agrees, refuses or never answers.
    QByteArray greeting();
    // Takes bytes from the server (a command may be split across chunks);
    // returns the line's characters and appends to reply what the client
    // must send back.
    QByteArray decode(QByteArrayView chunk, QByteArray& reply);
    // The line's characters as sent: 0xFF doubled.
    static QByteArray escape(QByteArrayView text);
    // The four subnegotiations that set the remote port to settings.
    static QByteArray settingscommands(const PortSettings& settings);

    // Whether the server has agreed to the COM-PORT-OPTION.
    bool comport() const { return local_[ComPort] == On; }

  private:
    enum Option : unsigned char { Off, Asked, On };
    enum State { Data, Command, Verb, Sub, SubCommand };

    void onverb(unsigned char verb, unsigned char option, QByteArray& reply);
    static bool wanted(unsigned char option);

    PortSettings settings_;
    State state_ = Data;
    unsigned char verb_ = 0;
    Option local_[256] = {};   // options this client performs
    Option remote_[256] = {};  // options the server performs
};

}  // namespace gaspuff
