# Bad input is an R error whose message names the row, the column or the
# argument; warnings of the programs are R warnings; nothing is left behind.

data(barley, package = "seqord", envir = environment())

with_value <- function(rows, value) {
    b <- barley
    b$value[rows] <- value
    b
}

error_cases <- list(
    list(what = "a value that is not a number", data = with_value(14, "n/a"),
         args = list(value = "value"), message = "^b, row 14, column value: 'n/a' is not a number$"),
    list(what = "an empty location", data = within(barley, location[5] <- ""),
         args = list(value = "value"), message = "^b, row 5, column location: the location is empty$"),
    list(what = "a column that is not there", data = barley, args = list(),
         message = "no column is named 'yield'; the columns are 'year', 'location', 'genotype', 'value'; value = \"COL\" names another"),
    list(what = "two options naming one column", data = barley, args = list(value = "value", genotype = "value"),
         message = "genotype and value name the same column, 'value'"),
    list(what = "an unknown measure", data = barley, args = list(value = "value", measure = "euclid"),
         message = "^measure is sed or cor, not 'euclid'$"),
    list(what = "an unknown sed scaling", data = barley, args = list(value = "value", sed = "scaled"),
         message = "^sed is standardised or centred, not 'scaled'$"),
    list(what = "min_common below 2", data = barley, args = list(value = "value", min_common = 1),
         message = "^min_common is a whole number from 2 to 1000000, not '1'$"),
    list(what = "min_common not whole", data = barley, args = list(value = "value", min_common = 2.5),
         message = "^min_common must be a whole number, not 2.5$"),
    list(what = "min_common that no location reaches", data = barley, args = list(value = "value", min_common = 40),
         message = "^b: no location has 40 or more genotype means in any year \\(min_common\\)$"),
    list(what = "weighted not a flag", data = barley, args = list(value = "value", weighted = "yes"),
         message = "^weighted must be a single value"),
    list(what = "a title with a line break", data = barley, args = list(value = "value", title = "two\nlines"),
         message = "^the title holds a line break"),
    list(what = "a scale that is not a positive number", data = barley, args = list(value = "value", scale = -1),
         message = "scale"),
    list(what = "fit_axes out of range", data = barley, args = list(value = "value", fit_axes = 5),
         message = "fit_axes"),
    list(what = "renames that make two names one", data = barley,
         args = list(value = "value", rename = c(GrandRapids = "Duluth")), message = "Duluth"),
    list(what = "a table without rows", data = barley[0, ], args = list(value = "value"),
         message = "^b: the table has a header line but no rows$"),
    list(what = "every value missing", data = with_value(seq_len(nrow(barley)), NA), args = list(value = "value"),
         message = "^b: every value of column 'value' is missing$"),
    list(what = "not a data frame", data = list(a = 1), args = list(), message = "^data must be a data frame")
)

for (case in error_cases) {
    test_that(paste("an R error names the problem:", case$what), {
        b <- case$data
        wd <- getwd()
        before <- list.files(tempdir(), pattern = "^seqord")
        err <- tryCatch(do.call(seqord, c(list(as.name("b")), case$args)), error = function(e) e)
        expect_s3_class(err, "error")
        expect_match(conditionMessage(err), case$message)
        expect_false(grepl("seqord-prep:|seqord-export:|--", conditionMessage(err)))
        expect_identical(getwd(), wd)
        expect_identical(list.files(tempdir(), pattern = "^seqord"), before)
    })
}

test_that("notes of seqord-prep are R messages in the call's terms", {
    notes <- capture_messages(seqord(barley, value = "value"))
    expect_identical(notes, c("location Crookston -> Crooksto\n", "location GrandRapids -> GrandRap\n"))
    notes <- capture_messages(seqord(barley, value = "value", measure = "cor", sed = "centred"))
    expect_identical(notes[1], "sed has no effect with measure cor\n")
})

test_that("a warning of seqord-prep is an R warning naming the argument", {
    expect_warning(seqord(barley, value = "value", rename = c(Nowhere = "Nowhere")),
                   "^rename: no year or location is named 'Nowhere'$")
})

test_that("seqord_write() and seqord_read() refuse what they cannot do", {
    expect_error(seqord_write(list(), "X"), "result of seqord")
    res <- seqord(barley, value = "value")
    expect_error(seqord_write(res, file.path(tempfile(), "JOB")), "no folder")
    expect_error(seqord_read(file.path(tempdir(), "NOJOB")), "NOJOB.SOR.*seqord has not run job")
    dir <- in_temp_dir()
    on.exit(unlink(dir, recursive = TRUE))
    seqord_write(res, file.path(dir, "A"))
    # a report of another run beside this job's other files
    other <- seqord(barley, value = "value", per_year = TRUE)
    writeBin(other$files$SOR, file.path(dir, "A.SOR"))
    err <- tryCatch(seqord_read(file.path(dir, "A")), error = conditionMessage)
    expect_match(err, paste0(file.path(dir, "A"), ".(SOR|ORS)"), fixed = FALSE)
    expect_match(err, "same run")
})
