#!/usr/bin/env python3
"""Several files at once: wall time and memory of `tembrel-cli encode -j N` on a folder.

Makes a folder of 44.1 kHz stereo WAV files with sox, then converts it with -j 1 and with
-j N in turns (1, N, 1, N, ...), so that both see the same machine load, and prints the
median wall time of each, the speed-up, and the peak memory of the whole process tree
(proportional set size, PSS: shared pages counted once across the processes, so that N
workers are not charged N times for the same program). From the measured speed-up it
estimates, by Amdahl's law, what 8 and 16 cores would give; from the measured memory, what
8 and 16 workers would take. Those are estimates, and labelled so.

Wall times mean something only on a quiet machine: for each run the script prints how many
cores other processes kept busy meanwhile (the machine's busy time from /proc/stat less the
CPU time of the run itself), and flags a run where that was above 0.25 core.

    python3 bench/parallel_bench.py [--cli build/cli/tembrel-cli] [--files 20]
        [--seconds 90] [--runs 3] [--jobs 2] [--keep DIR]
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time


def busy_seconds():
    """CPU seconds the whole machine has spent busy since boot."""
    with open("/proc/stat") as f:
        fields = [int(v) for v in f.readline().split()[1:]]
    idle = fields[3] + fields[4]  # idle, iowait
    return (sum(fields[:8]) - idle) / os.sysconf("SC_CLK_TCK")


def own_cpu_seconds():
    """CPU seconds of every child waited for so far (the CLI and, through it, its workers)."""
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    # and this script's own, which samples the memory meanwhile
    me = resource.getrusage(resource.RUSAGE_SELF)
    return children.ru_utime + children.ru_stime + me.ru_utime + me.ru_stime


def tree_pss_kib(root_pid):
    """PSS in KiB of `root_pid` and of each of its children (the workers)."""
    def pss(pid):
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Pss:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return 0
    try:
        with open(f"/proc/{root_pid}/task/{root_pid}/children") as f:
            children = [int(p) for p in f.read().split()]
    except OSError:
        children = []
    workers = [pss(p) for p in children]
    return pss(root_pid) + sum(workers), workers


def convert(cli, folder, jobs, sample):
    """One run; wall seconds and (peak tree PSS, peak PSS of one worker, parent PSS at
    that peak) in KiB when `sample`."""
    for root, _, names in os.walk(folder):
        for name in names:
            if name.endswith(".vqf"):
                os.remove(os.path.join(root, name))
    start = time.monotonic()
    process = subprocess.Popen([cli, "encode", "-q", "--no-sound", "-j", str(jobs), folder])
    peak = [0, 0, 0]
    if sample:
        def watch():
            while process.poll() is None:
                total, workers = tree_pss_kib(process.pid)
                if total > peak[0]:
                    peak[0], peak[2] = total, total - sum(workers)
                if workers:
                    peak[1] = max(peak[1], max(workers))
                time.sleep(0.05)
        watcher = threading.Thread(target=watch)
        watcher.start()
    status = process.wait()
    wall = time.monotonic() - start
    if sample:
        watcher.join()
    if status != 0:
        sys.exit(f"tembrel-cli -j {jobs} ended with status {status}")
    return wall, peak


def amdahl(serial_share, cores):
    return 1.0 / (serial_share + (1.0 - serial_share) / cores)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cli", default=os.path.join(here, "..", "build", "cli", "tembrel-cli"))
    parser.add_argument("--files", type=int, default=20)
    parser.add_argument("--seconds", type=float, default=90.0)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", help="make the folder here and keep it")
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)

    work = args.keep or tempfile.mkdtemp(prefix="tembrel-parallel-bench-")
    folder = os.path.join(work, "music")
    os.makedirs(folder, exist_ok=True)
    for i in range(args.files):
        path = os.path.join(folder, f"track{i:02d}.wav")
        if not os.path.exists(path):
            # Noise under two tones, different in every file, as music keeps every band busy.
            subprocess.run(["sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", path,
                            "synth", str(args.seconds), "pinknoise", "sine", str(220 + 11 * i),
                            "sine", str(1300 + 37 * i), "vol", "0.3"], check=True)

    cores = len(os.sched_getaffinity(0))
    print(f"{args.files} files of {args.seconds:g} s, 44.1 kHz stereo; {cores} usable cores; "
          f"{args.runs} runs of -j 1 and -j {args.jobs} in turns")
    times = {1: [], args.jobs: []}
    memory = {}
    busy = False
    for run in range(args.runs):
        for jobs in (1, args.jobs):
            machine, own = busy_seconds(), own_cpu_seconds()
            wall, peak = convert(cli, folder, jobs, sample=(run == 0))
            used = own_cpu_seconds() - own
            others = max(busy_seconds() - machine - used, 0.0) / wall
            times[jobs].append(wall)
            if run == 0:
                memory[jobs] = peak
            flag = ""
            if others > 0.25:
                flag, busy = "  (machine busy)", True
            print(f"  -j {jobs}: {wall:6.2f} s, {used / wall:4.2f} cores used by the run (and the "
                  f"sampler), "
                  f"{others:4.2f} by other processes; load average {os.getloadavg()[0]:.2f}"
                  f"{flag}")

    t1 = statistics.median(times[1])
    tn = statistics.median(times[args.jobs])
    speedup = t1 / tn
    print(f"median wall time: -j 1 {t1:.2f} s, -j {args.jobs} {tn:.2f} s; "
          f"speed-up {speedup:.2f}x")
    if busy:
        print("  the machine was busy during some runs: these times must be measured again")

    total1, _, _ = memory[1]
    totaln, worker, parent = memory[args.jobs]
    print(f"peak memory (PSS of the process tree): -j 1 {total1 / 1024:.1f} MiB, "
          f"-j {args.jobs} {totaln / 1024:.1f} MiB (job {parent / 1024:.1f} MiB, "
          f"largest worker {worker / 1024:.1f} MiB)")
    growth = totaln - total1
    print(f"  growth {growth / 1024:.1f} MiB for {args.jobs - 1} extra worker(s): "
          f"{growth / max(worker, 1) / (args.jobs - 1):.2f} of one worker each")

    # Amdahl: T(n) = T(1) * (s + (1 - s) / n), so s from the measured pair.
    n = args.jobs
    serial_share = min(max((n * tn / t1 - 1.0) / (n - 1.0), 0.0), 1.0)
    print(f"ESTIMATE (Amdahl's law from the serial share {serial_share:.3f} measured above; "
          "not measured):")
    for cores_then in (8, 16):
        print(f"  {cores_then:2d} cores, -j {cores_then}: speed-up about "
              f"{amdahl(serial_share, cores_then):.1f}x, memory about "
              f"{(parent + cores_then * worker) / 1024:.0f} MiB")

    if not args.keep:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
