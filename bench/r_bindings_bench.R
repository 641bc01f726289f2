# The R package's PERMANOVA against vegan's adonis2 and against labmix itself, on gen.py's data,
# 999 reshuffles, in one run:
#
#   python3 ../shared/bench/distance/gen.py 1000 4 10 0.15 DIR
#   Rscript bench/r_bindings_bench.R DIR build-release/tool/labmix [LIBRARY]
#
# LIBRARY is where the package is installed (R CMD INSTALL -l LIBRARY r), when not on R's
# library path. The matrix is read as ../shared/bench/distance/peers.R reads it; labmix::
# distance_test and adonis2 are timed alone, after reading; labmix is timed as a whole process,
# reading included, as is labmix::read_distances followed by distance_test. The package and
# labmix run 5 times each (their median counts), adonis2 once. Prints seconds, the pseudo-F of
# each, and the ratios; the package and labmix must agree to the last bit.
a <- commandArgs(TRUE)
if (length(a) < 2) stop("usage: Rscript bench/r_bindings_bench.R DIR LABMIX [LIBRARY]")
dir <- a[1]
cli <- a[2]
if (length(a) > 2) .libPaths(c(a[3], .libPaths()))
suppressMessages({
    library(labmix)
    library(vegan)
})
rd <- function(f) {
    m <- as.matrix(read.table(file.path(dir, f), skip = 1, row.names = 1, sep = "\t"))
    colnames(m) <- rownames(m)
    m
}
m1 <- rd("d1.phy")
d1 <- as.dist(m1)
t <- read.delim(file.path(dir, "groups.tsv"), colClasses = "character")
t <- t[match(rownames(m1), t$taxon), ]
g <- factor(t$group)

# The median seconds of `times` runs of `expr`, evaluated in the caller's frame.
seconds <- function(expr, times = 5) {
    e <- substitute(expr)
    env <- parent.frame()
    median(vapply(seq_len(times), function(i) system.time(eval(e, env))[["elapsed"]], 0))
}
ours <- seconds(r <- distance_test(d1, g, "permanova", reshuffles = 999, seed = 1))
read_and_test <- seconds(distance_test(read_distances(file.path(dir, "d1.phy")), g, "permanova",
                                       reshuffles = 999, seed = 1))
set.seed(1)
vegan <- seconds(v <- adonis2(d1 ~ g, permutations = 999), times = 1)
args <- c("--distances", file.path(dir, "d1.phy"), "--test", "permanova", "--header", "--fixed",
          "taxon", "--permute", "group", "-s", "1", "--quiet", file.path(dir, "groups.tsv"))
tool <- seconds(out <- system2(cli, args, stdout = TRUE))
report <- read.delim(text = out)

cat(sprintf("%-36s %8s %14s\n", "", "seconds", "pseudo-F"))
cat(sprintf("%-36s %8.3f %14.10g\n", "labmix::distance_test", ours, r$observed))
cat(sprintf("%-36s %8.3f\n", "  read_distances + distance_test", read_and_test))
cat(sprintf("%-36s %8.3f %14.10g\n", "vegan::adonis2", vegan, v$F[1]))
cat(sprintf("%-36s %8.3f %14.10g\n", "labmix (process, reading included)", tool,
            report$observed))
cat(sprintf("adonis2 / distance_test: %.1fx; distance_test / labmix: %.2fx\n", vegan / ours,
            ours / tool))
same <- identical(c(r$observed, r$null_mean, r$null_sd, r$p_value),
                  c(report$observed, report$null_mean, report$null_sd, report$p_value))
cat("the package and labmix agree:", same, "\n")
if (!same) quit(status = 1)
