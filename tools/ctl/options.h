// SPDX-License-Identifier: MIT
#pragma once
// gaspuff-ctl's command line.
#include <QString>
#include <QStringList>
#include <optional>

namespace gaspuff::ctl {

struct CtlOptions {
    QString command;   // status, arm, standby, stop, shoot, auto-arm, send or get
    QStringList args;  // the command's own arguments
    int port = 10;     // "Com N", unless device is given
    QString device;
    bool json = false;
    bool wait = false;
    bool verify = true;
    QString logfile;
};

// Reads args (the program's name first) into options. The exit status when
// the program ends here: after its help or version, or a bad command line.
std::optional<int> readoptions(const QStringList& args, CtlOptions& options);

}  // namespace gaspuff::ctl
