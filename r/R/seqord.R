# seqord(), seqord_write() and seqord_read(): the programs seqord-prep,
# seqord and seqord-export run in-process through their own libraries, on
# files in a temporary folder, and their tables read back as data frames.

# The six tables, in the order of the result object.
.tables <- c("points", "axes", "alignment", "pairs", "consensus", "trajectory")
# The six files of a job; a names file may stand beside them.
.job_files <- c("EMA", "NAQ", "SOR", "ORS", "POR", "ORP")
.names_file <- "names.csv"
# Columns of the tables that hold names or flags; every other is a number.
.text_columns <- c("year", "location", "location_name", "year_name", "kind", "name", "value")
.flag_columns <- c("reversed")

# Options of seqord-prep and seqord-export, as the programs name them in
# their messages, and the arguments of seqord() that give them.
.options <- c("--year" = "year", "--location" = "location", "--genotype" = "genotype",
              "--value" = "value", "--measure" = "measure", "--sed" = "sed",
              "--cor-average" = "cor_average", "--weighted" = "weighted",
              "--per-year" = "per_year", "--min-common" = "min_common",
              "--scale" = "scale", "--fit-axes" = "fit_axes", "--title" = "title",
              "--rename" = "rename")

.in_folder <- function(code) {
    dir <- tempfile("seqord")
    dir.create(dir)
    old <- setwd(dir)
    on.exit({
        setwd(old)
        unlink(dir, recursive = TRUE)
    })
    code(dir)
}

# A program's message made to read as the R call's: options become the
# arguments of seqord(), and lines of a table written for the program
# (`files`: file name = what the user knows it as) become its rows.
.r_message <- function(text, files = character(), paths = character()) {
    text <- sub("\n$", "", text)
    lines <- strsplit(text, "\n", fixed = TRUE)[[1]]
    lines <- lines[!grepl("^usage: ", lines)]
    lines <- sub("^seqord(-prep|-export)?: (error|warning|note): ", "", lines)
    text <- paste(lines, collapse = "\n")
    for (f in names(files)) {
        esc <- gsub("([.|()\\^{}+$*?\\[\\]\\\\])", "\\\\\\1", f)
        # The header is line 1 of the table written; row i of the data is line i + 1.
        repeat {
            m <- regmatches(text, regexec(paste0(esc, ", line ([0-9]+)"), text))[[1]]
            if (!length(m)) break
            line <- as.integer(m[2])
            text <- sub(m[1], if (line == 1) paste0(files[[f]], ", header") else paste0(files[[f]], ", row ", line - 1),
                        text, fixed = TRUE)
        }
        text <- gsub(f, files[[f]], text, fixed = TRUE)
    }
    for (p in names(paths)) text <- gsub(p, paths[[p]], text, fixed = TRUE)
    for (o in names(.options)) {
        text <- gsub(paste0(o, " COL"), paste0(.options[[o]], " = \"COL\""), text, fixed = TRUE)
        text <- gsub(paste0(o, "(?![a-z-])"), .options[[o]], text, perl = TRUE)
    }
    text
}

# Stops with the program's error, or passes its warnings on.
.outcome <- function(r, files = character(), paths = character()) {
    lines <- if (nzchar(r$err)) strsplit(sub("\n$", "", r$err), "\n", fixed = TRUE)[[1]] else character()
    if (r$status != 0) {
        errs <- lines[grepl(": (error|internal error): ", lines)]
        stop(.r_message(paste(if (length(errs)) errs else lines, collapse = "\n"), files, paths), call. = FALSE)
    }
    for (w in lines[grepl(": warning: ", lines)]) warning(.r_message(w, files, paths), call. = FALSE)
    for (n in lines[grepl(": note: ", lines)]) message(.r_message(n, files, paths))
    invisible(r)
}

# One field of the table written for seqord-prep (RFC 4180).
.csv_field <- function(x) {
    if (is.numeric(x) && !is.integer(x)) {
        out <- ifelse(is.na(x), "", sprintf("%.17g", x))
    } else {
        out <- as.character(x)
        out[is.na(out)] <- ""
        out <- enc2utf8(out)
    }
    quote <- grepl("[\",\r\n]", out, useBytes = TRUE)
    out[quote] <- paste0("\"", gsub("\"", "\"\"", out[quote], fixed = TRUE), "\"")
    out
}

.write_table <- function(data, path) {
    if (!is.data.frame(data)) stop("data must be a data frame (a long table: one row per observation)", call. = FALSE)
    ok <- vapply(data, function(col) is.atomic(col) || inherits(col, c("factor", "Date", "POSIXt")), logical(1))
    if (!all(ok))
        stop("column ", paste0("'", names(data)[!ok], "'", collapse = ", "),
             " of data is not a plain column (a list or a matrix)", call. = FALSE)
    header <- .csv_field(names(data))
    rows <- if (ncol(data) && nrow(data)) do.call(paste, c(lapply(data, .csv_field), sep = ",")) else character()
    con <- file(path, open = "wb")
    on.exit(close(con))
    writeLines(c(paste(header, collapse = ","), rows), con, sep = "\n", useBytes = TRUE)
}

.single <- function(x, name, what) {
    if (length(x) != 1 || is.na(x) || !what(x)) stop(sprintf("%s must be a single value, not %s", name,
                                                             paste(deparse(x), collapse = "")), call. = FALSE)
    x
}
.text <- function(x, name) as.character(.single(x, name, function(v) is.character(v) || is.factor(v)))
.flag <- function(x, name) isTRUE(.single(x, name, is.logical))
.whole <- function(x, name) {
    .single(x, name, is.numeric)
    if (x != round(x)) stop(name, " must be a whole number, not ", x, call. = FALSE)
    format(x, scientific = FALSE)
}

# The names table of rename: a file name, a named character vector (full
# name = short name) or a data frame of two columns, long and short.
.write_renames <- function(rename, path) {
    if (is.character(rename) && length(rename) == 1 && is.null(names(rename))) {
        if (!file.exists(rename)) stop("rename: no file ", rename, call. = FALSE)
        file.copy(rename, path)
        return(invisible())
    }
    if (is.data.frame(rename)) {
        if (ncol(rename) != 2) stop("rename must have two columns, long and short", call. = FALSE)
        long <- as.character(rename[[1]])
        short <- as.character(rename[[2]])
    } else if (is.character(rename) && !is.null(names(rename))) {
        long <- names(rename)
        short <- unname(rename)
    } else {
        stop("rename must be a data frame (long, short), a named character vector ",
             "c(long = \"short\") or the name of such a table", call. = FALSE)
    }
    con <- file(path, open = "wb")
    on.exit(close(con))
    writeLines(c("long,short", paste(.csv_field(long), .csv_field(short), sep = ",")), con, sep = "\n", useBytes = TRUE)
}

# The tables seqord-export wrote for JOB, as data frames.
.read_table <- function(path) {
    d <- utils::read.csv(path, colClasses = "character", na.strings = character(), check.names = FALSE,
                         encoding = "UTF-8", stringsAsFactors = FALSE)
    for (n in names(d)) {
        v <- d[[n]]
        v[v == ""] <- NA
        if (n %in% .flag_columns) {
            v <- v == "true"
        } else if (!(n %in% .text_columns)) {
            num <- as.numeric(v)
            whole <- grepl("(^|_)(index|axis|years|locations)$", n) || n %in% c("axis", "years")
            v <- if (whole && all(is.na(num) | num == round(num))) as.integer(num) else num
        } else {
            Encoding(v) <- "UTF-8"
        }
        d[[n]] <- v
    }
    d
}

.names_file_of <- function(job) paste0(job, ".", .names_file)

# The settings rows of a names file, as a named character vector.
.settings <- function(path) {
    n <- .read_table(path)
    s <- n$value[n$kind == "setting"]
    names(s) <- n$name[n$kind == "setting"]
    s
}

.read_bytes <- function(path) readBin(path, "raw", file.info(path)$size)

# seqord-export on the job JOB of the working folder, then the result object.
# `paths`: the job's files as the user knows them, for the messages.
.result <- function(job, fit_axes, log, paths = character()) {
    # seqord-export fits 2 axes unless told otherwise.
    args <- c(if (fit_axes != 2) c("--fit-axes", format(fit_axes)), "--", job)
    r <- .outcome(.seqord_export(args), paths = paths)
    tables <- list()
    for (t in .tables) {
        path <- paste0(job, ".", t, ".csv")
        tables[[t]] <- if (file.exists(path)) .read_table(path) else NULL
    }
    files <- list()
    for (e in .job_files) {
        path <- paste0(job, ".", e)
        if (file.exists(path)) files[[e]] <- .read_bytes(path)
    }
    if (file.exists(.names_file_of(job))) files[[.names_file]] <- .read_bytes(.names_file_of(job))
    ors <- rawToChar(files$ORS)
    ors_lines <- strsplit(ors, "\r\n", fixed = TRUE)[[1]]
    title <- sub(" +$", "", ors_lines[2])
    Encoding(title) <- "UTF-8"
    # The settings of seqord-prep, as its names file keeps them; a job made
    # without one has only the option letters of its input.
    settings <- c(if (!is.null(files[[.names_file]])) .settings(.names_file_of(job)) else
                      c(options = gsub(" +", " ", trimws(ors_lines[3]))),
                  fit_axes = format(fit_axes))
    log$export <- r$out
    structure(c(tables, list(title = title, settings = settings, files = files, log = log)), class = "seqord")
}

seqord <- function(data, year = "year", location = "location", genotype = "genotype", value = "yield",
                   measure = "sed", sed = "standardised", cor_average = "normal", weighted = FALSE,
                   per_year = FALSE, min_common = 3, scale = 1, fit_axes = 2, title = NULL, rename = NULL) {
    expr <- substitute(data)
    data_name <- if (is.name(expr)) as.character(expr) else "data"
    # The table is written under the data's name, so that the default title
    # names it as seqord-prep names a table file.
    table <- paste0(if (grepl("^[A-Za-z0-9._-]+$", data_name)) data_name else "data", ".csv")
    args <- c("--year", .text(year, "year"), "--location", .text(location, "location"),
              "--genotype", .text(genotype, "genotype"), "--value", .text(value, "value"),
              "--measure", .text(measure, "measure"),
              if (!missing(sed)) c("--sed", .text(sed, "sed")),
              if (!missing(cor_average)) c("--cor-average", .text(cor_average, "cor_average")),
              if (.flag(weighted, "weighted")) "--weighted",
              if (.flag(per_year, "per_year")) "--per-year",
              "--min-common", .whole(min_common, "min_common"),
              # seqord-prep's --scale, given only when it is not its default 1
              if (.single(scale, "scale", is.numeric) != 1) c("--scale", as.character(scale)),
              if (!is.null(title)) c("--title", .text(title, "title")),
              if (!is.null(rename)) c("--rename", "rename.csv"))
    .whole(fit_axes, "fit_axes")
    data <- force(data)
    rename_name <- if (is.character(rename) && length(rename) == 1 && is.null(names(rename))) rename else "rename"
    .in_folder(function(dir) {
        .write_table(data, table)
        if (!is.null(rename)) .write_renames(rename, "rename.csv")
        prep <- .outcome(.seqord_prep(enc2utf8(c(args, "--", table, "JOB"))), c(stats::setNames(data_name, table), rename.csv = rename_name))
        run <- .outcome(.seqord_run("JOB", "JOB.console", "JOB.errors"))
        .result("JOB", fit_axes, list(prep = prep$out, prep_notes = prep$err, seqord = run$out))
    })
}

seqord_write <- function(x, job) {
    if (!inherits(x, "seqord")) stop("x must be the result of seqord() or seqord_read()", call. = FALSE)
    job <- .text(job, "job")
    missing_files <- setdiff(.job_files, names(x$files))
    if (length(missing_files))
        stop("the result holds no ", paste0(".", missing_files, collapse = ", "),
             " (it was read from a job without them)", call. = FALSE)
    dir <- dirname(job)
    if (!dir.exists(dir)) stop("no folder ", dir, " for the job ", job, call. = FALSE)
    # Written under temporary names and renamed together, as the programs
    # store their files: all of them or none.
    paths <- paste0(job, ".", names(x$files))
    temps <- paste0(paths, ".", basename(tempfile("")))
    on.exit(unlink(temps))
    for (k in seq_along(paths)) {
        con <- file(temps[k], open = "wb")
        tryCatch(writeBin(x$files[[k]], con), finally = close(con))
    }
    if (!all(file.rename(temps, paths))) stop("cannot write the files of job ", job, call. = FALSE)
    invisible(paths)
}

seqord_read <- function(job, fit_axes = 2) {
    job <- .text(job, "job")
    job <- sub("\\.(EMA|NAQ|SOR|ORS|POR|ORP)$", "", job)
    .whole(fit_axes, "fit_axes")
    need <- paste0(job, ".", c("SOR", "ORS", "POR", "ORP"))
    absent <- need[!file.exists(need)]
    if (length(absent)) stop("no ", paste(absent, collapse = ", "), ": seqord has not run job ", job, call. = FALSE)
    present <- paste0(job, ".", c(.job_files, .names_file))
    present <- present[file.exists(present)]
    sources <- normalizePath(present)
    name <- basename(job)
    .in_folder(function(dir) {
        file.copy(sources, basename(present))
        exts <- c(.job_files, .names_file)
        .result(name, fit_axes, list(), stats::setNames(paste0(job, ".", exts), paste0(name, ".", exts)))
    })
}
