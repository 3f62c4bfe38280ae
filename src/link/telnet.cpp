// SPDX-License-Identifier: MIT
#include "link/telnet.h"

#include <initializer_list>

namespace gaspuff {
namespace {

QByteArray bytes(std::initializer_list<unsigned char> list) {
    QByteArray out;
    for (const unsigned char c : list) out += static_cast<char>(c);
    return out;
}

QByteArray command(unsigned char verb, unsigned char option) {
    return bytes({TelnetCodec::IAC, verb, option});
}

}  // namespace

bool TelnetCodec::wanted(unsigned char option) {
    return option == Binary || option == SuppressGoAhead || option == ComPort;
}

QByteArray TelnetCodec::greeting() {
    local_[ComPort] = local_[Binary] = Asked;
    remote_[Binary] = remote_[SuppressGoAhead] = Asked;
    return command(WILL, ComPort) + command(WILL, Binary) + command(DO, Binary) +
           command(DO, SuppressGoAhead);
}

QByteArray TelnetCodec::decode(QByteArrayView chunk, QByteArray& reply) {
    QByteArray out;
    out.reserve(chunk.size());
    for (const char ch : chunk) {
        const auto c = static_cast<unsigned char>(ch);
        switch (state_) {
            case Data:
                if (c == IAC)
                    state_ = Command;
                else
                    out += ch;
                break;
            case Command:
                if (c == IAC) {
                    out += ch;  // a doubled 0xFF is one character of the line
                    state_ = Data;
                } else if (c >= WILL) {
                    verb_ = c;
                    state_ = Verb;
                } else {
                    state_ = c == SB ? Sub : Data;  // NOP, GA, BREAK ...: nothing for the line
                }
                break;
            case Verb:
                onverb(verb_, c, reply);
                state_ = Data;
                break;
            case Sub:  // the server's answers to the settings, and anything else: dropped
                if (c == IAC) state_ = SubCommand;
                break;
            case SubCommand:
                state_ = c == SE ? Data : Sub;
                break;
        }
    }
    return out;
}

// Answers only what changes an option's state, so two ends can never keep
// answering each other.
void TelnetCodec::onverb(unsigned char verb, unsigned char option, QByteArray& reply) {
    const bool yes = verb == WILL || verb == DO;
    Option& state = (verb == DO || verb == DONT) ? local_[option] : remote_[option];
    const unsigned char agree = verb == DO ? WILL : verb == WILL ? DO : verb == DONT ? WONT : DONT;
    if (yes && wanted(option)) {
        if (state == Off) reply += command(agree, option);
        const bool enabled = state != On;
        state = On;
        if (enabled && verb == DO && option == ComPort) reply += settingscommands(settings_);
    } else if (yes) {
        reply += command(verb == DO ? WONT : DONT, option);  // refused (an echo among them)
    } else {
        if (state == On) reply += command(agree, option);
        state = Off;
    }
}

QByteArray TelnetCodec::escape(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    for (const char ch : text) {
        out += ch;
        if (static_cast<unsigned char>(ch) == IAC) out += ch;
    }
    return out;
}

QByteArray TelnetCodec::settingscommands(const PortSettings& s) {
    const auto sub = [](unsigned char what, QByteArrayView value) {
        return bytes({IAC, SB, ComPort, what}) + escape(value) + bytes({IAC, SE});
    };
    const auto baud = static_cast<quint32>(s.baud);
    const char be[4] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    const char parity = s.parity == 'o'   ? 2
                        : s.parity == 'e' ? 3
                        : s.parity == 'm' ? 4
                        : s.parity == 's' ? 5
                                          : 1;
    const char stop = s.stopbits == 20 ? 2 : s.stopbits == 15 ? 3 : 1;
    const char data = static_cast<char>(s.databits);
    return sub(SetBaudRate, QByteArrayView(be, 4)) + sub(SetDataSize, QByteArrayView(&data, 1)) +
           sub(SetParity, QByteArrayView(&parity, 1)) + sub(SetStopSize, QByteArrayView(&stop, 1));
}

}  // namespace gaspuff
