#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# A command's round trip and a verified waveform write, through gaspuff-tango
# (client call to the change event that confirms it) and with gaspuff-ctl
# (a whole run: start, open, command, confirming status line), on one paced
# simulator in the same run. Prints medians in milliseconds, one "name value"
# a line. Every process it starts it stops by its pid.
#
#   scripts/lib/tango-bench.py BUILD_DIR [RUNS]
import os, socket, statistics, subprocess, sys, tempfile, threading, time

import tango

build = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
work = tempfile.TemporaryDirectory()
env = dict(os.environ, XDG_CONFIG_HOME=work.name, XDG_RUNTIME_DIR=work.name)
started = []


def start(*args):
    p = subprocess.Popen(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True)
    started.append(p)
    return p


def stop(p):
    p.terminate()
    p.wait(5)


def freeport():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


table = [(7 * i) % 101 for i in range(1000)]
try:
    sim = start(f"{build}/tools/sim/gaspuff-sim", "--status-ms", "50")
    sim.stdout.readline()  # its terminal, once the link is in place
    db = os.path.join(work.name, "devices.db")
    with open(db, "w") as f:
        f.write('gaspuff-tango/bench/DEVICE/GasPuffValve: "bench/gaspuff/1"\n'
                'bench/gaspuff/1->Port: "10"\n')
    port = freeport()
    server = start(f"{build}/tools/tango/gaspuff-tango", "bench", "-file=" + db,
                   "-ORBendPoint", f"giop:tcp:127.0.0.1:{port}")
    while "Ready" not in server.stdout.readline():
        pass
    dev = tango.DeviceProxy(f"tango://127.0.0.1:{port}/bench/gaspuff/1#dbase=no")
    end = time.monotonic() + 5
    while dev.state() != tango.DevState.ON and time.monotonic() < end:
        time.sleep(0.05)

    seen = threading.Condition()
    states = []

    def pushed(e):
        if not e.err:
            with seen:
                states.append(e.attr_value.value)
                seen.notify_all()

    dev.subscribe_event("ControllerState", tango.EventType.CHANGE_EVENT, pushed)
    command, write = [], []
    for i in range(runs):
        name, word = ("Standby", "standby") if i % 2 == 0 else ("Stop", "stop")
        with seen:
            t = time.perf_counter()
            dev.command_inout(name)
            seen.wait_for(lambda: states and states[-1] == word, 3)
            command.append(time.perf_counter() - t)
        t = time.perf_counter()
        dev.write_attribute("Waveform", table)
        write.append(time.perf_counter() - t)
    stop(server)

    tablefile = os.path.join(work.name, "table.txt")
    with open(tablefile, "w") as f:
        f.write("".join(f"{v}\r\n" for v in table))
    ctl = f"{build}/tools/ctl/gaspuff-ctl"
    ctlcommand, ctlwrite = [], []
    for i in range(runs):
        t = time.perf_counter()
        subprocess.run([ctl, "standby" if i % 2 == 0 else "stop"], env=env, check=True,
                       capture_output=True)
        ctlcommand.append(time.perf_counter() - t)
        t = time.perf_counter()
        subprocess.run([ctl, "send", tablefile], env=env, check=True, capture_output=True)
        ctlwrite.append(time.perf_counter() - t)
    for name, values in [("tango_command", command), ("tango_write", write),
                         ("ctl_command", ctlcommand), ("ctl_write", ctlwrite)]:
        print(name, f"{1000 * statistics.median(values):.1f}")
finally:
    for p in reversed(started):
        if p.poll() is None:
            stop(p)
