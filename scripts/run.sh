#!/usr/bin/env bash
# Builds and starts Kelvaset. With no USB or ACM serial adapter attached, a
# sensor simulator is started on a virtual serial port first, so there is a
# sensor to connect to; it stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc)" --target kelvaset kelvane-sim

simulator_pid=""
port_args=()
if ! ls /dev/ttyUSB* /dev/ttyACM* >/dev/null 2>&1; then
    echo "No serial adapter attached: starting the sensor simulator on a virtual port."
    # The sensor keeps what it was told to save, as a real one would.
    state_dir="${XDG_STATE_HOME:-$HOME/.local/state}/kelvaset"
    mkdir -p "$state_dir"
    build/release/tools/kelvane-sim --name kelvane-sim --state "$state_dir/kelvane-sim.state" --exit-with-parent &
    simulator_pid=$!
    trap 'kill "$simulator_pid" 2>/dev/null || true; wait "$simulator_pid" 2>/dev/null || true' EXIT
    sleep 1
    # The first "Open COM Port" then reaches the simulator.
    port_args=(--port kelvane-sim)
fi
build/release/kelvaset "${port_args[@]}" "$@"
