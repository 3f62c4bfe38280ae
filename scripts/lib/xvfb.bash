# SPDX-License-Identifier: MIT
# Sourced by the scripts that need an X server of their own.
#   xvfb_start   starts Xvfb on a free display (it picks the number itself, so
#                two scripts cannot take the same one), waits at most 10 s for
#                it to accept clients, exports DISPLAY and sets xvfb_pid
#   xvfb_stop    ends that Xvfb, by its pid, within 5 s
#   alive PID    whether the process runs (a zombie does not)
#   endwithin SECONDS PID    waits for it to end, KILLs it once the seconds
#                            are up, reaps it when it is a child of this shell
#   stopwithin SECONDS PID   the same after a TERM

xvfb_pid=

alive() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [ "${state:0:1}" != Z ]
}

endwithin() {
    local seconds=$1 pid=$2 i
    for ((i = 0; i < seconds * 20; i++)); do
        alive "$pid" || break
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

stopwithin() {
    kill -TERM "$2" 2>/dev/null || true
    endwithin "$@"
}

xvfb_start() {
    local ready n= i
    ready=$(mktemp)
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$ready" 2>/dev/null &
    xvfb_pid=$!
    # Xvfb writes its display number, and a newline, once it takes clients.
    for ((i = 0; i < 200; i++)); do
        read -r n <"$ready" && break
        n=
        alive "$xvfb_pid" || break
        sleep 0.05
    done
    rm -f "$ready"
    if [ -z "$n" ]; then
        echo "xvfb_start: Xvfb did not start within 10 s" >&2
        xvfb_stop
        return 1
    fi
    export DISPLAY=":$n"
}

xvfb_stop() {
    [ -n "$xvfb_pid" ] || return 0
    stopwithin 5 "$xvfb_pid"
    xvfb_pid=
}
