#!/usr/bin/env python3
"""What QIIME 2's pairwise PERMANOVA does: scikit-bio's permanova on the taxa of each pair of
groups, one pair after the other. Prints the seconds of the loop (after reading) and the number
of pairs. usage: pairwise_skbio.py MATRIX.phy GROUPS.tsv PERMUTATIONS"""
import itertools
import sys
import time

import numpy as np
import pandas as pd
from skbio import DistanceMatrix
from skbio.stats.distance import permanova

matrix, table, permutations = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(matrix) as f:
    n = int(f.readline())
    labels, rows = [], []
    for line in f:
        fields = line.split("\t")
        labels.append(fields[0])
        rows.append(np.array(fields[1:], dtype=float))
dm = DistanceMatrix(np.vstack(rows), labels)
groups = pd.read_csv(table, sep="\t", dtype=str).set_index("taxon")["group"]
start = time.perf_counter()
pairs = 0
for a, b in itertools.combinations(sorted(groups.unique()), 2):
    ids = groups.index[(groups == a) | (groups == b)]
    permanova(dm.filter(ids), groups[ids], permutations=permutations)
    pairs += 1
print(f"{time.perf_counter() - start:.3f} {pairs}")
