// SPDX-License-Identifier: MIT
// gaspuff-ctl: the controller protocol from the command line, for scripts.
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "client.h"
#include "commands.h"
#include "interrupts.h"
#include "link/comname.h"
#include "options.h"
#include "protocol/sessionlog.h"
#include "waveform/files.h"

using namespace gaspuff;
using namespace gaspuff::ctl;

namespace {

// Everything after the signal handlers are in place; the exit status.
int runprogram(const QStringList& args, const Interrupts& interrupts) {
    const ParsedOptions parsed = parseoptions(args);
    switch (parsed.kind) {
        case ParsedOptions::Kind::Help:
            std::fputs(helptext().toLocal8Bit().constData(), stdout);
            return 0;
        case ParsedOptions::Kind::Version:
            std::printf("gaspuff-ctl %s\n", GASPUFF_VERSION);
            return 0;
        case ParsedOptions::Kind::Bad:
            say(parsed.error);
            std::fputs("Try 'gaspuff-ctl --help'.\n", stderr);
            return kUsage;
        case ParsedOptions::Kind::Run:
            break;
    }
    const CtlOptions& options = parsed.options;
    std::unique_ptr<SessionLog> log;
    if (!options.logfile.isEmpty()) {
        log = std::make_unique<SessionLog>(options.logfile);
        log->onfailure([](const QString& text) { say(text); });
    }
    if (options.device.isEmpty())
        if (const QString warning = portsfolderwarningonce(); !warning.isEmpty()) say(warning);
    Client client(log.get(), &interrupts);
    int code = run(options, client, log.get());
    if (const qint64 dropped = client.close(); dropped > 0) {
        say(LinkSession::unsentwords(dropped));
        if (code == kSuccess) code = kNotConfirmed;
    }
    return code;
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList args;
    // File names are taken as the bytes given, valid in the locale or not.
    for (int i = 1; i < argc; ++i) args << decodedname(argv[i]);
    QCoreApplication app(argc, argv);
    // First of all, so that the two signals end the program at every moment.
    Interrupts interrupts;
    const int code = runprogram(args, interrupts);
    return interrupts.signal() != 0 ? 128 + interrupts.signal() : code;
}
