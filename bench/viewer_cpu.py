"""CPU use of the real depth-viewer while it streams colour and depth at 25 pictures a second,
next to the display-only baseline program that shows prepared pictures at the same rates with
the same display calls. The viewer's extra work over the baseline (producing, converting,
copying) is what this shows.

Each program runs on an X server of its own (the end-to-end tests' VirtualDisplay), with its
windows laid out as the tests lay them out. After a warm-up, the CPU time the program and its
X server used over the measured span is read from /proc/<pid>/stat. Then the program is ended
with the key q like a user would, or stopped if it does not react.

    python3 bench/viewer_cpu.py --viewer PATH --baseline PATH [--seconds 30] [--warmup 3]
"""

import argparse
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import viewer_harness as h  # noqa: E402

TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")


def cpu_ticks(stat_line):
    """User plus system CPU time, in clock ticks, from a /proc/<pid>/stat line."""
    # The name, in brackets, may itself hold spaces and brackets: fields start after the last.
    fields = stat_line[stat_line.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])  # fields 14 and 15 of the line: utime, stime


def cpu_seconds(pid):
    """CPU time of a process so far, all its threads included."""
    with open(f"/proc/{pid}/stat") as f:
        return cpu_ticks(f.read()) / TICKS_PER_SECOND


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def find_window(display, title, program, timeout=h.WINDOW_TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = display.run("xdotool", "search", "--onlyvisible", "--name",
                            "^" + re.escape(title) + "$", check=False).split()
        if found:
            return found[0].decode()
        if not program.running():
            break
        time.sleep(0.1)
    raise RuntimeError(f'no window "{title}" within {timeout} s')


def quit_with_q(display, window, program, presses=100):
    """Presses q in the colour window until the program ends; the depth window's key poll
    drops some presses. Returns the exit status, or None if it never ended."""
    for _ in range(presses):
        display.run("xdotool", "windowfocus", "--sync", window, check=False)
        display.run("xdotool", "key", "q", check=False)
        status = program.wait_exit(0.25)
        if status is not None:
            return status
    return None


def measure(label, path, seconds, warmup):
    """Runs `path` on its own X server; returns (program CPU s, X server CPU s, wall s)."""
    with tempfile.TemporaryDirectory(prefix="dv-cpu-") as workdir:
        display = h.VirtualDisplay(workdir)
        os.environ["DV_VIEWER"] = path  # the harness starts whatever this names
        program = h.Viewer(display, workdir)
        try:
            color = find_window(display, h.COLOR_TITLE, program)
            depth = find_window(display, h.DEPTH_TITLE, program)
            display.run("xdotool", "windowmove", color, "0", "0")
            display.run("xdotool", "windowmove", depth, "0", str(h.DEPTH_WINDOW_TOP))
            time.sleep(warmup)
            pid, server = program._process.pid, display._process.pid
            start_wall = time.monotonic()
            start_cpu, start_server = cpu_seconds(pid), cpu_seconds(server)
            time.sleep(seconds)
            end_cpu, end_server = cpu_seconds(pid), cpu_seconds(server)
            wall = time.monotonic() - start_wall
            if not program.running():
                raise RuntimeError(f"{label} ended during the measurement:\n{program.stderr()}")
            status = quit_with_q(display, color, program)
            ended = "ended by q" if status == 0 else f"did not end cleanly with q ({status})"
            print(f"  {label}: {ended}", flush=True)
        finally:
            program.close()
            display.close()
    return end_cpu - start_cpu, end_server - start_server, wall


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--viewer", required=True)
    parser.add_argument("--baseline", required=True)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--warmup", type=float, default=3.0)
    args = parser.parse_args()

    print(f"load average before: {load_average()}", flush=True)
    results = {}
    for label, path in (("depth-viewer", args.viewer), ("display baseline", args.baseline)):
        # The harness starts the program in its work folder.
        results[label] = measure(label, os.path.abspath(path), args.seconds, args.warmup)
    print(f"load average after: {load_average()}")

    print(f"\nCPU over {args.seconds:g} s of streaming (after {args.warmup:g} s of warm-up), "
          f"% of one core")
    print(f"{'program':<18} {'program CPU s':>14} {'program %':>10} {'X server %':>11}")
    for label, (cpu, server, wall) in results.items():
        print(f"{label:<18} {cpu:>14.2f} {100 * cpu / wall:>10.1f} {100 * server / wall:>11.1f}")
    viewer_cpu, viewer_server, viewer_wall = results["depth-viewer"]
    base_cpu, base_server, base_wall = results["display baseline"]
    if base_cpu <= 0:
        print("the baseline used no measurable CPU time; no ratio")
        return 1
    ratio = (viewer_cpu / viewer_wall) / (base_cpu / base_wall)
    verdict = "within" if ratio <= 1.10 else "OUTSIDE"
    print(f"ratio viewer / baseline: {ratio:.3f} ({verdict} the 10 % target)")
    both = ((viewer_cpu + viewer_server) / viewer_wall) / ((base_cpu + base_server) / base_wall)
    print(f"ratio with each program's X server added: {both:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
