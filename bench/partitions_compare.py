#!/usr/bin/python3
"""Runs partitions_bench and the same computations through scikit-learn and SciPy on the
same data, in one run, and prints the ratios.

    /usr/bin/python3 bench/partitions_compare.py build-bench/bench/partitions_bench

Needs numpy, scikit-learn and SciPy (Debian: python3-sklearn python3-scipy); the benchmark
only, never the tests.
"""

import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.cluster.hierarchy import fcluster, linkage
from scipy.spatial.distance import pdist, squareform
from sklearn.metrics import adjusted_rand_score, normalized_mutual_info_score

TAXA = 1_000_000
GROUPS = 1000
MATRIX_TAXA = 3000
THRESHOLDS = 50


def best_of(repeats, call):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    bench = sys.argv[1]
    random = np.random.default_rng(2026)
    first = random.integers(0, GROUPS, TAXA, dtype=np.int32)
    second = random.integers(0, GROUPS, TAXA, dtype=np.int32)
    first[:GROUPS] = np.arange(GROUPS, dtype=np.int32)
    second[:GROUPS] = np.arange(GROUPS, dtype=np.int32)
    points = random.random((MATRIX_TAXA, 10))
    condensed = pdist(points)
    square = squareform(condensed)

    with tempfile.TemporaryDirectory() as folder:
        first.tofile(os.path.join(folder, "first.i32"))
        second.tofile(os.path.join(folder, "second.i32"))
        np.ascontiguousarray(square, dtype=np.float64).tofile(os.path.join(folder, "distances.f64"))
        run = subprocess.run(
            [bench, "--benchmark_format=json", "--benchmark_repetitions=5",
             "--benchmark_report_aggregates_only=true",
             "--benchmark_filter=partition_similarities|pairwise_and_slc|squared_to_pairwise"],
            env=dict(os.environ, LABMIX_BENCH_DATA=folder), check=True, capture_output=True, text=True)
    ours = {}
    for b in json.loads(run.stdout)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            scale = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b["time_unit"]]
            ours[b["run_name"]] = b["real_time"] * scale

    ari = best_of(3, lambda: adjusted_rand_score(first, second))
    nmi = best_of(3, lambda: normalized_mutual_info_score(first, second))
    largest = condensed.max()
    steps = [largest * r / (THRESHOLDS - 1) for r in range(THRESHOLDS)]

    def scipy_series():
        tree = linkage(condensed, method="single")
        for t in steps:
            fcluster(tree, t, criterion="distance")

    series = best_of(3, scipy_series)

    print(f"{'measure':55s} {'seconds':>9s}")
    rows = [
        ("labmix partition_similarities (1e6 taxa, 1000 x 1000)", ours["partition_similarities_one_pair"]),
        ("sklearn adjusted_rand_score", ari),
        ("sklearn normalized_mutual_info_score", nmi),
        ("labmix squared_to_pairwise (3000 taxa)", ours["squared_to_pairwise_only"]),
        ("labmix squared_to_pairwise + slc_series (50)", ours["pairwise_and_slc_series"]),
        ("scipy linkage(single) + 50 fcluster", series),
    ]
    for name, seconds in rows:
        print(f"{name:55s} {seconds:9.4f}")
    print()
    print(f"adjusted_rand_score / partition_similarities:          "
          f"{ari / ours['partition_similarities_one_pair']:6.1f}x")
    print(f"normalized_mutual_info_score / partition_similarities: "
          f"{nmi / ours['partition_similarities_one_pair']:6.1f}x")
    print(f"scipy series / (squared_to_pairwise + slc_series):     "
          f"{series / ours['pairwise_and_slc_series']:6.1f}x")


if __name__ == "__main__":
    main()
