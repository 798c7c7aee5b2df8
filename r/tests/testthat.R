library(testthat)
library(seqord)

test_check("seqord")
