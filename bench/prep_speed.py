#!/usr/bin/python3
"""Times seqord-prep on a long table of plot records beside pandas.

  bench/prep_speed.py [--prep NAME=BINARY ...] [--runs N] [--table FILE]
                      [--years 40 --locations 240 --genotypes 210 --reps 5]

Writes the table with bench/prep_table.py unless it exists (the default
size: 10,080,000 rows, about 350 MB), then runs, N times in turn, every
seqord-prep given (default: build/release/seqord-prep) and pandas
(read_csv + groupby mean, with Debian's python3-pandas under
/usr/bin/python3), each in a process of its own, and prints per program
the least and the median wall time, rows per second (at the median), the
peak resident memory, and the ratio of its median to pandas' median.  The
jobs that the seqord-prep binaries write are compared byte for byte.
"""
import argparse
import filecmp
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PANDAS = ("import sys, pandas as pd\n"
          "d = pd.read_csv(sys.argv[1])\n"
          "m = d.groupby(['year', 'location', 'genotype'])['yield'].mean()\n"
          "print(len(m))\n")


def timed(cmd, cwd):
    """Wall seconds, processor seconds (user and system) and peak resident MB of one process."""
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t0
    err = p.stderr.read().decode(errors="replace")
    p.stderr.close()
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        sys.exit("%s failed (%d): %s" % (cmd[0], p.returncode, err[-500:]))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--prep", action="append", default=[], help="NAME=BINARY (repeatable)")
    a.add_argument("--runs", type=int, default=3)
    a.add_argument("--table", default="/tmp/seqord-prep-bench.csv")
    a.add_argument("--years", type=int, default=40)
    a.add_argument("--locations", type=int, default=240)
    a.add_argument("--genotypes", type=int, default=210)
    a.add_argument("--reps", type=int, default=5)
    a.add_argument("--no-pandas", action="store_true")
    o = a.parse_args()
    root = os.path.dirname(HERE)
    preps = [p.split("=", 1) for p in o.prep] or [["seqord-prep", os.path.join(root, "build/release/seqord-prep")]]
    rows = o.years * o.locations * o.genotypes * o.reps
    if not os.path.exists(o.table):
        print("writing %s (%d rows)..." % (o.table, rows), flush=True)
        subprocess.check_call([sys.executable, os.path.join(HERE, "prep_table.py"), o.table, "--years", str(o.years),
                               "--locations", str(o.locations), "--genotypes", str(o.genotypes), "--reps", str(o.reps)])
    with open(o.table, "rb") as f:
        rows = sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 24), b"")) - 1
    size = os.path.getsize(o.table) / 1e6
    work = tempfile.mkdtemp(prefix="prep-speed-")
    table = os.path.abspath(o.table)
    programs = [(name, [os.path.abspath(b), "--force", "--title", "bench", table, name]) for name, b in preps]
    if not o.no_pandas:
        programs.append(("pandas", ["/usr/bin/python3", "-c", PANDAS, table]))
    times = {name: [] for name, _ in programs}
    cpus = {name: [] for name, _ in programs}
    peaks = {name: 0.0 for name, _ in programs}
    for run in range(o.runs):
        for name, cmd in programs:
            wall, cpu, peak = timed(cmd, work)
            times[name].append(wall)
            cpus[name].append(cpu)
            peaks[name] = max(peaks[name], peak)
            print("run %d %-14s %7.2f s wall %7.2f s cpu %8.1f MB" % (run + 1, name, wall, cpu, peak), flush=True)
    print("\n%s: %d rows, %.0f MB; %d runs each, in turn" % (o.table, rows, size, o.runs))
    print("%-14s %8s %8s %12s %9s %13s %8s %8s %10s" % ("program", "min s", "median s", "rows/s", "peak MB",
                                                       "median/pandas", "cpu min", "cpu med", "cpu/pandas"))
    ref = statistics.median(times["pandas"]) if "pandas" in times else None
    cref = statistics.median(cpus["pandas"]) if "pandas" in cpus else None
    for name, _ in programs:
        med = statistics.median(times[name])
        cmed = statistics.median(cpus[name])
        ratio = "%.3f" % (med / ref) if ref else "-"
        cratio = "%.3f" % (cmed / cref) if cref else "-"
        print("%-14s %8.2f %8.2f %12.0f %9.1f %13s %8.2f %8.2f %10s" % (
            name, min(times[name]), med, rows / med, peaks[name], ratio, min(cpus[name]), cmed, cratio))
    names = [name for name, _ in preps]
    for other in names[1:]:
        for ext in (".EMA", ".NAQ"):
            same = filecmp.cmp(os.path.join(work, names[0] + ext), os.path.join(work, other + ext), shallow=False)
            print("%s%s and %s%s: %s" % (names[0], ext, other, ext, "identical" if same else "DIFFERENT"))


if __name__ == "__main__":
    main()
