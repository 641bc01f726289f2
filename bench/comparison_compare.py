#!/usr/bin/python3
"""Times the one-call partition comparison against scikit-learn on the same partitions, in one
run, and prints the ratios:

    /usr/bin/python3 bench/comparison_compare.py build-bench [REPEATS]

BUILD is a Release build with -DLABMIX_BUILD_BENCH=ON (bench/comparison_bench) and the Python
module (python/phylo*.so). 1,000,000 taxa in 1,000 x 1,000 groups as int32 numbers and as
strings ("family_123"), and 100,000 taxa in 100 x 100 groups. scikit-learn's
adjusted_mutual_info_score on the large pair takes about a minute and runs once.
Needs numpy, scikit-learn and SciPy (Debian: python3-numpy python3-sklearn python3-scipy).
"""

import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from sklearn.metrics import (adjusted_mutual_info_score, adjusted_rand_score,
                             normalized_mutual_info_score)

from partitions_compare import best_of


def pair(rng, taxa, groups):
    first = rng.integers(0, groups, taxa, dtype=np.int32)
    second = rng.integers(0, groups, taxa, dtype=np.int32)
    first[:groups] = np.arange(groups, dtype=np.int32)
    second[:groups] = np.arange(groups, dtype=np.int32)
    return first, second


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    build = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) == 3 else 3
    sys.path.insert(0, os.path.join(build, "python"))
    import phylo

    rng = np.random.default_rng(2026)
    first, second = pair(rng, 1_000_000, 1000)
    first_text = np.array([f"family_{g}" for g in first])
    second_text = np.array([f"family_{g}" for g in second])
    with tempfile.TemporaryDirectory() as folder:
        first.tofile(os.path.join(folder, "first.i32"))
        second.tofile(os.path.join(folder, "second.i32"))
        for name, text in (("first.txt", first_text), ("second.txt", second_text)):
            with open(os.path.join(folder, name), "w") as out:
                out.write("\n".join(text) + "\n")
        run = subprocess.run([os.path.join(build, "bench", "comparison_bench"), folder, str(repeats)],
                             check=True, capture_output=True, text=True)
    ours = json.loads(run.stdout)

    rows = []
    # The Python call right beside the peer it is held against, so that both see the same load.
    ari = best_of(repeats, lambda: adjusted_rand_score(first, second))
    python = best_of(repeats, lambda: phylo.compare(first, second))
    nmi = best_of(repeats, lambda: normalized_mutual_info_score(first, second))
    start = time.perf_counter()
    ami_value = adjusted_mutual_info_score(first, second)
    ami = time.perf_counter() - start
    ari_text = best_of(1, lambda: adjusted_rand_score(first_text, second_text))
    small_first, small_second = pair(rng, 100_000, 100)
    small_ami = best_of(repeats, lambda: adjusted_mutual_info_score(small_first, small_second))
    small_ours = best_of(repeats, lambda: phylo.compare(small_first, small_second))
    assert abs(ours["ami"] - ami_value) < 1e-10, (ours["ami"], ami_value)

    rows = [
        ("labmix contingency (10^6 taxa, 1000 x 1000)", ours["contingency"]),
        ("labmix measure_margins (entropies, pairs, E[MI])", ours["measure_margins"]),
        ("labmix compare, group numbers: every measure", ours["compare_numbers"]),
        ("labmix compare, string labels: every measure", ours["compare_labels"]),
        ("phylo.compare from Python, numpy int32", python),
        ("sklearn adjusted_rand_score", ari),
        ("sklearn normalized_mutual_info_score", nmi),
        ("sklearn adjusted_mutual_info_score", ami),
        ("sklearn adjusted_rand_score, string labels", ari_text),
        ("sklearn adjusted_mutual_info_score (10^5, 100 x 100)", small_ami),
        ("phylo.compare (10^5, 100 x 100)", small_ours),
    ]
    print(f"{'step':55s} {'seconds':>9s}")
    for name, seconds in rows:
        print(f"{name:55s} {seconds:9.4f}")
    print()
    print(f"sklearn ARI / labmix compare (numbers):        {ari / ours['compare_numbers']:7.1f}x")
    print(f"sklearn AMI / labmix compare (numbers):        {ami / ours['compare_numbers']:7.1f}x")
    print(f"sklearn ARI on strings / labmix compare (str): {ari_text / ours['compare_labels']:7.1f}x")
    print(f"sklearn ARI / phylo.compare from Python:       {ari / python:7.1f}x")
    print(f"sklearn AMI / phylo.compare at 10^5 x 100:     {small_ami / small_ours:7.1f}x")
    print(f"AMI: labmix {ours['ami']:.15g}, sklearn {ami_value:.15g}")


if __name__ == "__main__":
    main()
