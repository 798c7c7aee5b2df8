# The command-line programs, when the tests are told where they are built
# (SEQORD_BIN, for instance build/release of the project), and the
# comparison of a result with the tables and files they write.

programs <- function() {
    bin <- Sys.getenv("SEQORD_BIN")
    exe <- file.path(bin, c(prep = "seqord-prep", run = "seqord", export = "seqord-export"))
    names(exe) <- c("prep", "run", "export")
    if (!nzchar(bin) || !all(file.exists(exe)))
        testthat::skip(paste("the command-line programs are not at SEQORD_BIN (set it to the folder of the built",
                             "seqord-prep, seqord and seqord-export, e.g. build/release, to compare with them)"))
    exe
}

# Runs the three programs on `table` (a CSV file) in folder `dir` as job JOB.
run_programs <- function(exe, dir, table, prep_args = character(), export_args = character()) {
    old <- setwd(dir)
    on.exit(setwd(old))
    run <- function(program, args) {
        out <- suppressWarnings(system2(program, shQuote(args), stdout = TRUE, stderr = TRUE))
        status <- attr(out, "status")
        if (!is.null(status) && status != 0) stop(program, " failed: ", paste(out, collapse = "\n"))
    }
    run(exe[["prep"]], c(prep_args, "--", table, "JOB"))
    run(exe[["run"]], "JOB")
    run(exe[["export"]], c(export_args, "--", "JOB"))
    file.path(dir, "JOB")
}

job_files <- c("EMA", "NAQ", "SOR", "ORS", "POR", "ORP", "names.csv")
table_names <- c("points", "axes", "alignment", "pairs", "consensus", "trajectory")

# Every table of `res` against the CSV seqord-export wrote for `job`: the
# same columns in the same order, the same rows, numbers equal as doubles,
# names as character, empty fields NA.
expect_tables_match <- function(res, job, tables = table_names) {
    for (t in tables) {
        path <- paste0(job, ".", t, ".csv")
        if (!file.exists(path)) {
            testthat::expect_null(res[[t]], label = paste("table", t, "without its CSV"))
            next
        }
        header <- strsplit(readLines(path, n = 1), ",", fixed = TRUE)[[1]]
        cli <- utils::read.csv(path, na.strings = "", stringsAsFactors = FALSE, check.names = FALSE)
        d <- res[[t]]
        testthat::expect_identical(names(d), header, label = paste("columns of", t))
        testthat::expect_identical(nrow(d), nrow(cli), label = paste("rows of", t))
        for (n in header) {
            got <- d[[n]]
            want <- cli[[n]]
            label <- paste0(t, "$", n)
            if (is.character(got)) {
                testthat::expect_identical(got, ifelse(is.na(want), NA_character_, as.character(want)), label = label)
            } else if (is.logical(got)) {
                testthat::expect_identical(got, as.logical(want), label = label)
            } else {
                testthat::expect_true(is.numeric(got), label = paste(label, "is numeric"))
                testthat::expect_identical(as.numeric(got), as.numeric(want), label = label)
            }
        }
    }
}

# The job's files written by seqord_write() against the programs' own.
expect_files_match <- function(res, job) {
    out <- tempfile()
    dir.create(out)
    on.exit(unlink(out, recursive = TRUE))
    seqord_write(res, file.path(out, "COPY"))
    for (e in job_files) {
        want <- paste0(job, ".", e)
        if (!file.exists(want)) next
        got <- file.path(out, paste0("COPY.", e))
        testthat::expect_true(file.exists(got), label = paste("COPY.", e, "written"))
        testthat::expect_identical(readBin(got, "raw", file.info(got)$size), readBin(want, "raw", file.info(want)$size),
                                   label = paste("bytes of", e))
    }
}

barley_csv <- function() system.file("extdata", "barley.csv", package = "seqord")

in_temp_dir <- function() {
    dir <- tempfile("seqord-test")
    dir.create(dir)
    dir
}
