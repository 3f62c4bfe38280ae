// SPDX-License-Identifier: MIT
#pragma once
// The simulator's command line.
#include <QString>
#include <QStringList>

#include "controller.h"

namespace gaspuff::sim {

struct SimOptions {
    ControllerSettings controller;  // its table is filled in at start-up
    int port = 10;                  // linked as "Com N"
    bool link = true;
    bool fast = false;       // no pacing
    double unplugafter = 0;  // seconds; 0: never
    QString tablefile;       // the table to start with, a waveform file
    QString dumpfile;        // where each loaded table is written
};

struct ParsedOptions {
    enum class Kind { Run, Help, Version, Bad };
    Kind kind = Kind::Run;
    SimOptions options;
    QString error;  // for Bad: what is wrong, in one line
};

// args: the arguments after the program name. Options take their value as
// the next argument or after "=".
ParsedOptions parseoptions(const QStringList& args);

QString helptext();

}  // namespace gaspuff::sim
