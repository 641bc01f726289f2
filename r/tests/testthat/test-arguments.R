species <- read.delim(system.file("extdata", "mammals.tsv", package = "labmix"))
traits <- read_distances(system.file("extdata", "mammal_traits.phy", package = "labmix"))

test_that("labels are groups by equality, whatever their type", {
    family <- species$family
    run <- function(f) perm_test(f, species$habitat, "nmi,chi2", reshuffles = 20, seed = 5)
    expected <- run(family)
    for (f in list(factor(family, levels = rev(unique(family))), match(family, unique(family)) * 7L,
                   as.numeric(factor(family)) + 0.5))
        expect_identical(run(f), expected)
})

test_that("missing labels leave their rows out; NA needs missing", {
    keep <- !is.na(species$diet)
    run <- function(...) perm_test(species$family, species$diet, reshuffles = 20, seed = 2, ...)
    expect_identical(run(missing = "NA"),
                     perm_test(species$family[keep], species$diet[keep], reshuffles = 20, seed = 2))
    diet <- ifelse(keep, species$diet, "unknown")
    expect_identical(
        perm_test(species$family, diet, reshuffles = 20, seed = 2, missing = "unknown"),
        run(missing = "NA"))
    groups <- rep(c("a", "b", NA), 20)
    expect_identical(distance_test(traits, groups, seed = 3, reshuffles = 20, missing = "NA"),
                     distance_test(as.matrix(traits)[!is.na(groups), !is.na(groups)],
                                   groups[!is.na(groups)], seed = 3, reshuffles = 20))
})

test_that("a seed from the clock is reported and repeats the test", {
    r <- perm_test(species$family, species$habitat, reshuffles = 10)
    expect_true(r$seed >= 0 && r$seed < 2^31)
    expect_identical(perm_test(species$family, species$habitat, reshuffles = 10, seed = r$seed), r)
})

test_that("a test of one group is undefined: NaN with a warning", {
    expect_warning(r <- perm_test(1:4, rep("x", 4), reshuffles = 5, seed = 1),
                   "undefined, so it is NaN: permuted has only one group")
    expect_identical(c(r$observed, r$p_value, r$at_least), c(NaN, NaN, NA))
})

test_that("compare_partitions names every measure", {
    r <- compare_partitions(c("a", "a", "a", "a", "b"), c(1, 1, 1, 2, 2))
    expect_named(r, c("rand", "adjusted_rand", "mutual_information", "nmi", "nmi_geometric",
                      "nmi_min", "nmi_max", "ami", "variation_of_information"))
    expect_equal(r[c("rand", "adjusted_rand")], c(rand = 0.6, adjusted_rand = 3 / 13))
})

test_that("errors say what is wrong", {
    bad <- as.matrix(traits)
    bad[1, 2] <- 5
    cases <- list(
        alist(perm_test(species$family, species$diet),
              "permuted holds NA \\(first at position 6\\)"),
        alist(perm_test(1:3, 1:2), "permuted has 2 labels, but fixed has 3"),
        alist(perm_test(data.frame(x = 1), 1), "fixed must be a vector of labels.*data.frame"),
        alist(perm_test(1:3, 1:3, "foo"), "statistics names an unknown statistic, \"foo\""),
        alist(perm_test(1:3, 1:3, "mantel"), "mantel is a statistic of two distance matrices"),
        alist(perm_test(1:3, 1:3, reshuffles = 0), "at least 1 reshuffle"),
        alist(perm_test(1:3, 1:3, seed = -1), "seed must be a whole number"),
        alist(perm_test(NA, 1, missing = "NA"), "there are no taxa once"),
        alist(distance_test(bad, rep(1:2, 30)), "d: the matrix is not symmetric"),
        alist(distance_test(matrix(1:6, 2), 1:2), "d must be a dist object or a square"),
        alist(distance_test(matrix(c(0, NA, NA, 0), 2), 1:2), "d holds NA or NaN"),
        alist(mantel_test(traits, as.dist(matrix(0, 2, 2))), "a holds 60 taxa and b 2"),
        alist(compare_partitions(c("a", NA), 1:2), "a holds NA \\(first at position 2\\)$"),
        alist(read_distances("no_such_file.phy"), "no_such_file.phy: the file cannot be opened"))
    for (case in cases) expect_error(eval(case[[1]]), case[[2]])
})
