# print(), summary() and plot() of the barley result.

data(barley, package = "seqord", envir = environment())

res <- seqord(barley, value = "value")

test_that("the tables hold numbers as numbers, names as character and full names", {
    expect_type(res$points$year, "character")
    expect_type(res$points$location, "character")
    expect_type(res$points$axis1, "double")
    expect_type(res$points$year_index, "integer")
    expect_type(res$alignment$reversed, "logical")
    expect_setequal(unique(res$points$location_name),
                    c("Crookston", "Duluth", "GrandRapids", "Morris", "StPaul", "Waseca"))
    expect_identical(res$title, "barley.csv: SED, standardised, cumulative")
    expect_identical(unname(res$settings[c("measure", "years", "min_common")]), c("sed", "cumulative", "3"))
})

test_that("factor columns and a numeric year give the same result as character ones", {
    b <- barley
    b$location <- factor(b$location)
    b$genotype <- factor(b$genotype)
    b$year <- as.numeric(b$year)
    r <- seqord(b, value = "value")
    for (t in c("points", "axes", "alignment", "pairs", "consensus", "trajectory")) expect_identical(r[[t]], res[[t]])
})

test_that("print() gives the title, the years and the most and least stable locations", {
    out <- capture.output(print(res))
    expect_identical(out[1], "seqord result: barley.csv: SED, standardised, cumulative")
    expect_identical(out[2], "12 years (1926 to 1937), 6 locations, 69 points")
    s <- res$consensus[order(res$consensus$spread), ]
    expect_match(out[3], paste0("^most stable: ", s$location_name[1], " .*least stable: ", s$location_name[nrow(s)]))
})

test_that("summary() gives the years with their locations and shares, and the stability ranking", {
    s <- summary(res)
    expect_identical(s$years$year, as.character(1926:1937))
    expect_identical(s$years$locations, c(6L, 6L, 5L, 6L, 6L, 6L, 6L, 5L, 5L, 6L, 6L, 6L))
    first <- res$axes[res$axes$axis == 1, ]
    expect_identical(s$years$percent_axis1, first$percent)
    expect_false(is.unsorted(s$stability$spread))
    expect_identical(nrow(s$stability), 6L)
    out <- capture.output(print(s))
    expect_true(any(grepl("most to the least stable", out)))
})

test_that("plot() draws the trajectories and the stability in base graphics", {
    file <- tempfile(fileext = ".pdf")
    grDevices::pdf(file)
    expect_silent(plot(res))
    expect_silent(plot(res, which = "stability"))
    grDevices::dev.off()
    expect_gt(file.info(file)$size, 1000)
    unlink(file)
    expect_error(plot(res, which = "arrows"), "should be one of")
})
