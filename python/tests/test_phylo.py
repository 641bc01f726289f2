"""Tests of the Python module phylo, with cross-checks against scikit-learn and SciPy.

The cross-checks skip themselves when scikit-learn or SciPy is missing, unless
LABMIX_REQUIRE_PEERS=1 (as the CI sets it), which makes a missing peer a failure.
"""

import importlib
import math
import os

import numpy as np
import pytest

import phylo


def peer(name):
    if os.environ.get("LABMIX_REQUIRE_PEERS") == "1":
        return importlib.import_module(name)
    return pytest.importorskip(name)


LIMIT_KINDS = [(0, 0), (0, 1), (1, 0), (1, 1), (0, 2), (2, 0), (1, 2), (2, 1)]


def random_case(rng, index):
    """Two partitions of n taxa: the first 80 cases pair one group (0), all singletons (1) and
    random groups (2) in every way at sizes from 1 up; the rest are random."""
    n = 1 + index // 8 if index < 80 else int(rng.integers(1, 300))
    def one(kind):
        if kind == 0:
            return np.zeros(n, dtype=np.int64)
        if kind == 1:
            return rng.permutation(n)
        return rng.integers(0, int(rng.integers(1, n + 1)), n)
    kinds = LIMIT_KINDS[index % 8] if index < 80 else (2, 2)
    return one(kinds[0]), one(kinds[1])


def test_measures_equal_scikit_learns_on_1000_random_cases():
    metrics = peer("sklearn.metrics")
    rng = np.random.default_rng(2026)
    for index in range(1000):
        a, b = random_case(rng, index)
        ours = phylo.compare(a, b)
        both_singletons = len(set(a)) == len(a) == len(set(b)) and len(a) > 1
        expected = {
            "rand": metrics.rand_score(a, b),
            "adjusted_rand": metrics.adjusted_rand_score(a, b),
            "mutual_information": metrics.mutual_info_score(a, b),
            "nmi": metrics.normalized_mutual_info_score(a, b),
            "nmi_geometric": metrics.normalized_mutual_info_score(a, b, average_method="geometric"),
            "nmi_min": metrics.normalized_mutual_info_score(a, b, average_method="min"),
            "nmi_max": metrics.normalized_mutual_info_score(a, b, average_method="max"),
        }
        # Equal all-singleton partitions: scikit-learn's AMI is a rounding residue over its floor
        # (1.0 or 0.0 depending on n); phylo gives 1, the limit for equal partitions.
        if both_singletons:
            assert ours["ami"] == 1.0
        else:
            expected["ami"] = metrics.adjusted_mutual_info_score(a, b)
        for name, value in expected.items():
            assert abs(ours[name] - value) <= 1e-10, (index, len(a), name, ours[name], value)


def test_statistics_equal_scipys_contingency_test():
    stats = peer("scipy.stats")
    rng = np.random.default_rng(7)
    for _ in range(50):
        n = int(rng.integers(20, 400))
        a = rng.integers(0, int(rng.integers(2, 8)), n)
        b = rng.integers(0, int(rng.integers(2, 8)), n)
        _, a = np.unique(a, return_inverse=True)
        _, b = np.unique(b, return_inverse=True)
        table = np.zeros((a.max() + 1, b.max() + 1))
        np.add.at(table, (a, b), 1)
        if table.shape[0] < 2 or table.shape[1] < 2:
            continue
        ours = phylo.compare(a, b)
        chi2 = stats.chi2_contingency(table, correction=False)[0]
        g = stats.chi2_contingency(table, correction=False, lambda_="log-likelihood")[0]
        assert math.isclose(ours["chi_square"], chi2, rel_tol=1e-10, abs_tol=1e-10)
        assert math.isclose(ours["g_statistic"], g, rel_tol=1e-10, abs_tol=1e-10)
        assert math.isclose(ours["g_statistic"], 2 * n * ours["mutual_information"], rel_tol=1e-12)


def canonical(groups):
    """Group numbers renumbered by first occurrence, to compare partitions, not numberings."""
    _, first, inverse = np.unique(groups, return_index=True, return_inverse=True)
    order = np.argsort(np.argsort(first))
    return order[inverse]


def test_single_linkage_equals_scipys_fcluster():
    hierarchy = peer("scipy.cluster.hierarchy")
    distance = peer("scipy.spatial.distance")
    rng = np.random.default_rng(11)
    for _ in range(20):
        points = rng.random((int(rng.integers(2, 120)), 3))
        condensed = distance.pdist(points)
        square = distance.squareform(condensed)
        tree = hierarchy.linkage(condensed, method="single")
        thresholds = np.quantile(condensed, [0.01, 0.05, 0.2])
        for t in thresholds:
            expected = hierarchy.fcluster(tree, t, criterion="distance")
            got = phylo.single_linkage(square, float(t))
            assert got.dtype == np.int32 and got.shape == (len(points),)
            assert np.array_equal(canonical(got), canonical(expected))
        series = phylo.single_linkage_series(square, 0.0, float(thresholds[1]), 4)
        assert series.shape == (4, len(points))
        for r in range(4):
            t = r * float(thresholds[1])
            expected = hierarchy.fcluster(tree, t, criterion="distance")
            assert np.array_equal(canonical(series[r]), canonical(expected))


@pytest.mark.parametrize(
    "first, second",
    [
        (["Muridae", "Muridae", "Soricidae", "Talpidae"], ["R", "R", "E", "E"]),
        (np.array([5, 5, -3, 2**40], dtype=np.int64), np.array([1, 1, 0, 0], dtype=np.uint8)),
        (np.array([0, 0, 1, 2], dtype=np.int32), [10, 10, 20, 20]),
        (np.array(["m", "m", "s", "t"]), ("x", "x", "y", "y")),
    ],
)
def test_any_labels_give_the_same_measures(first, second):
    reference = phylo.compare(np.array([0, 0, 1, 2]), np.array([0, 0, 1, 1]))
    assert phylo.compare(first, second) == reference


def test_result_fields_and_worked_values():
    r = phylo.compare([0, 0, 0, 0, 1], [0, 0, 0, 1, 1])
    assert (r["taxa"], r["first_groups"], r["second_groups"], r["cells"]) == (5, 2, 2, 3)
    assert r["rand"] == pytest.approx(0.6)
    assert r["adjusted_rand"] == pytest.approx(0.6 / 2.6)
    assert r["mi_over_joint_entropy"] == pytest.approx(0.234821, abs=1e-6)
    assert math.isnan(phylo.compare([1, 1], [2, 2])["mi_over_joint_entropy"])


def test_errors_carry_the_librarys_message():
    with pytest.raises(phylo.Error, match="partitions of 2 and 3 taxa cannot be compared"):
        phylo.compare([1, 2], [1, 2, 3])
    with pytest.raises(phylo.Error, match="empty partitions cannot be compared"):
        phylo.compare([], [])
    assert issubclass(phylo.Error, ValueError)
    with pytest.raises(ValueError, match="square"):
        phylo.single_linkage(np.zeros((2, 3)), 1.0)
    with pytest.raises(phylo.Error, match="the start threshold is -1"):
        phylo.single_linkage(np.zeros((2, 2)), -1.0)
    with pytest.raises(ValueError, match="unknown distance format"):
        phylo.read_distances("x", "fasta")
    with pytest.raises(FileNotFoundError):
        phylo.read_distances("/nonexistent/distances.tsv", "tab")


def test_read_distances(tmp_path):
    labels, matrix = phylo.read_distances(os.path.join(os.environ["LABMIX_TEST_DATA"], "read_dist_crlf.tsv"))
    assert labels == ["Homo", "Pan", " Gorilla"]
    assert matrix.shape == (3, 3) and matrix.dtype == np.float64
    assert matrix[0, 1] == 0.5 and matrix[2, 0] == 0.1 and matrix[1, 2] == 2.0
    bad = tmp_path / "bad.phy"
    bad.write_text("2\na 0 x\nb 1 0\n")
    with pytest.raises(phylo.Error, match="line 2"):
        phylo.read_distances(str(bad), "extended_phylip")


def test_read_distances_tells_the_layout(tmp_path):
    for k, text in enumerate(["2\nHomo\nPan       0.5\n", "Homo\tPan\nHomo\t0\t0.5\nPan\t0.5\t0\n",
                              "#NEXUS\nbegin distances; dimensions ntax=2; matrix Homo 0 Pan 0.5 0; end;"]):
        (tmp_path / f"d{k}").write_text(text)
        labels, matrix = phylo.read_distances(str(tmp_path / f"d{k}"))
        assert labels == ["Homo", "Pan"] and matrix.tolist() == [[0, 0.5], [0.5, 0]], text


def test_labels_are_one_str_each():
    with pytest.raises(TypeError, match="label 0 is <class 'list'>, a sequence"):
        phylo.compare([["a", "b"], ["c"]], [1, 2])
    with pytest.raises(ValueError, match=r"label 1, '\\udc80', is not valid Unicode text"):
        phylo.compare(["a", "\udc80"], [1, 2])
    with pytest.raises(ValueError, match="label 0, '\\\\udc80'"):
        phylo.write_matrix("unused.phy", ["\udc80"], ["A"])


def test_read_distances_refuses_what_is_no_distance_matrix(tmp_path):
    cases = [("\tA\tB\nA\t0\t1\nB\t2\t0\n", "from \"A\" to \"B\" is 1, back is 2"),
             ("2\nA 0 1\nB 1 0\nC 1 1\n", "line 4: the file goes on after the matrix"),
             ("#NEXUS\nbegin distances; dimensions ntax=2; format missing=?;\nmatrix A 0 B ? 0;\nend;\n",
              "the distance between \"A\" and \"B\" is not a number")]
    for k, (text, message) in enumerate(cases):
        path = tmp_path / f"d{k}.txt"
        path.write_text(text)
        with pytest.raises(phylo.Error, match=str(path) + ".*" + message):
            phylo.read_distances(str(path), ["tab", "extended_phylip", "nexus"][k])


def test_a_refused_write_leaves_the_file_as_it_was(tmp_path):
    path = tmp_path / "kept.phy"
    path.write_text("precious\n")
    path.chmod(0o640)
    refused = [
        lambda: phylo.write_matrix(str(path), ["abcdefghijX", "abcdefghijY"], ["A", "C"]),
        lambda: phylo.write_matrix(str(path), [], []),
        lambda: phylo.write_matrix(str(path), ["", ""], ["A", "C"], "extended_phylip"),
        lambda: phylo.write_distances(str(path), ["a", "b"], np.zeros((2, 2)), digits=2**64 - 1),
    ]
    for write in refused:
        with pytest.raises(phylo.Error):
            write()
        assert path.read_text() == "precious\n" and os.listdir(tmp_path) == ["kept.phy"]
    phylo.write_distances(str(path), ["a", "b"], np.zeros((2, 2)), "extended_phylip", 1)
    assert path.read_text() == " 2\na\t 0.0\t 0.0\nb\t 0.0\t 0.0\n"
    assert path.stat().st_mode & 0o777 == 0o640 and os.listdir(tmp_path) == ["kept.phy"]
