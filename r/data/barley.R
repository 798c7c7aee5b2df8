# The barley table of the project's examples (examples/barley.csv), shipped
# once, as extdata/barley.csv, and read from there: by R CMD build, which
# saves the data set as data/barley.rda in the source tarball, or by
# data(barley) in a package installed from the source folder itself.
barley <- local({
    places <- c(file.path("..", "inst", "extdata", "barley.csv"), file.path("..", "extdata", "barley.csv"),
                system.file("extdata", "barley.csv", package = "seqord"))
    path <- Filter(function(p) nzchar(p) && file.exists(p), places)[1]
    utils::read.csv(path, colClasses = c("integer", "character", "character", "numeric"), encoding = "UTF-8")
})
