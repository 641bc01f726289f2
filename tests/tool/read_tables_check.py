#!/usr/bin/env python3
"""Checks that R's read.delim(f) and pandas' read_csv(f, sep="\\t", keep_default_na=False),
with no other arguments, read labmix's long and wide tables into the intended columns.

    /usr/bin/python3 tests/tool/read_tables_check.py path/to/labmix

The expected tables are built here from the listings of the same runs, which write every
label as it stands. The labels hold what a quoting or commenting reader trips over: double
quotes (also at the start), a carriage return, '#', "'", a backslash, inner blanks, UTF-8.
R turns a carriage return inside a quoted field into a line feed, which is the only
difference allowed. Needs pandas (Debian python3-pandas) and Rscript (r-base-core).
"""

import os
import subprocess
import sys
import tempfile

import pandas

TAXA = [
    ("Apodemus sylvaticus", 'say "hi"', "Rodentia"),
    ("Mus#musculus", '"quoted" start', "Rodentia"),
    ("Rattus'norvegicus", "back\\slash", "Rodentia"),
    ("Sorex araneus", "x\r\ry", "Eulipotyphla"),
    ("Talpa \u00e9", "Talpid\u00e6", "Eulipotyphla"),
    ("Erinaceus", "#hash", "Eulipotyphla"),
    ("Myodes", "Cricetidae", "Rodentia"),
]


def labmix(binary, table, *options):
    run = subprocess.run([binary, table, "-s", "11", "-n", "4", *options], capture_output=True, check=True)
    return run.stdout.decode("utf-8")


def listings(text):
    """The listings as lists of (fixed, permuted) pairs, split exactly on tabs and line feeds."""
    blocks = text.split("\n\n")
    assert blocks[-1] == "", "listings end in an empty line"
    return [[tuple(line.split("\t")) for line in block.split("\n")] for block in blocks[:-1]]


def expected_tables(blocks, strata):
    header_long = ["reshuffle", "taxon", "family"] + (["order"] if strata else [])
    order_of = {taxon: order for taxon, _, order in TAXA}
    long_rows = []
    for k, block in enumerate(blocks):
        for fixed, permuted in block:
            long_rows.append([str(k), fixed, permuted] + ([order_of[fixed]] if strata else []))
    header_wide = ["taxon"] + ["family_%d" % k for k in range(len(blocks))]
    wide_rows = [[blocks[0][i][0]] + [block[i][1] for block in blocks] for i in range(len(blocks[0]))]
    return {"long": (header_long, long_rows), "wide": (header_wide, wide_rows)}


def read_with_pandas(path):
    frame = pandas.read_csv(path, sep="\t", keep_default_na=False)
    return list(frame.columns), [[str(v) for v in row] for row in frame.itertuples(index=False)]


R_SCRIPT = r"""
args <- commandArgs(trailingOnly = TRUE)
d <- read.delim(args[1])
hex <- function(v) if (is.na(v)) "NA" else paste(as.character(charToRaw(as.character(v))), collapse = "")
out <- c(paste(sapply(names(d), hex), collapse = " "))
for (i in seq_len(nrow(d))) out <- c(out, paste(sapply(d[i, ], hex), collapse = " "))
writeLines(out, args[2])
"""


def read_with_r(path, scratch):
    script = os.path.join(scratch, "read.R")
    result = os.path.join(scratch, "read.out")
    with open(script, "w") as f:
        f.write(R_SCRIPT)
    subprocess.run(["Rscript", script, path, result], check=True)
    decode = lambda h: bytes.fromhex(h).decode("utf-8")
    with open(result) as f:
        rows = [[decode(h) for h in line.split(" ")] for line in f.read().splitlines()]
    return rows[0], rows[1:]


def main():
    binary = sys.argv[1]
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        table = os.path.join(scratch, "taxa.tsv")
        with open(table, "w", newline="") as f:
            f.write("taxon\tfamily\torder\n")
            for row in TAXA:
                f.write("\t".join(row) + "\n")
        for strata in (False, True):
            extra = ["--strata", "order"] if strata else []
            blocks = listings(labmix(binary, table, "--header", *extra))
            want = expected_tables(blocks, strata)
            for form in ("long", "wide"):
                path = os.path.join(scratch, form + ".tsv")
                with open(path, "w", newline="") as f:
                    f.write(labmix(binary, table, "--header", "--format", form, *extra))
                header, rows = want[form]
                for reader, read in (("pandas", read_with_pandas), ("R", lambda p: read_with_r(p, scratch))):
                    got = read(path)
                    expect = (header, rows)
                    if reader == "R":
                        expect = (header, [[v.replace("\r", "\n") for v in row] for row in rows])
                    verdict = "ok" if got == expect else "FAILED"
                    failures += got != expect
                    print("%-6s %-5s %-10s %d columns, %d rows: %s" % (reader, form, "strata" if strata else "", len(got[0]), len(got[1]), verdict))
                    if got != expect:
                        print("  want", expect, "\n  got ", got)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
