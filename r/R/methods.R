# print(), summary() and plot() of a seqord result.

# The name a breeder knows a location by: its full name where the result
# has one, else its 8-character name.
.full_name <- function(d) {
    if (!is.null(d$location_name)) ifelse(is.na(d$location_name), d$location, d$location_name) else d$location
}

# The locations ranked by spread, most stable first.
.stability <- function(x) {
    c <- x$consensus
    if (is.null(c) || !nrow(c)) return(NULL)
    s <- data.frame(location = .full_name(c), years = c$years, spread = c$spread, mean_step = c$mean_step,
                    stringsAsFactors = FALSE)
    s[order(s$spread, s$location), , drop = FALSE]
}

.plural <- function(n, one, many = paste0(one, "s")) paste(n, if (n == 1) one else many)

.years_line <- function(x) {
    y <- unique(x$points[, c("year_index", "year")])
    n <- nrow(y)
    loc <- length(unique(x$points$location_index))
    span <- if (n > 1) paste0(" (", y$year[1], " to ", y$year[n], ")") else if (n == 1) paste0(" (", y$year[1], ")") else ""
    paste0(.plural(n, "year"), span, ", ", .plural(loc, "location"), ", ", .plural(nrow(x$points), "point"))
}

print.seqord <- function(x, ...) {
    cat("seqord result: ", x$title, "\n", sep = "")
    cat(.years_line(x), "\n", sep = "")
    s <- .stability(x)
    if (!is.null(s)) {
        fmt <- function(r) sprintf("%s (spread %.3g over %s)", r$location, r$spread, .plural(r$years, "year"))
        cat("most stable: ", fmt(s[1, ]), "; least stable: ", fmt(s[nrow(s), ]), "\n", sep = "")
    }
    rows <- vapply(.tables, function(t) if (is.null(x[[t]])) NA_integer_ else nrow(x[[t]]), integer(1))
    rows <- rows[!is.na(rows)]
    cat("tables: ", paste0(names(rows), " (", rows, ")", collapse = ", "), "\n", sep = "")
    invisible(x)
}

summary.seqord <- function(object, ...) {
    p <- object$points
    a <- object$axes
    years <- unique(p[, c("year_index", "year")])
    years$locations <- as.integer(table(factor(p$year_index, levels = years$year_index)))
    share <- function(k) vapply(years$year_index, function(i) {
        v <- a$percent[a$year_index == i & a$axis <= k]
        if (length(v)) sum(v) else NA_real_
    }, numeric(1))
    years$percent_axis1 <- share(1)
    years$percent_axes12 <- share(2)
    rownames(years) <- NULL
    structure(list(title = object$title, line = .years_line(object), years = years,
                   stability = .stability(object), pairs = object$pairs),
              class = "summary.seqord")
}

print.summary.seqord <- function(x, digits = 3, ...) {
    cat("seqord result: ", x$title, "\n", x$line, "\n\nYears (locations retained, % of variation on the first axes):\n",
        sep = "")
    print(x$years[, -1], digits = digits, row.names = FALSE)
    if (!is.null(x$stability)) {
        cat("\nLocations from the most to the least stable (spread about the consensus position):\n")
        print(x$stability, digits = digits, row.names = FALSE)
    }
    if (!is.null(x$pairs) && nrow(x$pairs)) {
        r <- x$pairs$procrustes_r
        cat("\nFit of successive years after rotation: procrustes_r from ", format(min(r, na.rm = TRUE), digits = digits),
            " to ", format(max(r, na.rm = TRUE), digits = digits),
            if (any(is.na(r))) paste0("; ", .plural(sum(is.na(r)), "pair"), " undetermined"), "\n", sep = "")
    }
    invisible(x)
}

# Each location's path over the placed years in the consensus frame.
.plot_trajectories <- function(x, ...) {
    tr <- x$trajectory
    co <- x$consensus
    tr <- tr[order(tr$location_index, tr$year_index), , drop = FALSE]
    locs <- unique(tr$location_index)
    cols <- grDevices::hcl.colors(max(length(locs), 2), "Dark 3")
    graphics::plot(tr$dim1, tr$dim2, type = "n", asp = 1, xlab = "dimension 1", ylab = "dimension 2",
                   main = "Trajectories (consensus frame)", ...)
    graphics::abline(h = 0, v = 0, col = "grey85")
    for (k in seq_along(locs)) {
        d <- tr[tr$location_index == locs[k], , drop = FALSE]
        graphics::lines(d$dim1, d$dim2, col = cols[k])
        graphics::points(d$dim1[1], d$dim2[1], pch = 1, col = cols[k])
        graphics::points(d$dim1[nrow(d)], d$dim2[nrow(d)], pch = 16, col = cols[k])
        c <- co[co$location_index == locs[k], , drop = FALSE]
        if (nrow(c)) graphics::text(c$dim1, c$dim2, .full_name(c), col = cols[k], cex = 0.8, font = 2)
    }
    graphics::legend("topleft", legend = c("first year", "last year"), pch = c(1, 16), bty = "n", cex = 0.8)
}

# The locations ranked by spread, with their number of years.
.plot_stability <- function(x, ...) {
    s <- .stability(x)
    s <- s[rev(seq_len(nrow(s))), , drop = FALSE]  # dotchart draws from the bottom: most stable on top
    graphics::dotchart(s$spread, labels = paste0(s$location, " (", s$years, ")"), pch = 16, xlim = c(0, max(s$spread)),
                       xlab = "spread about the consensus position", main = "Stability (years)", ...)
}

plot.seqord <- function(x, which = c("trajectories", "stability"), ...) {
    which <- match.arg(which, several.ok = TRUE)
    if (is.null(x$trajectory) || is.null(x$consensus))
        stop("this result has no trajectory and consensus tables", call. = FALSE)
    if (length(which) > 1) {
        old <- graphics::par(mfrow = c(1, length(which)))
        on.exit(graphics::par(old))
    }
    for (w in which) if (w == "trajectories") .plot_trajectories(x, ...) else .plot_stability(x, ...)
    invisible(x)
}
