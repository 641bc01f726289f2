#!/usr/bin/python3
"""Times the Python module against the C++ it wraps, in one run, and prints the ratios:

    /usr/bin/python3 bench/python_bindings_bench.py BUILD [REPEATS]

- phylo.distance_test (PERMANOVA and ANOSIM, 999 reshuffles, seed 1) against labmix --test on
  the same files: 1,000 taxa in 4 groups, Euclidean distances of points whose group centres
  differ by 0.15 (the data of ../shared/bench/distance/gen.py 1000 4 10 0.15, made here), as
  a square PHYLIP matrix and a table. Python is timed reading the matrix too (read_distances
  and the test, as labmix reads its file) and testing alone; the reports must be equal.
- phylo.compare of two numpy partitions of 1,000,000 taxa in 1,000 x 1,000 groups, int32 and
  int64, against the C++ compare of bench/comparison_bench on the same numbers.

BUILD is a Release build with -DLABMIX_BUILD_BENCH=ON and the Python module (tool/labmix,
bench/comparison_bench, python/phylo*.so). Needs numpy.
"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np

from partitions_compare import best_of


def write_distance_data(folder, n=1000, k=4, s=10, shift=0.15, seed=1):
    """gen.py's recipe: the matrix d1.phy and the table groups.tsv (taxon, group, stratum)."""
    rng = np.random.default_rng(seed)
    group = rng.integers(0, k, n)
    rng.integers(0, s, n)  # the strata, unused here, keep the stream as gen.py draws it
    x = rng.normal(size=(n, 5)) + shift * np.eye(5)[group % 5] * (1 + group // 5)[:, None]
    g = x @ x.T
    d = np.sqrt(np.maximum(np.diag(g)[:, None] + np.diag(g)[None, :] - 2 * g, 0))
    np.fill_diagonal(d, 0)
    d = (d + d.T) / 2
    labels = [f"t{i}" for i in range(n)]
    with open(os.path.join(folder, "d1.phy"), "w") as out:
        out.write(f"{n}\n")
        for i in range(n):
            out.write(labels[i] + "\t" + "\t".join(f"{v:.6f}" for v in d[i]) + "\n")
    with open(os.path.join(folder, "groups.tsv"), "w") as out:
        out.write("taxon\tgroup\n")
        for i in rng.permutation(n):
            out.write(f"t{i}\tg{group[i]}\n")
    return {f"t{i}": f"g{group[i]}" for i in range(n)}


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    build = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) == 3 else 3
    sys.path.insert(0, os.path.join(build, "python"))
    import phylo

    rows = []
    with tempfile.TemporaryDirectory() as folder:
        group_of = write_distance_data(folder)
        matrix = os.path.join(folder, "d1.phy")
        command = [os.path.join(build, "tool", "labmix"), "--distances", matrix, "--test",
                   "permanova,anosim", "--header", "--fixed", "taxon", "--permute", "group",
                   "-s", "1", os.path.join(folder, "groups.tsv")]
        report = []
        cli = best_of(repeats, lambda: report.append(
            subprocess.run(command, check=True, capture_output=True, text=True).stdout))
        labels, d = phylo.read_distances(matrix)
        groups = [group_of[label] for label in labels]
        result = {}

        def python_test(read):
            nonlocal labels, d
            if read:
                labels, d = phylo.read_distances(matrix)
            result.update(phylo.distance_test(d, groups, statistics=("permanova", "anosim"), seed=1))

        whole = best_of(repeats, lambda: python_test(True))
        alone = best_of(repeats, lambda: python_test(False))
        lines = [line.split("\t") for line in report[-1].splitlines()[1:]]
        for i, line in enumerate(lines):
            assert repr(result["observed"][i]) == repr(float(line[1])), (result, line)
            assert repr(result["p_value"][i]) == repr(float(line[6])), (result, line)
        rows += [("labmix --test permanova,anosim, 1,000 taxa, 999 reshuffles", cli),
                 ("phylo.read_distances + phylo.distance_test", whole),
                 ("phylo.distance_test alone", alone)]

    rng = np.random.default_rng(2026)
    first = rng.integers(0, 1000, 1_000_000, dtype=np.int32)
    second = rng.integers(0, 1000, 1_000_000, dtype=np.int32)
    with tempfile.TemporaryDirectory() as folder:
        first.tofile(os.path.join(folder, "first.i32"))
        second.tofile(os.path.join(folder, "second.i32"))
        for name in ("first.txt", "second.txt"):  # comparison_bench reads labels too
            with open(os.path.join(folder, name), "w") as out:
                out.write("a\n" * len(first))
        # Rounds of the C++ and the Python calls in turn, best of all, so that both see the
        # same load of a shared machine.
        wide_first, wide_second = first.astype(np.int64), second.astype(np.int64)
        cpp = py32 = py64 = float("inf")
        for _ in range(repeats):
            run = subprocess.run([os.path.join(build, "bench", "comparison_bench"), folder, "3"],
                                 check=True, capture_output=True, text=True)
            cpp = min(cpp, json.loads(run.stdout)["compare_numbers"])
            py32 = min(py32, best_of(3, lambda: phylo.compare(first, second)))
            py64 = min(py64, best_of(3, lambda: phylo.compare(wide_first, wide_second)))
    rows += [("C++ compare, 10^6 taxa, 1000 x 1000 groups", cpp),
             ("phylo.compare, numpy int32", py32),
             ("phylo.compare, numpy int64", py64)]

    width = max(len(name) for name, _ in rows)
    for k, (name, seconds) in enumerate(rows):
        base = rows[0][1] if k < 3 else rows[3][1]
        print(f"{name:<{width}}  {seconds:9.4f} s  {seconds / base:5.2f}x")


if __name__ == "__main__":
    main()
