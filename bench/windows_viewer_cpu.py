"""CPU use of the Windows viewer under Wine against the Linux viewer, in one run, each with a
camera service of its own (the Windows one under Wine with the Windows viewer), while colour
and depth stream at 25 pictures a second on a virtual X server of its own; over TCP on
loopback for both, so the transport is the same. For Wine, the CPU of Wine's own processes of
the prefix (wineserver and the system programs Wine starts) is shown apart: it is what Wine
costs on top of the program. With --rounds N each is measured N times, in alternating order.

    python3 bench/windows_viewer_cpu.py --viewer PATH --service PATH --windows-viewer PATH.exe
                                        --windows-service PATH.exe --wine-run PATH
                                        [--seconds 30] [--warmup 5] [--rounds 1]
"""

import argparse
import os
import socket
import subprocess
import sys

import viewer_cpu as cpu


def loopback_endpoint():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return "tcp://127.0.0.1:%d" % probe.getsockname()[1]


def wine_prefix_processes(prefix):
    """Process ids of every process running in the Wine prefix `prefix` (by WINEPREFIX in its
    environment)."""
    wanted = b"WINEPREFIX=" + os.fsencode(prefix)
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/environ", "rb") as f:
                if wanted in f.read().split(b"\0"):
                    found.append(int(name))
        except OSError:
            continue  # ended meanwhile, or not ours to read
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for name in ("--viewer", "--service", "--windows-viewer", "--windows-service", "--wine-run"):
        parser.add_argument(name, required=True)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--warmup", type=float, default=5.0)
    parser.add_argument("--rounds", type=int, default=1)
    args = parser.parse_args()
    wine = [os.path.abspath(args.wine_run)]
    prefix = os.environ["DV_WINEPREFIX"]

    ways = [("Linux viewer", dict(viewer_command=[os.path.abspath(args.viewer)],
                                  service_command=[os.path.abspath(args.service)])),
            ("Wine viewer", dict(viewer_command=wine + [os.path.abspath(args.windows_viewer)],
                                 service_command=wine + [os.path.abspath(args.windows_service)],
                                 others=lambda: wine_prefix_processes(prefix)))]
    print(f"load average before: {cpu.load_average()}", flush=True)
    results = {label: cpu.Usage() for label, _ in ways}
    for round_number in range(args.rounds):
        order = ways if round_number % 2 == 0 else ways[::-1]
        for label, how in order:
            results[label] += cpu.measure(label, None, args.seconds, args.warmup,
                                          endpoint=loopback_endpoint(), **how)
            # Wine's own processes keep the X display they started on; none may outlive it.
            subprocess.run(wine + ["--wait-idle"], timeout=60, check=False)
    print(f"load average after: {cpu.load_average()}")

    print(f"\nCPU over {args.rounds} x {args.seconds:g} s of streaming (after {args.warmup:g} s "
          f"of warm-up each), % of one core")
    print(f"{'program':<14} {'viewer %':>9} {'service %':>10} {'Wine itself %':>14} "
          f"{'X server %':>11}")
    for label, used in results.items():
        print(f"{label:<14} {100 * used.share(used.program):>9.1f} "
              f"{100 * used.share(used.service):>10.1f} {100 * used.share(used.other):>14.1f} "
              f"{100 * used.share(used.xserver):>11.1f}")
    linux, wine_run = results["Linux viewer"], results["Wine viewer"]
    print(f"\nratio Wine viewer / Linux viewer: "
          f"{cpu.ratio(wine_run.share(wine_run.program), linux.share(linux.program)):.3f}")
    print(f"with Wine's own processes added: "
          f"{cpu.ratio(wine_run.share(wine_run.program + wine_run.other), linux.share(linux.program)):.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
