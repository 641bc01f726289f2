"""Matrix files between phylo and the programs biologists use: Biopython, scikit-bio,
DendroPy, R's ape and phangorn, and PHYLIP's dnadist. Each layout pair is tried in both
directions on small matrices: the peer reads what phylo writes, and phylo reads what the
peer writes, and both must see the same labels and the same states or distances.

A peer that is not installed skips its cases, unless LABMIX_REQUIRE_PEERS=1 (as the CI
sets it), which makes a missing peer a failure.
"""

import importlib
import os
import shutil
import subprocess
import warnings

import numpy as np
import pytest

import phylo

LABELS = ["Homo_sapiens", "Pan_troglodytes", "Gorilla", "Pongo_abelii"]
ROWS = [
    "ACGTACGTAC" * 7 + "ACG",
    "ACGTTCGTAC" * 7 + "AC-",
    "ACGAACGTA-" * 7 + "TTT",
    "TCGAACGTAA" * 7 + "ATG",
]
DISTANCES = np.array(
    [
        [0.0, 0.125, 0.25, 0.5],
        [0.125, 0.0, 0.375, 0.625],
        [0.25, 0.375, 0.0, 0.75],
        [0.5, 0.625, 0.75, 0.0],
    ]
)


def peer(name):
    if os.environ.get("LABMIX_REQUIRE_PEERS") == "1":
        return importlib.import_module(name)
    return pytest.importorskip(name)


def program(name):
    path = shutil.which(name)
    if path is None:
        if os.environ.get("LABMIX_REQUIRE_PEERS") == "1":
            pytest.fail(f"{name} is not installed")
        pytest.skip(f"{name} is not installed")
    return path


def run_r(script, cwd):
    """Runs an R script with ape and phangorn loaded; returns its standard output."""
    rscript = program("Rscript")
    done = subprocess.run(
        [rscript, "-e", "suppressMessages({library(ape); library(phangorn)})", "-e", script],
        cwd=cwd,
        capture_output=True,
        text=True,
    )
    assert done.returncode == 0, done.stderr
    return done.stdout


def biopython_alignment():
    peer("Bio")
    from Bio.Align import MultipleSeqAlignment
    from Bio.Seq import Seq
    from Bio.SeqRecord import SeqRecord

    return MultipleSeqAlignment(
        [
            SeqRecord(Seq(row), id=label, annotations={"molecule_type": "DNA"})
            for label, row in zip(LABELS, ROWS)
        ]
    )


def strict(labels):
    return [label[:10] for label in labels]


# ---- phylo writes, the peers read ------------------------------------------------------


def test_biopython_reads_phylip_extended_phylip_and_nexus(tmp_path):
    from_layout = {"phylip": "phylip", "extended_phylip": "phylip-relaxed", "nexus": "nexus"}
    peer("Bio")
    from Bio import AlignIO

    for layout, biopython_format in from_layout.items():
        path = tmp_path / f"m.{layout}"
        phylo.write_matrix(str(path), LABELS, ROWS, layout)
        alignment = AlignIO.read(str(path), biopython_format)
        expected = strict(LABELS) if layout == "phylip" else LABELS
        assert [r.id for r in alignment] == expected, layout
        assert [str(r.seq) for r in alignment] == ROWS, layout


def test_dendropy_reads_phylip_and_nexus(tmp_path):
    dendropy = peer("dendropy")
    for layout, schema, labels in [
        ("phylip", "phylip", strict(LABELS)),
        ("extended_phylip", "phylip", LABELS),
        # NEXUS reads an underscore as a blank.
        ("nexus", "nexus", [label.replace("_", " ") for label in LABELS]),
    ]:
        path = tmp_path / f"m.{layout}"
        phylo.write_matrix(str(path), LABELS, ROWS, layout)
        matrix = dendropy.NucleotideCharacterMatrix.get(path=str(path), schema=schema)
        assert [t.label for t in matrix.taxon_namespace] == labels, layout
        assert [str(matrix[t]) for t in matrix.taxon_namespace] == ROWS, layout


def test_ape_reads_phylip_and_nexus(tmp_path):
    phylo.write_matrix(str(tmp_path / "m.nexus"), LABELS, ROWS, "nexus")
    phylo.write_matrix(str(tmp_path / "m.phylip"), LABELS, ROWS, "phylip", separator="blank")
    out = run_r(
        'x <- read.dna("m.phylip", format = "sequential", as.character = TRUE)\n'
        'cat(rownames(x), sep = "\\n"); cat(toupper(apply(x, 1, paste, collapse = "")), sep = "\\n")\n'
        'y <- read.nexus.data("m.nexus")\n'
        'cat(names(y), sep = "\\n"); cat(toupper(sapply(y, paste, collapse = "")), sep = "\\n")\n',
        tmp_path,
    )
    lines = out.splitlines()
    assert lines[0:4] == strict(LABELS)
    assert lines[4:8] == ROWS
    assert lines[8:12] == LABELS
    assert lines[12:16] == ROWS


def test_scikit_bio_reads_phylip_and_tab_distances(tmp_path):
    skbio = peer("skbio")
    path = tmp_path / "m.phylip"
    phylo.write_matrix(str(path), LABELS, ROWS, "phylip", separator="blank")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        msa = skbio.TabularMSA.read(str(path), format="phylip", constructor=skbio.DNA)
    assert list(msa.index) == strict(LABELS)
    assert [str(s) for s in msa] == ROWS

    path = tmp_path / "d.tab"
    phylo.write_distances(str(path), LABELS, DISTANCES, "tab", 6)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        dm = skbio.DistanceMatrix.read(str(path), format="lsmat")
    assert list(dm.ids) == LABELS
    np.testing.assert_allclose(dm.data, DISTANCES)


def test_phangorn_reads_phylip_and_nexus_distances(tmp_path):
    phylo.write_distances(str(tmp_path / "d.phylip"), LABELS, DISTANCES, "extended_phylip", 6)
    phylo.write_distances(str(tmp_path / "d.nexus"), LABELS, DISTANCES, "nexus", 6)
    out = run_r(
        'for (d in list(readDist("d.phylip"), read.nexus.dist("d.nexus"))) {\n'
        "  m <- as.matrix(d)\n"
        '  cat(rownames(m), sep = "\\n"); cat(format(m, digits = 17), sep = "\\n")\n'
        "}\n",
        tmp_path,
    )
    lines = out.splitlines()
    for block in (lines[0:20], lines[20:40]):
        assert block[0:4] == LABELS
        np.testing.assert_allclose(np.array(block[4:20], dtype=float).reshape(4, 4).T, DISTANCES)


# ---- the peers write, phylo reads -------------------------------------------------------


def test_phylo_reads_biopythons_phylip_layouts(tmp_path):
    peer("Bio")
    from Bio import AlignIO

    alignment = biopython_alignment()
    # Biopython writes strict and relaxed PHYLIP interleaved past 50 sites.
    for biopython_format, layout, labels in [
        ("phylip-sequential", "phylip", strict(LABELS)),
        ("phylip", "phylip", strict(LABELS)),
        ("phylip-relaxed", "extended_phylip", LABELS),
    ]:
        path = tmp_path / f"bio.{biopython_format}"
        AlignIO.write(alignment, str(path), biopython_format)
        # The layout of the rows is told from the file, or named.
        named = "sequential" if biopython_format == "phylip-sequential" else "interleaved"
        for rows in ["detect", named]:
            assert phylo.read_matrix(str(path), layout, rows) == (labels, ROWS), biopython_format


def test_phylo_reads_biopythons_nexus_and_its_own(tmp_path):
    peer("Bio")
    from Bio import AlignIO

    # Biopython leaves names unquoted, and NEXUS reads an unquoted underscore as a blank.
    blanks = [label.replace("_", " ") for label in LABELS]
    AlignIO.write(biopython_alignment(), str(tmp_path / "bio.nex"), "nexus")
    assert phylo.read_matrix(str(tmp_path / "bio.nex"), "nexus") == (blanks, ROWS)
    # What phylo writes reads back so too.
    phylo.write_matrix(str(tmp_path / "m.nex"), LABELS, ROWS, "nexus")
    assert phylo.read_matrix(str(tmp_path / "m.nex"), "nexus") == (blanks, ROWS)
    phylo.write_distances(str(tmp_path / "d.nex"), LABELS, DISTANCES, "nexus", 6)
    labels, d = phylo.read_distances(str(tmp_path / "d.nex"), "nexus")
    assert labels == blanks
    np.testing.assert_allclose(d, DISTANCES)


def test_an_interleaved_file_read_as_sequential_is_an_error_not_wrong_data(tmp_path):
    peer("Bio")
    from Bio import AlignIO

    path = tmp_path / "bio.phylip"
    AlignIO.write(biopython_alignment(), str(path), "phylip")
    with pytest.raises(phylo.Error, match="holds more than the 73 characters"):
        phylo.read_matrix(str(path), "phylip", "sequential")


def test_phylo_reads_dendropys_and_scikit_bios_files(tmp_path):
    dendropy = peer("dendropy")
    skbio = peer("skbio")
    matrix = dendropy.DnaCharacterMatrix.from_dict(dict(zip(LABELS, ROWS)))
    matrix.write(path=str(tmp_path / "dendropy.phy"), schema="phylip")
    matrix.write(path=str(tmp_path / "dendropy.nex"), schema="nexus")
    assert phylo.read_matrix(str(tmp_path / "dendropy.phy"), "extended_phylip") == (LABELS, ROWS)
    # DendroPy quotes names that hold an underscore, so that they keep it.
    assert phylo.read_matrix(str(tmp_path / "dendropy.nex"), "nexus") == (LABELS, ROWS)

    msa = skbio.TabularMSA(
        [skbio.DNA(row) for row in ROWS], index=[label[:10] for label in LABELS]
    )
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        msa.write(str(tmp_path / "skbio.phy"), format="phylip")
    assert phylo.read_matrix(str(tmp_path / "skbio.phy"), "phylip") == (strict(LABELS), ROWS)


def test_phylo_reads_apes_and_phangorns_files(tmp_path):
    run_r(
        'x <- as.DNAbin(matrix(strsplit(c("%s"), "")[[1]], nrow = 4, byrow = TRUE,\n'
        '                      dimnames = list(c("%s"), NULL)))\n'
        'write.dna(x, "ape.seq", format = "sequential", nbcol = -1, colsep = "")\n'
        'write.dna(x, "ape.int", format = "interleaved")\n'
        'write.nexus.data(as.character(x), "ape.nex", format = "dna")\n'
        "d <- as.dist(matrix(c(%s), 4, dimnames = list(c(%s), c(%s))))\n"
        'writeDist(d, "phangorn.phy")\n'
        'write.nexus.dist(d, "phangorn.nex")\n'
        % (
            "".join(ROWS),
            '", "'.join(LABELS),
            ", ".join(str(v) for v in DISTANCES.flatten()),
            ", ".join(f'"{label}"' for label in LABELS),
            ", ".join(f'"{label}"' for label in LABELS),
        ),
        tmp_path,
    )
    lower = [row.lower() for row in ROWS]
    assert phylo.read_matrix(str(tmp_path / "ape.seq"), "extended_phylip") == (LABELS, lower)
    assert phylo.read_matrix(str(tmp_path / "ape.int"), "extended_phylip") == (LABELS, lower)
    blanks = [label.replace("_", " ") for label in LABELS]
    assert phylo.read_matrix(str(tmp_path / "ape.nex"), "nexus") == (blanks, lower)
    for name, layout, labels_read in [
        ("phangorn.phy", "extended_phylip", LABELS),
        ("phangorn.nex", "nexus", blanks),
    ]:
        labels, d = phylo.read_distances(str(tmp_path / name), layout)
        assert labels == labels_read, name
        np.testing.assert_allclose(d, DISTANCES, err_msg=name)


def test_phylo_reads_dnadists_square_and_lower_triangular_matrices(tmp_path):
    dnadist = program("dnadist") if shutil.which("dnadist") else program("phylip")
    command = [dnadist] if dnadist.endswith("dnadist") else [dnadist, "dnadist"]
    rows = ["ACGTACGTAC" * 6, "ACGTTCGTAC" * 6, "ACGAACGTAC" * 6, "TCGAACGTAA" * 6] * 3
    labels = [f"taxon{k:02d}" for k in range(len(rows))]
    results = []
    for answers in ["Y\n", "L\nY\n"]:
        work = tmp_path / f"run{len(results)}"
        work.mkdir()
        phylo.write_matrix(str(work / "infile"), labels, rows, "phylip", separator="blank")
        done = subprocess.run(command, cwd=work, input=answers, capture_output=True, text=True)
        assert done.returncode == 0 and (work / "outfile").exists(), done.stdout[-500:]
        shape = "square" if answers == "Y\n" else "lower"
        for named in [shape, "detect"]:
            results.append(phylo.read_distances(str(work / "outfile"), "phylip", named))
    assert all(r[0] == labels for r in results)
    np.testing.assert_array_equal(results[0][1], results[1][1])
    np.testing.assert_array_equal(results[2][1], results[3][1])
    square, lower = results[0][1], results[2][1]
    # dnadist writes few digits; both layouts hold the same ones.
    np.testing.assert_array_equal(square, lower)
    np.testing.assert_array_equal(square, square.T)
    assert (np.diag(square) == 0).all() and (square[0, 1:] > 0).any()
