"""Times reading every file through the Python module (python_read.py) against
`tarnwick-dat verify`, each as a process, side by side in one loop:
    python_vs_verify.py ARCHIVE TOOL RUNS
The module is imported from the build tree (build/python). Prints the median and spread of wall
time, the median CPU time (user and system: what a busy machine does not inflate) and the
ratios of the medians (goal 1.5 on wall time). Fails when either process fails."""

import os
import resource
import statistics
import subprocess
import sys
import time
from pathlib import Path

archive, tool, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
here = Path(__file__).resolve().parent
environment = dict(os.environ, PYTHONPATH=str(here.parent / "build" / "python"))
commands = {
    "read every file (Python, a.read)": [
        "/usr/bin/python3",
        str(here / "python_read.py"),
        archive,
    ],
    "tarnwick-dat verify": [tool, "verify", archive],
}


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


times = {label: [] for label in commands}
cpu = {label: [] for label in commands}
for _ in range(runs):
    for label, command in commands.items():
        start, start_cpu = time.perf_counter(), cpu_seconds()
        done = subprocess.run(command, env=environment, stdout=subprocess.PIPE, check=False)
        times[label].append(time.perf_counter() - start)
        cpu[label].append(cpu_seconds() - start_cpu)
        if done.returncode != 0:
            sys.exit(f"python_vs_verify: {' '.join(command)} ended with status {done.returncode}")

print(f"\nThe Python module against the tool, {runs} interleaved runs, wall time in ms")
print(f"{'':36} {'median':>8} {'min':>8} {'max':>8} {'cpu':>8}")
for label, samples in times.items():
    print(
        f"{label:36} {statistics.median(samples) * 1e3:8.1f} {min(samples) * 1e3:8.1f}"
        f" {max(samples) * 1e3:8.1f} {statistics.median(cpu[label]) * 1e3:8.1f}"
    )
python_median, verify_median = (statistics.median(samples) for samples in times.values())
python_cpu, verify_cpu = (statistics.median(samples) for samples in cpu.values())
print(
    f"ratio Python read / verify: {python_median / verify_median:.2f} of the medians (goal 1.5),"
    f" CPU time {python_cpu / verify_cpu:.2f}"
)
