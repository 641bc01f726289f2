species <- read.delim(system.file("extdata", "mammals.tsv", package = "labmix"))
traits <- read_distances(system.file("extdata", "mammal_traits.phy", package = "labmix"))
ranges <- read_distances(system.file("extdata", "mammal_ranges.tsv", package = "labmix"))
report <- c("statistic", "observed", "null_mean", "null_sd", "reshuffles", "at_least", "p_value",
            "seed")

test_that("perm_test gives labmix's numbers for the same seed", {
    # labmix --header --fixed family --permute habitat --strata order --test chi2,ari -s 1
    #     examples/species.tsv
    r <- perm_test(species$family, species$habitat, c("chi2", "ari"), strata = species$order,
                   seed = 1)
    expect_identical(names(r), report)
    expect_identical(r$observed, c(282.4476871566245, 0.055077327592980584))
    expect_identical(r$null_mean, c(96.72191797967805, 0.004900206761743252))
    expect_identical(r$null_sd, c(10.500159266532865, 0.0028275315721264715))
    expect_identical(r$at_least, c(0L, 0L))
    expect_identical(r$p_value, c(0.001, 0.001))
})

test_that("distance_test gives labmix's numbers for the same seed", {
    # labmix --distances examples/species_traits.phy --test permanova,anosim --header
    #     --fixed species --permute habitat -s 1 examples/species.tsv
    habitat <- species$habitat[match(labels(traits), species$species)]
    r <- distance_test(traits, habitat, "permanova,anosim", seed = 1)
    expect_identical(r$observed, c(11.410389430914343, 0.5116793841238549))
    expect_identical(r$null_mean, c(1.0027032250315786, 0.00016687531982466884))
    expect_identical(r$null_sd, c(0.3557258252931173, 0.040492346657824564))
    # A square matrix is a dist object's twin.
    expect_identical(distance_test(as.matrix(traits), habitat, "anosim", seed = 1), r[2, ],
                     ignore_attr = TRUE)
})

test_that("mantel_test gives labmix's numbers and matches the taxa by label", {
    # labmix --distances examples/species_traits.phy --distances examples/species_ranges.tsv
    #     --test mantel -s 1
    r <- mantel_test(traits, ranges, seed = 1)
    expect_identical(c(r$observed, r$null_mean, r$null_sd),
                     c(0.49024175259344976, -0.002150860102906507, 0.060060269404943814))
    m <- as.matrix(ranges)
    expect_identical(mantel_test(traits, m[60:1, 60:1], seed = 1), r)
})
