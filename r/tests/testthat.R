library(testthat)
library(labmix)

test_check("labmix")
