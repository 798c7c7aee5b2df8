# The barley table of the project's examples (examples/barley.csv), shipped
# once, as extdata/barley.csv, and read from there by data(barley).
barley <- local({
    places <- c(file.path("..", "extdata", "barley.csv"), system.file("extdata", "barley.csv", package = "seqord"))
    path <- Filter(function(p) nzchar(p) && file.exists(p), places)[1]
    utils::read.csv(path, colClasses = c("integer", "character", "character", "numeric"), encoding = "UTF-8")
})
