// SPDX-License-Identifier: MIT
// gaspuff-tango: the valve controller for every Tango client. Tango serves
// requests on its own threads; the lines live on the owner thread's Qt loop.
#include <tango.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "owner.h"

namespace {

const char* const kHelp =
    "Usage: gaspuff-tango INSTANCE [TANGO OPTION]...\n"
    "A Tango device server for gas-puff valve controllers: class GasPuffValve, one\n"
    "device for each controller, its serial line named by the device property Port\n"
    "(a number N for Com N, as the panel counts them, a device path, or a network\n"
    "serial server's URL such as rfc2217://HOST:PORT). INSTANCE\n"
    "is the server's instance in the Tango database that $TANGO_HOST names.\n"
    "\n"
    "Attributes: ControllerState, Uptime, AutoArm, LastMessage, Link (read) and\n"
    "Waveform (1000 values; a write is loaded, read back and verified). Commands:\n"
    "Arm, AutoArmOn, AutoArmOff, Shoot, Standby, Stop, ReadBack, Init, State, Status.\n"
    "States: stop ON, standby STANDBY, armed ALARM, load MOVING, generate RUNNING,\n"
    "no character for a second UNKNOWN, port not open or lost FAULT, opening INIT.\n"
    "\n"
    "Tango's options:\n"
    "  -v[LEVEL]         trace Tango's work at LEVEL (1 to 5)\n"
    "  -file=FILE        devices and properties from FILE instead of a database\n"
    "  -nodb -dlist DEV  serve the device DEV without any database\n"
    "  -ORBendPoint giop:tcp:HOST:PORT\n"
    "                    take requests at HOST:PORT\n"
    "\n"
    "  -h, --help        show this text and end\n"
    "  --version         show the version and end\n";

}  // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("gaspuff-tango %s\n", GASPUFF_VERSION);
            return 0;
        }
    }
    QCoreApplication app(argc, argv);
    gaspuff::tango::Owner owner;
    try {
        Tango::Util* tg = Tango::Util::init(argc, argv);
        // Started after Tango's init, the thread inherits the signal mask that
        // leaves SIGINT and SIGTERM to Tango's orderly shutdown.
        owner.start();
        // Requests are not serialized by Tango: a command during a transfer
        // is refused at once instead of queued behind it.
        tg->set_serial_model(Tango::NO_SYNC);
        tg->server_init(false);
        std::puts("Ready to accept request");
        std::fflush(stdout);
        tg->server_run();
    } catch (const std::bad_alloc&) {
        std::fputs("gaspuff-tango: out of memory\n", stderr);
        return 1;
    } catch (const CORBA::Exception& e) {
        Tango::Except::print_exception(e);
        return 1;
    }
    Tango::Util::instance()->server_cleanup();
    return 0;
}
