#!/usr/bin/env bash
# The Ringvale demo: installs what is missing, builds the program and the adapter simulator,
# prepares a working directory with a phone book, a call log and a simulated dial-up entry,
# and runs Ringvale against the simulator, which plays a few calls (demo/scenario.txt).
#
#   scripts/demo.sh               with a display: the program's windows; type simulator
#                                 commands in this terminal; quitting Ringvale ends the demo
#   scripts/demo.sh --offscreen   no windows: plays the calls, stops Ringvale, prints a summary
#                                 (also chosen when there is no $DISPLAY or $WAYLAND_DISPLAY)
#   scripts/demo.sh --mqtt        also starts a private MQTT broker (mosquitto on 127.0.0.1),
#                                 lets Ringvale publish its calls there and starts a viewer
#                                 (ringvale --viewer) beside it; combines with --offscreen
#
# Environment: BUILD_DIR (default build), DEMO_DIR (default $BUILD_DIR/demo-run),
# DEMO_ADDRESS (the simulator's private address, default 127.77.200.1),
# DEMO_TIMEOUT (offscreen: the longest the calls may take, default 150 seconds),
# DEMO_SKIP_SETUP=1 (neither install nor build), DEMO_MQTT_PORT (the broker's port, default 18830).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

offscreen=0
mqtt=0
for arg in "$@"; do
    case "$arg" in
        --offscreen) offscreen=1 ;;
        --mqtt) mqtt=1 ;;
        -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "demo.sh: unknown option $arg (try --help)" >&2; exit 2 ;;
    esac
done
if [ $offscreen = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "There is no display (neither DISPLAY nor WAYLAND_DISPLAY is set): running offscreen."
    offscreen=1
fi

build_dir=${BUILD_DIR:-build}
case "$build_dir" in /*) ;; *) build_dir=$root/$build_dir ;; esac
run_dir=${DEMO_DIR:-$build_dir/demo-run}
address=${DEMO_ADDRESS:-127.77.200.1}
timeout_s=${DEMO_TIMEOUT:-150}
mqtt_port=${DEMO_MQTT_PORT:-18830}

if [ "${DEMO_SKIP_SETUP:-0}" != 1 ]; then
    scripts/setup-deps.sh
    BUILD_DIR=$build_dir BUILD_TARGETS="ringvale ringvale-adapter-sim" scripts/build.sh
fi
ringvale=$build_dir/bin/ringvale
simulator=$build_dir/bin/ringvale-adapter-sim
for program in "$ringvale" "$simulator"; do
    if [ ! -x "$program" ]; then
        echo "demo.sh: $program is missing; the build did not make it" >&2
        exit 1
    fi
done

# A fresh working directory: Ringvale keeps its files in the directory it runs in.
rm -rf "$run_dir"
mkdir -p "$run_dir"
link=$run_dir/ttyRV
sed "s|@COMPORT@|$link|g" demo/RV.cfg.in >"$run_dir/RV.cfg"
sed "s|@COMPORT@|$link|g" demo/dialup-sim.txt.in >"$run_dir/dialup-sim.txt"
cp demo/RV.pbk demo/RV.log "$run_dir/"
cp demo/scenario.txt "$run_dir/scenario.txt"

sim_pid=""
ringvale_pid=""
broker_pid=""
viewer_pid=""
mqtt_sub_pid=""
cleanup() {
    trap - EXIT INT TERM
    if [ -n "$ringvale_pid" ] && kill -0 "$ringvale_pid" 2>/dev/null; then
        kill -TERM "$ringvale_pid" 2>/dev/null || true
        wait "$ringvale_pid" 2>/dev/null || true
    fi
    for pid in "$viewer_pid" "$mqtt_sub_pid" "$broker_pid"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    exec 3>&- 2>/dev/null || true
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT TERM

# Waits (at most 10 s) until the file has a line with the text, while the process lives.
wait_for_line() { # file text pid
    for _ in $(seq 100); do
        if grep -q "$2" "$1" 2>/dev/null; then return 0; fi
        if ! kill -0 "$3" 2>/dev/null; then break; fi
        sleep 0.1
    done
    grep -q "$2" "$1" 2>/dev/null
}

# The simulator reads its terminal commands from a pipe that this script feeds with what is
# typed here; its own log (every command and report) goes to sim.log.
mkfifo "$run_dir/sim.in"
"$simulator" --link "$link" --address "$address" --control "$run_dir/sim.ctl" \
    --scenario "$run_dir/scenario.txt" --log "$run_dir/sim.log" <"$run_dir/sim.in" &
sim_pid=$!
exec 3>"$run_dir/sim.in"
if ! wait_for_line "$run_dir/sim.log" "INFO READY" "$sim_pid"; then
    echo "demo.sh: the adapter simulator did not start:" >&2
    cat "$run_dir/sim.log" >&2 2>/dev/null || true
    exit 1
fi

# --mqtt: a private broker for the demo (never the system's), everything it sees logged to
# mqtt.log, Ringvale publishing to it as ringvale/demo, and a viewer in a folder of its own.
if [ $mqtt = 1 ]; then
    mkdir -p "$run_dir/broker" "$run_dir/viewer"
    {
        echo "listener $mqtt_port 127.0.0.1"
        echo "allow_anonymous true"
        echo "user $(id -un)"
        echo "log_dest file $run_dir/broker/mosquitto.log"
    } >"$run_dir/broker/mosquitto.conf"
    mosquitto -c "$run_dir/broker/mosquitto.conf" &
    broker_pid=$!
    if ! wait_for_line "$run_dir/broker/mosquitto.log" " running" "$broker_pid"; then
        echo "demo.sh: the MQTT broker did not start on port $mqtt_port:" >&2
        cat "$run_dir/broker/mosquitto.log" >&2 2>/dev/null || true
        exit 1
    fi
    stdbuf -oL mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" -v -t 'ringvale/#' -t 'homeassistant/#' >"$run_dir/mqtt.log" &
    mqtt_sub_pid=$!
    network="MqttEnabled=Y\r\nMqttHost=127.0.0.1\r\nMqttPort=$mqtt_port\r\nMqttTls=N\r\nMqttTopicPrefix=ringvale/demo\r\n"
    printf "$network" >"$run_dir/viewer/RV.cfg"
    printf "${network}MqttAllowCommands=Y\r\nMqttHomeAssistant=Y\r\n" >>"$run_dir/RV.cfg"
fi

export RINGVALE_ADAPTER_ADDRESS=$address
export RINGVALE_DIALUP=sim
export RINGVALE_DIALUP_SIM_FILE=$run_dir/dialup-sim.txt
if [ $offscreen = 1 ]; then
    export QT_QPA_PLATFORM=offscreen
fi
(cd "$run_dir" && exec "$ringvale") >"$run_dir/ringvale.out" 2>&1 &
ringvale_pid=$!
if [ $mqtt = 1 ]; then
    (cd "$run_dir/viewer" && exec "$ringvale" --viewer) >"$run_dir/viewer/viewer.out" 2>&1 &
    viewer_pid=$!
    cat <<EOF

MQTT: Ringvale publishes to the broker on 127.0.0.1:$mqtt_port as ringvale/demo (status, calls,
log, state; Home Assistant discovery under homeassistant/); every message is in
$run_dir/mqtt.log. The "Ringvale Viewer" window beside it shows the calls as a
second desktop would (its trace: $run_dir/viewer/RingvaleViewer.dbg); its Reject and
Block buttons work on offered calls. Watch yourself: mosquitto_sub -p $mqtt_port -v -t 'ringvale/#'
EOF
fi

cat <<EOF

Ringvale is running in $run_dir
against ringvale-adapter-sim (pty $link, UDP $address:2323).

The simulator plays these calls (demo/scenario.txt), about a minute in all:
  1. Ann Lee calls Phone 1; the handset is lifted, Ringvale answers; later it hangs up.
  2. Bob Stone calls Phone 2 and gives up: a missed call ("1 New Call" ... in the tray).
  3. A caller withholding the number is rejected ("Ignore callers with blocked numbers").
  4. 800-555-0199, marked "Ignore Caller" in the phone book, is rejected.
  5. Carol keys *99# during her call: Ringvale hangs up and connects "Demo ISP"
     (simulated dial-up); the adapter link moves to UDP ("Online to Demo ISP").
  6. Ann calls again and keys *99#: the connection ends, the link is back on the serial port.

Files: RV.cfg, RV.pbk, RV.log and the trace Ringvale.dbg in $run_dir;
the simulator's log in $run_dir/sim.log.
EOF

if [ $offscreen = 1 ]; then
    echo
    echo "Offscreen: waiting for the calls to be played (at most $timeout_s seconds)..."
    result=timeout
    for _ in $(seq $((timeout_s * 2))); do
        if grep -q "INFO scenario done" "$run_dir/sim.log"; then result="done"; break; fi
        if grep -q "INFO scenario failed" "$run_dir/sim.log"; then result=failed; break; fi
        if ! kill -0 "$ringvale_pid" 2>/dev/null; then result=ended; break; fi
        sleep 0.5
    done
    status=0
    if kill -0 "$ringvale_pid" 2>/dev/null; then
        kill -TERM "$ringvale_pid"
        wait "$ringvale_pid" || status=$?
    else
        wait "$ringvale_pid" || status=$?
    fi
    ringvale_pid=""
    echo
    echo "The scenario: $result. Ringvale ended with status $status."
    echo "Activity (from $run_dir/Ringvale.dbg):"
    grep -v -E '^[0-9-]+ [0-9:]+ (TX: |RX: |<dbg> )' "$run_dir/Ringvale.dbg" | sed 's/^/  /' || true
    echo "Call log ($run_dir/RV.log):"
    sed 's/^/  /' "$run_dir/RV.log" | tr -d '\r'
    if [ $mqtt = 1 ]; then
        for _ in $(seq 50); do # the retained "offline" of the shut-down reaches mqtt.log
            if grep -q '^ringvale/demo/status offline' "$run_dir/mqtt.log"; then break; fi
            sleep 0.1
        done
        echo "Published call log records ($run_dir/mqtt.log):"
        grep '^ringvale/demo/log ' "$run_dir/mqtt.log" | sed 's/^/  /' || true
        echo "What the viewer saw ($run_dir/viewer/RingvaleViewer.dbg):"
        grep -E 'incoming call|call log' "$run_dir/viewer/RingvaleViewer.dbg" | sed 's/^/  /' || true
        if ! grep -q '^ringvale/demo/status offline' "$run_dir/mqtt.log" ||
            ! grep -q '^ringvale/demo/log ' "$run_dir/mqtt.log" ||
            ! grep -q 'Viewer: call log' "$run_dir/viewer/RingvaleViewer.dbg"; then
            echo "demo.sh: the calls did not reach the broker and the viewer" >&2
            status=1
        fi
    fi
    if [ "$result" != "done" ] || [ "$status" != 0 ]; then
        echo "demo.sh: the demo did not run through" >&2
        grep -E "ERR|failed" "$run_dir/sim.log" | sed 's/^/  /' >&2 || true
        exit 1
    fi
    exit 0
fi

cat <<EOF

Try more yourself: type simulator commands here, one per line, for example
  ring 1 4085551212 5551212   Ann calls Phone 1 (the popup names her)
  offhook 1                   lift the handset of Phone 1 (Ringvale answers)
  dtmf 1 *99#                 the caller keys the remote-control sequence
  onhook 1                    put the handset down (Ringvale hangs up)
  ring 2 - 5551212            a withheld number (rejected)
  hangup-far 2                the caller gives up
  status                      the simulator's ports and calls;  help: every command
In Ringvale: the Phone Book and Call Log windows, "&Configure", "&Internet" (Connect to
Demo ISP), "&Help". Quitting Ringvale ends the demo (Ctrl-D here only stops the typing).

EOF
typing=1
while kill -0 "$ringvale_pid" 2>/dev/null; do
    if [ $typing = 1 ]; then
        if IFS= read -r -t 1 line; then
            printf '%s\n' "$line" >&3
        elif [ $? -le 128 ]; then
            typing=0 # end of input
        fi
    else
        wait "$ringvale_pid" || true
    fi
done
wait "$ringvale_pid" 2>/dev/null || true
ringvale_pid=""
echo "Ringvale has quit; stopping the simulator."
