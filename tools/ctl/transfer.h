// SPDX-License-Identifier: MIT
#pragma once
// The waveform between a file and the controller: send (and verify) and get.
#include <QString>

#include "waveform/table.h"

namespace gaspuff {
class SessionLog;
}

namespace gaspuff::ctl {

class Client;

// How many differing entries a failed verification names.
constexpr int kDifferencesShown = 5;

// Reads name into table as the panel's Load does; the exit status.
int loadfile(const QString& name, Waveform& table, SessionLog* log);
// "load" and the table, then, if verify, "get" and the comparison.
int sendtable(Client& client, const Waveform& table, bool verify);
// "get", then the table to the file name, or to standard output for "-".
int gettable(Client& client, const QString& name, SessionLog* log);

}  // namespace gaspuff::ctl
