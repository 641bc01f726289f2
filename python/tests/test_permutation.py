"""The permutation tests from Python: the same numbers as labmix --test for the same data and seed
(LABMIX_BINARY names the built tool; without it those checks skip), and the checks of the input."""

import io
import math
import os
import subprocess

import numpy as np
import pytest

import phylo

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")
COLUMNS = ["statistic", "observed", "null_mean", "null_sd", "reshuffles", "at_least", "p_value", "seed"]


def cli_report(*arguments):
    binary = os.environ.get("LABMIX_BINARY")
    if not binary or not os.path.exists(binary):
        pytest.skip("LABMIX_BINARY does not name the built labmix")
    out = subprocess.run([binary, *arguments], cwd=EXAMPLES, check=True, capture_output=True,
                         text=True).stdout
    lines = [line.split("\t") for line in out.splitlines()]
    return [dict(zip(lines[0], line)) for line in lines[1:]]


def assert_same_report(ours, cli):
    assert list(ours)[:8] == COLUMNS and len(ours["statistic"]) == len(cli)
    for i, line in enumerate(cli):
        assert ours["statistic"][i] == line["statistic"]
        # Bit for bit: the CLI writes the shortest text that reads back as the same double.
        for name in ("observed", "null_mean", "null_sd", "p_value"):
            assert repr(ours[name][i]) == repr(float(line[name])), (name, ours[name][i], line[name])
        assert ours["reshuffles"][i] == int(line["reshuffles"])
        assert ours["at_least"][i] == int(line["at_least"])
        assert ours["seed"][i] == int(line["seed"])


def species_table():
    pandas = pytest.importorskip("pandas")
    return pandas.read_csv(os.path.join(EXAMPLES, "species.tsv"), sep="\t")


def test_permutation_test_gives_the_clis_numbers():
    table = species_table()  # diet holds NA, which pandas reads as NaN
    cli = cli_report("--header", "--fixed", "family", "--permute", "diet", "--strata", "order",
                     "--missing", "NA", "--test", "chi2,ari", "-s", "7", "-n", "199", "species.tsv")
    ours = phylo.permutation_test(table["family"], table["diet"], statistics=["chi2", "ari"],
                                  strata=table["order"], missing=[np.nan], reshuffles=199, seed=7,
                                  threads=2, return_null=True)
    assert_same_report(ours, cli)
    assert ours["null"].shape == (199, 2)
    assert ours["null"][:, 1].mean() == pytest.approx(ours["null_mean"][1], rel=1e-12)


def test_distance_test_gives_the_clis_numbers():
    table = species_table().set_index("species")
    labels, d = phylo.read_distances(os.path.join(EXAMPLES, "species_traits.phy"))
    cli = cli_report("--distances", "species_traits.phy", "--test", "permanova,anosim", "--header",
                     "--fixed", "species", "--permute", "habitat", "-s", "1", "species.tsv")
    ours = phylo.distance_test(d, table.loc[labels, "habitat"], statistics=("permanova", "anosim"),
                               seed=1)
    assert_same_report(ours, cli)
    # A condensed vector as scipy's pdist gives is the same matrix.
    condensed = d[np.triu_indices(len(labels), 1)]
    again = phylo.distance_test(condensed, list(table.loc[labels, "habitat"]),
                                statistics="permanova,anosim", seed=1, threads=1)
    assert again == ours


def test_mantel_test_gives_the_clis_numbers():
    labels, a = phylo.read_distances(os.path.join(EXAMPLES, "species_traits.phy"))
    other, b = phylo.read_distances(os.path.join(EXAMPLES, "species_ranges.tsv"))
    order = [other.index(label) for label in labels]
    cli = cli_report("--distances", "species_traits.phy", "--distances", "species_ranges.tsv",
                     "--test", "mantel,mantel_spearman", "-s", "1")
    ours = phylo.mantel_test(a, b[np.ix_(order, order)], statistics=("mantel", "mantel_spearman"),
                             seed=1)
    assert_same_report(ours, cli)


def test_missing_labels_are_left_out_only_when_named():
    fixed = ["a", "a", "b", "b", "a", "b", "c"]
    permuted = ["x", "y", "x", "y", "x", None, "NA"]
    with pytest.raises(ValueError, match=r"permuted: label 5 is None, a missing value; name it in missing="):
        phylo.permutation_test(fixed, permuted, seed=1)
    left_out = phylo.permutation_test(fixed, permuted, missing=[None, "NA"], seed=3, reshuffles=20)
    kept = phylo.permutation_test(fixed[:5], permuted[:5], seed=3, reshuffles=20)
    assert left_out == kept
    # NaN from numpy and pandas is absent like None; integer codes are labels like their text.
    assert phylo.permutation_test(np.array([1, 1, 2, 2, 1]), np.array(["x", "y", "x", "y", "x"]),
                                  seed=3, reshuffles=20) == kept
    with pytest.raises(ValueError, match="groups: label 1 is nan"):
        phylo.distance_test(np.zeros(3), [1.0, float("nan"), 2.0])


def test_undefined_test_is_nan():
    r = phylo.permutation_test(["a"] * 4, ["x", "y", "x", "y"], statistics=["chi2"], seed=1,
                               reshuffles=5, return_null=True)
    assert math.isnan(r["observed"][0]) and math.isnan(r["p_value"][0])
    assert r["at_least"] == [None] and np.isnan(r["null"]).all()


@pytest.mark.parametrize("call, kind, message", [
    (lambda: phylo.permutation_test(["a"], ["b"], statistics=["chi3"]), ValueError,
     r'the value of statistics names an unknown statistic, "chi3" \(known: chi2'),
    (lambda: phylo.permutation_test(["a"], ["b"], statistics=["chi2", "mantel"]), ValueError,
     "names statistics of two kinds of data"),
    (lambda: phylo.permutation_test(["a"], ["b"], statistics=["permanova"]), ValueError,
     r"permutation_test does not compute permanova, .*\(distance_test does\); its statistics are chi2, g"),
    (lambda: phylo.permutation_test(["a", "b"], ["b"]), ValueError,
     "permuted has 1 labels and fixed 2; there must be one label per taxon"),
    (lambda: phylo.permutation_test("ab", "ab"), TypeError, "fixed must be a sequence of labels"),
    (lambda: phylo.permutation_test([["a"]], ["b"]), TypeError, "fixed: label 0 is .*a sequence"),
    (lambda: phylo.permutation_test(["a"], ["b"], reshuffles=0), ValueError, "reshuffles must be"),
    (lambda: phylo.permutation_test(["a"], ["b"], seed=2**31), ValueError, "seed must be"),
    (lambda: phylo.distance_test(np.zeros(4), [1, 2, 3]), ValueError,
     r"distances: a condensed vector holds n\(n - 1\)/2 distances for n taxa, and 4 is no such"),
    (lambda: phylo.distance_test(np.zeros(3), [1, 2]), ValueError,
     "groups has 2 labels and distances 3 taxa"),
    (lambda: phylo.distance_test([[0, 1], [2, 0]], [1, 2], labels=["p", "q"]), phylo.Error,
     'distances: the matrix is not symmetric: the distance from "p" to "q" is 1, back 2'),
    (lambda: phylo.distance_test([[1, 1], [1, 0]], [1, 2]), phylo.Error,
     'distances: the distance from "0" to itself is 1, not 0'),
    (lambda: phylo.distance_test([0.0, -1.0, 1.0], [1, 2, 1]), phylo.Error, "is -1, below 0"),
    (lambda: phylo.distance_test([math.inf, 1.0, 1.0], [1, 2, 1]), phylo.Error, "not a finite number"),
    (lambda: phylo.mantel_test(np.zeros(3), np.zeros(1)), ValueError,
     "a has 3 taxa and b 2; the two matrices must hold the same taxa"),
    (lambda: phylo.mantel_test(np.zeros(3), np.zeros(3), strata=[1, None, 2]), ValueError,
     "strata: label 1 is None, a missing value; every taxon needs a stratum"),
])
def test_errors_name_the_reason(call, kind, message):
    with pytest.raises(kind, match=message):
        call()


def test_the_report_is_a_data_frame_and_the_seed_repeats_it():
    pandas = pytest.importorskip("pandas")
    r = phylo.permutation_test(list("aabbab"), list("xyxyxx"), statistics=("chi2", "g"),
                               reshuffles=30)
    frame = pandas.DataFrame(r)
    assert list(frame.columns) == COLUMNS and len(frame) == 2
    assert 0 <= r["seed"][0] < 2**31
    assert phylo.permutation_test(list("aabbab"), list("xyxyxx"), statistics=("chi2", "g"),
                                  reshuffles=30, seed=r["seed"][0]) == r
