#!/usr/bin/env bash
# Builds Release (build-bench/) and prints one table of every figure: the benchmark programs
# (line throughput against a one-byte-per-lock baseline, link latency, the stores, the
# 100,000-row phone book window, one delete command of 1,000 rows in the phone book window
# (10,000 rows) and the call log window (100,000 rows) on the window thread, the search field over
# 100,000 phone book rows per keystroke, importing 10,000 vCards and exporting 100,000 call log
# rows as CSV, the cost of one
# thread hand-over on this machine) and the
# whole program on the adapter simulator (idle voluntary context switches over 10 s, off-hook
# -> "AT*pA/id" latency over 1,000 round trips, again with the program on one CPU, peak RSS
# with empty stores and with a 100,000-entry phone book, CPU seconds over 10 s after a
# remote-control connect and disconnect on the simulated dial-up service) and,
# with a private MQTT broker, the offered report -> published "offered" event latency and the
# off-hook latency with the publisher on.
# Usage: scripts/bench.sh        Env: BENCH_BUILD_DIR, BENCH_BUILD_JOBS (default 2),
#        BENCH_IDLE_SECONDS (10), BENCH_ROUND_TRIPS (1000).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${BENCH_BUILD_DIR:-build-bench}"
JOBS="${BENCH_BUILD_JOBS:-2}"
OUT="$BUILD/bench-results"

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
benches=$(cd bench && ls bench_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build "$BUILD" --target ringvale ringvale-adapter-sim $benches -j"$JOBS" >/dev/null
mkdir -p "$OUT"

status=0
for b in $benches; do
    if [ -x "$BUILD/bench/$b" ]; then
        if ! QT_QPA_PLATFORM=offscreen "$BUILD/bench/$b" >"$OUT/$b.txt" 2>&1; then
            echo "FAILED" >>"$OUT/$b.txt"
            status=1
        fi
    fi
done

QT_QPA_PLATFORM=offscreen python3 - "$BUILD" "$OUT" "${BENCH_IDLE_SECONDS:-10}" "${BENCH_ROUND_TRIPS:-1000}" \
    >"$OUT/program.txt" 2>&1 <<'PY' || status=1
import glob, os, re, shutil, socket, subprocess, sys, tempfile, time

build, out, idle_seconds, trips = os.path.abspath(sys.argv[1]), sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
sim_bin, prog_bin = os.path.join(build, "bin", "ringvale-adapter-sim"), os.path.join(build, "bin", "ringvale")
# An adapter address of this run's own: two runs at once (two worktrees on one machine) would
# otherwise share UDP port 2323, and one's program could talk to the other's simulator.
address = "127.43.%d.%d" % (100 + os.getpid() // 250 % 150, 1 + os.getpid() % 250)

def wait_for(cond, timeout, what):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if cond():
            return
        time.sleep(0.05)  # harness only: waiting for an outside process to appear
    raise SystemExit("timed out waiting for " + what)

def ctx_switches(pid):
    total = 0
    for status in glob.glob("/proc/%d/task/*/status" % pid):
        try:
            for line in open(status):
                if line.startswith("voluntary_ctxt_switches:"):
                    total += int(line.split()[1])
        except OSError:
            pass
    return total

def thread_count(pid):
    return len(os.listdir("/proc/%d/task" % pid))

def cpu_seconds(pid):
    # utime and stime of the whole process (every thread), fields 14 and 15 of /proc/<pid>/stat
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

def vm_hwm_kb(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0

class Control:
    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.buf = b""
    def reply(self, timeout=30):
        self.sock.settimeout(timeout)
        while b"\n" not in self.buf:
            data = self.sock.recv(4096)
            if not data:
                raise SystemExit("control socket closed")
            self.buf += data
        line, self.buf = self.buf.split(b"\n", 1)
        return line.decode(errors="replace").strip()
    def run(self, *commands):
        self.sock.sendall("".join(c + "\n" for c in commands).encode())
        return [self.reply() for _ in commands]

def start(work, phonebook_lines, prefix=(), config="", env_extra=None):
    link, control = os.path.join(work, "ttyRV"), os.path.join(work, "control")
    sim = subprocess.Popen([sim_bin, "--link", link, "--address", address, "--control", control,
                            "--no-stdin", "--first-id", "1000", "--log-micros", "--log", os.path.join(work, "sim.log")],
                           stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    sim.stdout.readline()  # the ready line
    with open(os.path.join(work, "RV.cfg"), "w") as f:
        f.write("ComPort=%s\r\nBaud=115200\r\n%s" % (link, config.replace("{link}", link)))
    if phonebook_lines:
        with open(os.path.join(work, "RV.pbk"), "w") as f:
            f.write("PhoneBookVersion2\r\n")
            for i in range(phonebook_lines):
                f.write('"408555%04d","Name%06d","First","Company","Memo","0","0","0","0","0","0","0","0",'
                        '"0x00000000"\r\n' % (i % 10000, i))
    env = dict(os.environ, RINGVALE_ADAPTER_ADDRESS=address, QT_QPA_PLATFORM="offscreen", **(env_extra or {}))
    prog = None
    try:
        prog = subprocess.Popen(list(prefix) + [prog_bin], cwd=work, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(control), 10, "the control socket")
        ctl = Control(control)
        if ctl.run("expect AT*SC") != ["OK"]:
            raise SystemExit("the program did not finish its start-up dialogue")
    except BaseException:
        stop(sim, prog)
        raise
    return sim, prog, ctl

def stop(sim, prog):
    for p in (prog, sim):
        if p is None:
            continue
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()

def offhook_latencies(ctl, work):
    # The latency is taken from the simulator's own log: the time it wrote the off-hook
    # report and the time the answer command arrived, both stamped to the microsecond. The
    # harness lets the program finish with the offered call (pop-up, screening) and with the
    # finished one (call log save) before the next step, so only the off-hook path is timed.
    settle = 0.03
    for i in range(trips):
        call_id = 1000 + i
        ctl.run("ring 1 4085551212 5551212")
        time.sleep(settle)
        answers = ctl.run("offhook 1", "expect AT*1A/%d" % call_id)
        if answers[-1] != "OK":
            raise SystemExit("round trip %d: %s" % (i, answers))
        ctl.run("onhook 1", "expect AT*1H/%d" % call_id)
        time.sleep(settle)
    stamp = r"(\d\d):(\d\d):(\d\d)\.(\d{6}) "
    sent = re.compile(stamp + r"TX pty AUD:2,1;")
    arrived = re.compile(stamp + r"RX pty AT\*1A/(\d+)")
    seconds = lambda m: int(m.group(1)) * 3600 + int(m.group(2)) * 60 + int(m.group(3)) + int(m.group(4)) / 1e6
    latencies, offhook_at = [], None
    with open(os.path.join(work, "sim.log"), errors="replace") as log:
        for line in log:
            m = sent.match(line)
            if m:
                offhook_at = seconds(m)
                continue
            m = arrived.match(line)
            if m and offhook_at is not None:
                latencies.append(((seconds(m) - offhook_at) % 86400) * 1000)
                offhook_at = None
    if len(latencies) != trips:
        raise SystemExit("found %d of %d round trips in the simulator's log" % (len(latencies), trips))
    latencies.sort()
    return latencies

def latency_rows(latencies, label):
    at = lambda share: latencies[max(0, int(len(latencies) * share) - 1)]
    return [("off-hook -> AT*pA/id p50 (ms%s)" % label, "%.2f" % latencies[len(latencies) // 2]),
            ("off-hook -> AT*pA/id p90 (ms%s)" % label, "%.2f" % at(0.90)),
            ("off-hook -> AT*pA/id p99 (ms%s)" % label, "%.2f" % at(0.99))]

rows = []
with tempfile.TemporaryDirectory() as work:
    sim, prog, ctl = start(work, 0)
    try:
        time.sleep(1)  # let the start-up settle before counting
        before = ctx_switches(prog.pid)
        time.sleep(idle_seconds)
        idle = ctx_switches(prog.pid) - before
        rows.append(("threads of the idle program", "%d" % thread_count(prog.pid)))
        rows.append(("idle voluntary context switches / %d s" % idle_seconds, "%d" % idle))
        rows.append(("peak RSS, empty stores (MB)", "%.1f" % (vm_hwm_kb(prog.pid) / 1024)))
        rows += latency_rows(offhook_latencies(ctl, work), ", %d trips" % trips)
    finally:
        stop(sim, prog)
# The same path with every thread of the program on one CPU: the difference is what the
# hand-overs on the way (simulator -> line monitor -> window thread -> simulator) cost when
# they cross CPUs (bench_wakeup shows one hand-over's cost on this machine).
if shutil.which("taskset") and (os.cpu_count() or 1) > 1:
    with tempfile.TemporaryDirectory() as work:
        sim, prog, ctl = start(work, 0, ("taskset", "-c", "0"))
        try:
            time.sleep(1)
            rows += latency_rows(offhook_latencies(ctl, work), ", program on one CPU")
        finally:
            stop(sim, prog)
# A caller keys *99#: the program connects the simulated dial-up entry (the link moves to UDP);
# a second caller keys it again: it disconnects (back to the tty). Then it should sleep.
with tempfile.TemporaryDirectory() as work:
    with open(os.path.join(work, "dialup-sim.txt"), "w") as f:
        f.write("Bench ISP=%s\n" % os.path.join(work, "ttyRV"))
    sim, prog, ctl = start(work, 0, config="RASConnection=Bench ISP\r\nModemName={link}\r\nRCWatchDTMF=Y\r\n"
                           "RCDTMF=*99#\r\n", env_extra={"RINGVALE_DIALUP": "sim"})
    try:
        answers = ctl.run("ring 1 4085553344 5551212", "offhook 1", "expect AT*1A/", "dtmf 1 *99#", "expect AT*1H/",
                          "onhook 1", "expect AT$V1", "expect ATS76", "ring 2 4085551212 5551212", "offhook 2",
                          "expect AT*2A/", "dtmf 2 *99#", "expect AT*2H/", "onhook 2", "expect ATI", "expect ATS76")
        if any(a != "OK" for a in answers):
            raise SystemExit("remote-control connect and disconnect: %s" % answers)
        time.sleep(1)
        before = cpu_seconds(prog.pid)
        time.sleep(idle_seconds)
        rows.append(("CPU s / %d s after remote-control dial+hang-up" % idle_seconds,
                     "%.3f" % (cpu_seconds(prog.pid) - before)))
    finally:
        stop(sim, prog)
# The publisher on: a private broker and a subscriber that stamps each message as it arrives.
# The off-hook path must not get slower; the offered report's write (simulator log) to the
# "offered" event's arrival (subscriber) is the report-to-publish latency.
if shutil.which("mosquitto") or os.path.exists("/usr/sbin/mosquitto"):
    with tempfile.TemporaryDirectory() as work:
        port = 18000 + os.getpid() % 1000
        with open(os.path.join(work, "broker.conf"), "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\nuser %s\n" % (port, os.environ.get("USER") or "root"))
        broker = subprocess.Popen([shutil.which("mosquitto") or "/usr/sbin/mosquitto", "-c", os.path.join(work, "broker.conf")],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        sub_log = os.path.join(work, "sub.log")
        sub = None
        try:
            time.sleep(0.5)  # harness only: the broker opens its port
            sub = subprocess.Popen(["stdbuf", "-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-q", "1",
                                    "-t", "bench/rv/calls", "-F", "@H:@M:@S.@N %p"],
                                   stdout=open(sub_log, "w"), stderr=subprocess.DEVNULL)
            settings = "MqttEnabled=Y\r\nMqttHost=127.0.0.1\r\nMqttPort=%d\r\nMqttTls=N\r\nMqttTopicPrefix=bench/rv\r\n" % port
            sim, prog, ctl = start(work, 0, config=settings)
            try:
                time.sleep(1)
                rows += latency_rows(offhook_latencies(ctl, work), ", publisher on")
            finally:
                stop(sim, prog)
            offered_at = {}
            report = re.compile(r"(\d\d):(\d\d):(\d\d)\.(\d{6}) TX pty CALL:0,1;2,\d;3,(\d+);")
            with open(os.path.join(work, "sim.log"), errors="replace") as log:
                for line in log:
                    m = report.match(line)
                    if m:
                        offered_at[int(m.group(5))] = int(m.group(1)) * 3600 + int(m.group(2)) * 60 + int(m.group(3)) + int(m.group(4)) / 1e6
            published = re.compile(r'(\d\d):(\d\d):(\d\d)\.(\d{9}) (.*)')
            delays = []
            with open(sub_log, errors="replace") as log:
                for line in log:
                    m = published.match(line)
                    call = re.search(r'"callId":(\d+)', line)
                    if m and call and '"event":"offered"' in m.group(5) and int(call.group(1)) in offered_at:
                        at = int(m.group(1)) * 3600 + int(m.group(2)) * 60 + int(m.group(3)) + int(m.group(4)) / 1e9
                        delays.append(((at - offered_at[int(call.group(1))]) % 86400) * 1000)
            if len(delays) != trips:
                raise SystemExit("found %d of %d offered events at the subscriber" % (len(delays), trips))
            delays.sort()
            rows.append(("offered report -> MQTT subscriber p50 (ms)", "%.2f" % delays[len(delays) // 2]))
            rows.append(("offered report -> MQTT subscriber p99 (ms)", "%.2f" % delays[int(len(delays) * 0.99) - 1]))
        finally:
            for p in (sub, broker):
                if p is not None:
                    p.terminate()
                    p.wait()
with tempfile.TemporaryDirectory() as work:
    sim, prog, ctl = start(work, 100000)
    try:
        time.sleep(2)
        rows.append(("peak RSS, 100,000-entry phone book (MB)", "%.1f" % (vm_hwm_kb(prog.pid) / 1024)))
    finally:
        stop(sim, prog)
for name, value in rows:
    print("%-48s %12s" % (name, value))
PY

echo "================ Ringvale benchmarks ($(date '+%Y-%m-%d %H:%M'), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
for f in "$OUT"/bench_*.txt "$OUT/program.txt"; do
    name=$(basename "$f" .txt)
    [ "$name" = program ] && name="whole program on the simulator"
    echo "---------------- $name"
    cat "$f"
done
exit $status
