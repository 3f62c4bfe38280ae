// SPDX-License-Identifier: MIT
#pragma once
// What each command does on the line and what it prints.
namespace gaspuff {
class SessionLog;
}

namespace gaspuff::ctl {

class Client;
struct CtlOptions;

// Runs options.command, from opening the port to judging what the controller
// answered; returns the exit status. The caller closes the port.
int run(const CtlOptions& options, Client& client, SessionLog* log);

}  // namespace gaspuff::ctl
