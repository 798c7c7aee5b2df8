# The package against the command-line programs on the barley data: the six
# tables, the job's files byte for byte, and a job the programs ran read back
# as the same object.

configurations <- list(
    list(name = "the defaults", r = list(value = "value"), prep = c("--value", "value")),
    list(name = "an explicit title", r = list(value = "value", title = "Minnesota barley 1926-37"),
         prep = c("--value", "value", "--title", "Minnesota barley 1926-37")),
    list(name = "centred sed, weighted, per year", r = list(value = "value", sed = "centred", weighted = TRUE, per_year = TRUE),
         prep = c("--value", "value", "--sed", "centred", "--weighted", "--per-year")),
    list(name = "z-averaged correlations, min_common 4, renames, 3 axes",
         r = list(value = "value", measure = "cor", cor_average = "z", min_common = 4,
                  rename = c(GrandRapids = "GRapids", Crookston = "Crookstn"), fit_axes = 3),
         prep = c("--value", "value", "--measure", "cor", "--cor-average", "z", "--min-common", "4", "--rename", "renames.csv"),
         export = c("--fit-axes", "3")),
    list(name = "a location in one year only (its mean_step empty)", r = list(value = "value"),
         prep = c("--value", "value"), data = function(b) b[b$location != "Morris" | b$year == 1926, ],
         empty = c("consensus", "mean_step")),
    list(name = "centred sed on values scaled by 0.01", r = list(value = "value", sed = "centred", scale = 0.01),
         prep = c("--value", "value", "--sed", "centred", "--scale", "0.01"), needs = "--scale")
)

for (conf in configurations) {
    test_that(paste("tables, files and seqord_read() agree with the programs:", conf$name), {
        exe <- programs()
        if (!is.null(conf$needs)) {
            help <- system2(exe[["prep"]], "--help", stdout = TRUE)
            if (!any(grepl(conf$needs, help, fixed = TRUE))) skip(paste("this seqord-prep has no", conf$needs))
        }
        dir <- in_temp_dir()
        on.exit(unlink(dir, recursive = TRUE))
        barley <- utils::read.csv(barley_csv())
        if (!is.null(conf$data)) barley <- conf$data(barley)
        utils::write.csv(barley, file.path(dir, "barley.csv"), row.names = FALSE)
        writeLines(c("long,short", "GrandRapids,GRapids", "Crookston,Crookstn"), file.path(dir, "renames.csv"))
        job <- run_programs(exe, dir, "barley.csv", conf$prep, conf$export)

        res <- do.call(seqord, c(list(as.name("barley")), conf$r))
        if (!is.null(conf$empty)) expect_true(anyNA(res[[conf$empty[1]]][[conf$empty[2]]]))
        expect_tables_match(res, job)
        expect_files_match(res, job)

        back <- seqord_read(job, fit_axes = if (is.null(conf$r$fit_axes)) 2 else conf$r$fit_axes)
        same <- c(table_names, "title", "settings", "files")
        expect_identical(back[same], res[same])
    })
}

test_that("the tables and files of the barley job are those the programs wrote (stored)", {
    # expected/ holds seqord-export's tables and the checksums of the job's
    # files for `seqord-prep --value value barley.csv BARLEY`, `seqord BARLEY`
    # and `seqord-export BARLEY` (tools/r-expected.sh writes them).
    barley <- utils::read.csv(barley_csv())
    res <- seqord(barley, value = "value")
    expected <- test_path("expected", "BARLEY")
    expect_tables_match(res, expected)
    sums <- utils::read.table(test_path("expected", "BARLEY.md5"), col.names = c("md5", "file"), stringsAsFactors = FALSE)
    dir <- in_temp_dir()
    on.exit(unlink(dir, recursive = TRUE))
    written <- seqord_write(res, file.path(dir, "BARLEY"))
    expect_setequal(basename(written), sums$file)
    got <- unname(tools::md5sum(file.path(dir, sums$file)))
    expect_identical(got, sums$md5)
})

test_that("the shipped data set is the barley table of the examples", {
    data(barley, package = "seqord", envir = environment())
    from_file <- utils::read.csv(barley_csv())
    expect_identical(dim(barley), c(658L, 4L))
    expect_identical(names(barley), c("year", "location", "genotype", "value"))
    expect_equal(barley, from_file, ignore_attr = TRUE)
    expect_type(barley$location, "character")
})

test_that("a job written by seqord_write() reads back as the same object", {
    data(barley, package = "seqord", envir = environment())
    res <- seqord(barley, value = "value", fit_axes = 3)
    dir <- in_temp_dir()
    on.exit(unlink(dir, recursive = TRUE))
    seqord_write(res, file.path(dir, "B"))
    expect_setequal(list.files(dir), paste0("B.", job_files))  # and no temporary left
    back <- seqord_read(file.path(dir, "B.ORP"), fit_axes = 3)
    same <- c(table_names, "title", "settings", "files")
    expect_identical(back[same], res[same])
    expect_identical(unname(back$settings["fit_axes"]), "3")
})
