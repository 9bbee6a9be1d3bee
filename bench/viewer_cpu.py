"""CPU use of the real depth-viewer while it streams colour and depth at 25 pictures a second,
in one run, four ways:

- the viewer with the camera service as a process of its own (camsdk-service on a private ipc
  endpoint, named to the viewer by CAMSDK_ENDPOINT): the viewer's CPU and the service's; once
  with the samples' maps in shared memory (the default on an ipc endpoint), once with them
  copied into the messages (--no-shared-memory, the path of TCP clients);
- the viewer with the simulated service in its own process (bench/inprocess_viewer.cpp), as
  it ran before the service had a process of its own;
- the display-only baseline, which shows prepared pictures at the same rates with the same
  display calls.

Service plus viewer against the in-process viewer is what the separate service costs
(target: at most 1.10 times); the viewer alone against the baseline is the viewer's own work
over showing pictures (target: within 10 %).

Each program runs on an X server of its own (the end-to-end tests' VirtualDisplay), with its
windows laid out as the tests lay them out. After a warm-up, the CPU time the program, its
service and its X server used over the measured span is read from /proc/<pid>/stat. Then the
program is ended with the key q like a user would, or stopped if it does not react, and the
service is stopped by its process id. With --rounds N each way is measured N times, in a
rotating order, and the ratios are taken over the sums.

    python3 bench/viewer_cpu.py --viewer PATH --service PATH --inprocess PATH --baseline PATH
                                [--seconds 30] [--warmup 3] [--rounds 1]
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


def measure(label, path, seconds, warmup, service_path=None, viewer_command=None,
            service_command=None, endpoint=None, others=None):
    """Runs `path` (or `viewer_command`, a command line) on its own X server, with a
    camsdk-service of its own when `service_path` (or `service_command`) is given, on
    `endpoint` or a private ipc endpoint; returns CPU seconds of the program, its service,
    its X server and of the processes `others()` names (read at both ends of the span), and
    the wall time they were measured over."""
    with tempfile.TemporaryDirectory(prefix="dv-cpu-") as workdir:
        display = h.VirtualDisplay(workdir)
        service = None
        program = None
        try:
            if service_path is not None or service_command is not None:
                # The display matters to a service under Wine only: Wine's desktop process,
                # started by the first program of a prefix, takes that program's display.
                service = h.Service(workdir, endpoint=endpoint,
                                    program=service_command or [service_path],
                                    extra_env={"DISPLAY": display.name})
                if not service.running():
                    raise RuntimeError(f"the service did not start:\n{service.stderr()}")
                endpoint = service.endpoint
            elif endpoint is None:
                # Nothing serves here: a program that needed a service would say so and end.
                endpoint = "ipc://" + os.path.join(workdir, "no-service.sock")
            program = h.Viewer(display, workdir, endpoint, program=viewer_command or [path])
            color = find_window(display, h.COLOR_TITLE, program, 4 * h.WINDOW_TIMEOUT)
            depth = find_window(display, h.DEPTH_TITLE, program, 4 * h.WINDOW_TIMEOUT)
            display.run("xdotool", "windowmove", color, "0", "0")
            display.run("xdotool", "windowmove", depth, "0", str(h.DEPTH_WINDOW_TOP))
            time.sleep(warmup)
            pids = {"program": program.pid, "X server": display._process.pid}
            if service is not None:
                pids["service"] = service.pid
            other_pids = set(others()) - set(pids.values()) if others else set()
            start_wall = time.monotonic()
            start = {name: cpu_seconds(pid) for name, pid in pids.items()}
            start_other = {pid: cpu_seconds(pid) for pid in other_pids}
            time.sleep(seconds)
            end = {name: cpu_seconds(pid) for name, pid in pids.items()}
            other = sum(cpu_seconds(pid) - start_other[pid] for pid in other_pids)
            wall = time.monotonic() - start_wall
            if not program.running():
                raise RuntimeError(f"{label} ended during the measurement:\n{program.stderr()}")
            if service is not None and not service.running():
                raise RuntimeError(f"the service of {label} ended during the measurement:\n"
                                   f"{service.stderr()}")
            status = quit_with_q(display, color, program)
            ended = "ended by q" if status == 0 else f"did not end cleanly with q ({status})"
            print(f"  {label}: {ended}", flush=True)
        finally:
            if program is not None:
                program.close()
            if service is not None:
                service.close()
            display.close()
    used = {name: end[name] - start[name] for name in end}
    return Usage(used["program"], used.get("service", 0.0), used["X server"], wall, other)


class Usage:
    """CPU seconds over `wall` seconds; several measurements add up."""

    def __init__(self, program=0.0, service=0.0, xserver=0.0, wall=0.0, other=0.0):
        self.program, self.service, self.xserver, self.wall = program, service, xserver, wall
        self.other = other

    def __add__(self, other):
        return Usage(self.program + other.program, self.service + other.service,
                     self.xserver + other.xserver, self.wall + other.wall,
                     self.other + other.other)

    def share(self, seconds):
        """CPU seconds as a share of one core over the wall time."""
        return seconds / self.wall if self.wall > 0 else 0.0


def ratio(numerator, denominator):
    return numerator / denominator if denominator > 0 else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--viewer", required=True)
    parser.add_argument("--service", required=True)
    parser.add_argument("--inprocess", required=True)
    parser.add_argument("--baseline", required=True)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--warmup", type=float, default=3.0)
    parser.add_argument("--rounds", type=int, default=1)
    args = parser.parse_args()

    service = os.path.abspath(args.service)
    # The service's own process with maps in shared memory (its default on an ipc endpoint),
    # and with every map copied into the messages, as TCP clients get them.
    ways = [("viewer + service", os.path.abspath(args.viewer), [service]),
            ("in-process viewer", os.path.abspath(args.inprocess), None),
            ("display baseline", os.path.abspath(args.baseline), None),
            ("viewer + copies", os.path.abspath(args.viewer), [service, "--no-shared-memory"])]
    print(f"load average before: {load_average()}", flush=True)
    results = {label: Usage() for label, _, _ in ways}
    for round_number in range(args.rounds):
        # A rotating order, so that a change in the machine's load does not always meet the same way.
        shift = round_number % len(ways)
        for label, path, command in ways[shift:] + ways[:shift]:
            results[label] += measure(label, path, args.seconds, args.warmup,
                                      service_command=command)
    print(f"load average after: {load_average()}")

    print(f"\nCPU over {args.rounds} x {args.seconds:g} s of streaming (after {args.warmup:g} s of "
          f"warm-up each), % of one core")
    print(f"{'program':<18} {'program %':>10} {'service %':>10} {'together %':>11} "
          f"{'X server %':>11}")
    for label, used in results.items():
        print(f"{label:<18} {100 * used.share(used.program):>10.1f} "
              f"{100 * used.share(used.service):>10.1f} "
              f"{100 * used.share(used.program + used.service):>11.1f} "
              f"{100 * used.share(used.xserver):>11.1f}")

    separate, inprocess, base, copies = (results[label] for label, _, _ in ways)
    if base.program <= 0 or inprocess.program <= 0:
        print("a program used no measurable CPU time; no ratio")
        return 1
    both = ratio(separate.share(separate.program + separate.service),
                 inprocess.share(inprocess.program))
    verdict = "within" if both <= 1.10 else "OUTSIDE"
    print(f"\nratio viewer + service / in-process viewer: {both:.3f} ({verdict} the 1.10 target)")
    copied = ratio(copies.share(copies.program + copies.service),
                   inprocess.share(inprocess.program))
    print(f"the same with maps copied into messages: {copied:.3f}")
    alone = ratio(separate.share(separate.program), base.share(base.program))
    verdict = "within" if alone <= 1.10 else "OUTSIDE"
    print(f"ratio viewer (service apart) / display baseline: {alone:.3f} "
          f"({verdict} the 10 % target); with maps copied: "
          f"{ratio(copies.share(copies.program), base.share(base.program)):.3f}")
    print(f"ratio in-process viewer / display baseline: "
          f"{ratio(inprocess.share(inprocess.program), base.share(base.program)):.3f}")
    with_x = ratio(separate.share(separate.program + separate.service + separate.xserver),
                   inprocess.share(inprocess.program + inprocess.xserver))
    print(f"with each program's X server added, viewer + service / in-process viewer: "
          f"{with_x:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
