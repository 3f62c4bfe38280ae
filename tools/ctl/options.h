// SPDX-License-Identifier: MIT
#pragma once
// gaspuff-ctl's command line.
#include <QString>
#include <QStringList>

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

struct ParsedOptions {
    enum class Kind { Run, Help, Version, Bad };
    Kind kind = Kind::Run;
    CtlOptions options;
    QString error;  // for Bad: what is wrong, in one line
};

// args: the arguments after the program name. Options go anywhere, their
// value as the next argument or after "="; "--" ends them.
ParsedOptions parseoptions(const QStringList& args);

QString helptext();

}  // namespace gaspuff::ctl
