#!/usr/bin/python3
"""Reads the same 3,000 x 3,000 tab-separated distance matrix with the labmix reader
(bench/matrix_io_bench), numpy's loadtxt and pandas' read_csv, in one run, and prints the
median read time, the throughput and the peak resident size of each.

    /usr/bin/python3 bench/matrix_io_compare.py [path/to/matrix_io_bench] [repetitions]

The file is written by the labmix printer (the benchmark program writes it on first use).
Each Python reader runs in a child process of its own, so that its peak memory is its own.
numpy and pandas are needed for this comparison only (Debian: python3-numpy, python3-pandas).
"""

import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile

N = 3000
DATA = os.path.join(tempfile.gettempdir(), "labmix_matrix_io_3000.tsv")

READERS = {
    "numpy loadtxt": (
        "import numpy as np\n"
        f"m = np.loadtxt({DATA!r}, delimiter='\\t', skiprows=1, usecols=range(1, {N + 1}))\n"
        f"assert m.shape == ({N}, {N})\n"
    ),
    "pandas read_csv": (
        "import pandas as pd\n"
        f"m = pd.read_csv({DATA!r}, sep='\\t', index_col=0)\n"
        f"assert m.shape == ({N}, {N})\n"
    ),
}


def run_labmix(binary, repetitions):
    out = subprocess.run(
        [binary, "--benchmark_filter=read_tab_separated", f"--benchmark_repetitions={repetitions}",
         "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    runs = [b for b in json.loads(out)["benchmarks"] if b.get("run_type") == "iteration"]
    seconds = statistics.median(b["real_time"] / 1000.0 for b in runs)
    return seconds, max(b["peak_rss_MB"] for b in runs)


def run_python(code, repetitions):
    timed = (
        "import time, resource, sys\n"
        "t = time.perf_counter()\n" + code +
        "sys.stdout.write(str(time.perf_counter() - t) + ' ' + "
        "str(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024))\n")
    times, peaks = [], []
    for _ in range(repetitions):
        out = subprocess.run([sys.executable, "-c", timed], check=True, capture_output=True,
                             text=True).stdout.split()
        times.append(float(out[0]))
        peaks.append(float(out[1]))
    return statistics.median(times), max(peaks)


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build-bench/bench/matrix_io_bench"
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    results = {"labmix read::get": run_labmix(binary, repetitions)}
    size_mb = os.path.getsize(DATA) / 1e6
    for name, code in READERS.items():
        results[name] = run_python(code, repetitions)
    base = results["labmix read::get"][0]
    print(f"file: {DATA} ({size_mb:.1f} MB), matrix {N} x {N} doubles "
          f"({N * N * 8 / 2**20:.1f} MiB), median of {repetitions}")
    print(f"{'reader':<18} {'seconds':>8} {'MB/s':>8} {'peak MiB':>9} {'vs labmix':>10}")
    for name, (seconds, peak) in results.items():
        print(f"{name:<18} {seconds:8.3f} {size_mb / seconds:8.1f} {peak:9.1f} {seconds / base:9.1f}x")


if __name__ == "__main__":
    main()
