# The package's functions: argument checks and the coding of labels into group numbers here,
# the tests themselves in src/labmix.cpp.
#
# Groups are numbered 0, 1, ... in the order in which their labels first appear, as labmix
# numbers the labels of a table: the reshuffles drawn from a seed depend on that numbering, so
# the same data and seed give labmix's numbers.

# The 0-based codes of `x` by first appearance.
first_appearance <- function(x) match(x, unique(x)) - 1L

# Stops with the message made of `...`, as an error of the user's call `call`.
fail <- function(call, ...) stop(simpleError(paste0(...), call))

# Checks that `x` (called `what`) is a vector of labels: a factor, or a character, integer,
# numeric or logical vector without dimensions.
check_labels <- function(x, what, call) {
    if (!(is.factor(x) || (is.atomic(x) && (is.character(x) || is.numeric(x) || is.logical(x)))) ||
        !is.null(dim(x)))
        fail(call, what, " must be a vector of labels (a factor, character or integer vector), ",
             "not a ", class(x)[1L])
}

# Which entries of `x` are missing: NA, written "NA" when `missing` names it, or a label that
# `missing` names. NA that `missing` does not name is an error.
missing_rows <- function(x, what, missing, call, hint = TRUE) {
    missing <- as.character(missing)
    na <- is.na(x)
    if (any(na) && !("NA" %in% missing || anyNA(missing)))
        fail(call, what, " holds NA (first at position ", which(na)[1L], ")",
             if (hint) ": give missing = \"NA\" to leave such rows out")
    na | (as.character(x) %in% missing)
}

# The common arguments of the tests, checked; `threads` 0 and `seed` NA mean "choose".
check_run <- function(reshuffles, seed, threads, call) {
    whole <- function(v, low, high) {
        is.numeric(v) && length(v) == 1L && !is.na(v) && v == trunc(v) && v >= low && v <= high
    }
    if (!whole(reshuffles, 1, .Machine$integer.max))
        fail(call, "reshuffles must be a whole number from 1 to ", .Machine$integer.max,
             ": a test needs at least 1 reshuffle")
    if (!is.null(seed) && !whole(seed, 0, 2147483647))
        fail(call, "seed must be a whole number from 0 to 2147483647, or NULL for one from the ",
             "clock")
    if (!is.null(threads) && !whole(threads, 1, .Machine$integer.max))
        fail(call, "threads must be a whole number from 1, or NULL for every core")
    list(reshuffles = as.integer(reshuffles),
         seed = if (is.null(seed)) NA_real_ else as.numeric(seed),
         threads = if (is.null(threads)) 0L else as.integer(threads))
}

# The statistics as one comma-separated list ("chi2,ari"), as labmix --test takes them.
statistics_list <- function(statistics, call) {
    if (!is.character(statistics) || length(statistics) == 0L || anyNA(statistics))
        fail(call, "statistics must name the statistics, as \"chi2,ari\" or c(\"chi2\", \"ari\")")
    paste(statistics, collapse = ",")
}

# Runs .Call(...) with the calling function's call on any error the engine raises.
engine <- function(call, entry, ...) {
    tryCatch(.Call(entry, ...), error = function(e) fail(call, conditionMessage(e)))
}

# The rows that a test keeps: every row without a missing label among `columns` (a named list
# whose entries are NULL for a column not given); none kept is an error.
kept_rows <- function(columns, missing, call) {
    if (is.null(missing)) missing <- character()
    if (!is.character(missing) && !all(is.na(missing)))
        fail(call, "missing must be a character vector of the labels that mean a missing value")
    keep <- rep(TRUE, length(columns[[1L]]))
    for (what in names(columns))
        if (!is.null(columns[[what]]))
            keep <- keep & !missing_rows(columns[[what]], what, missing, call)
    if (!any(keep))
        fail(call, "there are no taxa",
             if (length(keep) > 0L) " once the rows with a missing label are left out",
             ", so there is nothing to test")
    keep
}

# Checks that each of `columns` (a named list, NULL for a column not given) has n labels, as
# `of` has.
check_lengths <- function(columns, n, of, call) {
    for (what in names(columns))
        if (!is.null(columns[[what]]) && length(columns[[what]]) != n)
            fail(call, what, " has ", length(columns[[what]]), " labels, but ", of, " has ", n)
}

# The result of a test, with labmix's note as a warning when every statistic is undefined.
undefined_warning <- function(result, why, call) {
    if (nrow(result) > 0L && all(is.nan(result$observed)))
        warning(simpleWarning(paste0("every statistic is undefined, so it is NaN: ", why), call))
    result
}

perm_test <- function(fixed, permuted, statistics = "chi2", strata = NULL, reshuffles = 999,
                      seed = NULL, threads = NULL, missing = NULL) {
    call <- sys.call()
    check_labels(fixed, "fixed", call)
    check_labels(permuted, "permuted", call)
    if (!is.null(strata)) check_labels(strata, "strata", call)
    check_lengths(list(permuted = permuted, strata = strata), length(fixed), "fixed", call)
    list <- statistics_list(statistics, call)
    run <- check_run(reshuffles, seed, threads, call)
    keep <- kept_rows(list(fixed = fixed, permuted = permuted, strata = strata), missing, call)
    codes <- function(x) if (is.null(x)) integer() else first_appearance(x[keep])
    result <- engine(call, C_labmix_contingency, codes(fixed), codes(permuted), codes(strata),
                     list, run$reshuffles, run$seed, run$threads)
    undefined_warning(result, paste(if (length(unique(fixed[keep])) < 2L) "fixed" else "permuted",
                                    "has only one group"), call)
}

# A distance matrix given as a `dist` object or a square numeric matrix: its values as R holds
# them and its labels (row names, or 1, 2, ... without them). The engine builds the square and
# checks it as labmix checks a matrix file.
as_distances <- function(d, what, call) {
    if (inherits(d, "dist")) {
        n <- attr(d, "Size")
        labels <- attr(d, "Labels")
        if (!is.numeric(d) || length(d) != n * (n - 1) / 2)
            fail(call, what, " is not a dist object of ", n, " taxa")
        values <- structure(as.double(d), class = "dist")
    } else {
        if (!is.matrix(d) || !is.numeric(d) || nrow(d) != ncol(d))
            fail(call, what, " must be a dist object or a square numeric matrix")
        n <- nrow(d)
        labels <- rownames(d)
        values <- as.double(d)
    }
    if (is.null(labels)) labels <- seq_len(n)
    if (length(labels) != n) fail(call, what, " has ", length(labels), " labels for ", n, " taxa")
    if (anyNA(values))
        fail(call, what, " holds NA or NaN: every distance must be a finite number")
    list(values = values, labels = as.character(labels))
}

distance_test <- function(d, groups, statistics = "permanova", strata = NULL, reshuffles = 999,
                          seed = NULL, threads = NULL, missing = NULL) {
    call <- sys.call()
    d <- as_distances(d, "d", call)
    check_labels(groups, "groups", call)
    if (!is.null(strata)) check_labels(strata, "strata", call)
    check_lengths(list(groups = groups, strata = strata), length(d$labels), "d", call)
    list <- statistics_list(statistics, call)
    run <- check_run(reshuffles, seed, threads, call)
    keep <- kept_rows(list(groups = groups, strata = strata), missing, call)
    codes <- function(x) if (is.null(x)) integer() else first_appearance(x[keep])
    result <- engine(call, C_labmix_groups, d$values, d$labels, which(keep) - 1L, codes(groups),
                     codes(strata), list, run$reshuffles, run$seed, run$threads)
    undefined_warning(result, "groups has only one group", call)
}

mantel_test <- function(a, b, statistics = "mantel", strata = NULL, reshuffles = 999,
                        seed = NULL, threads = NULL, missing = NULL) {
    call <- sys.call()
    a <- as_distances(a, "a", call)
    b <- as_distances(b, "b", call)
    n <- length(a$labels)
    if (length(b$labels) != n)
        fail(call, "a holds ", n, " taxa and b ", length(b$labels),
             ": the two matrices of a Mantel test must hold the same taxa")
    # b in the order of a's labels, when they name the same taxa in another order.
    order <- match(a$labels, b$labels)
    if (anyNA(order))
        fail(call, "a: taxon \"", a$labels[is.na(order)][1L], "\" is not in b",
             ": the two matrices of a Mantel test must hold the same taxa")
    if (!is.null(strata)) check_labels(strata, "strata", call)
    check_lengths(list(strata = strata), n, "a", call)
    list <- statistics_list(statistics, call)
    run <- check_run(reshuffles, seed, threads, call)
    keep <- if (is.null(strata)) rep(TRUE, n) else kept_rows(list(strata = strata), missing, call)
    result <- engine(call, C_labmix_mantel, a$values, a$labels, which(keep) - 1L, b$values,
                     b$labels, order[keep] - 1L,
                     if (is.null(strata)) integer() else first_appearance(strata[keep]), list,
                     run$reshuffles, run$seed, run$threads)
    undefined_warning(result, "a matrix has fewer than three taxa or no spread", call)
}

compare_partitions <- function(a, b) {
    call <- sys.call()
    check_labels(a, "a", call)
    check_labels(b, "b", call)
    check_lengths(list(b = b), length(a), "a", call)
    missing_rows(a, "a", character(), call, hint = FALSE)
    missing_rows(b, "b", character(), call, hint = FALSE)
    engine(call, C_labmix_compare, first_appearance(a), first_appearance(b))
}

read_distances <- function(path, format = c("auto", "phylip", "relaxed-phylip", "tab", "nexus")) {
    call <- sys.call()
    if (!is.character(path) || length(path) != 1L || is.na(path))
        fail(call, "path must be the name of one file")
    format <- match.arg(format)
    m <- engine(call, C_labmix_read_distances, path.expand(path), format)
    dimnames(m$matrix) <- list(m$labels, m$labels)
    stats::as.dist(m$matrix)
}
