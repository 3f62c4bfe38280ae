// SPDX-License-Identifier: MIT
#pragma once
// The simulator's command line.
#include <QString>
#include <QStringList>
#include <optional>

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

// Reads args (the program's name first) into options. The exit status when
// the program ends here: after its help or version, or a bad command line.
std::optional<int> readoptions(const QStringList& args, SimOptions& options);

}  // namespace gaspuff::sim
