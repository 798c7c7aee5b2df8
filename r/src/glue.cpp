// The R package's way into the programs' own libraries: each function runs
// one program's library entry exactly as its main() does, in the current
// working directory (the R side makes it a temporary folder), and hands back
// the exit status and what the program would have printed.  Nothing is
// written to the R console from here and no exception leaves: the R side
// turns a status other than 0 into an R error.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <Rcpp.h>

#include "main/job.h"
#include "seqord-export/export.h"
#include "seqord-prep/prep.h"

namespace {

// The argument vector of a program named `program` with `args` after it.
struct Argv {
    std::vector<std::string> text;
    std::vector<const char*> ptr;
    Argv(const char* program, const Rcpp::CharacterVector& args) {
        text.emplace_back(program);
        for (R_xlen_t i = 0; i < args.size(); ++i) text.emplace_back(Rcpp::as<std::string>(args[i]));
        for (const std::string& s : text) ptr.push_back(s.c_str());
        ptr.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(text.size()); }
};

Rcpp::List outcome(int status, const std::string& out, const std::string& err) {
    return Rcpp::List::create(Rcpp::Named("status") = status, Rcpp::Named("out") = out, Rcpp::Named("err") = err);
}

// The whole of a file, or "" when it cannot be read.
std::string slurp(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return text;
    char buf[65536];
    for (;;) {
        const ssize_t k = ::read(fd, buf, sizeof buf);
        if (k <= 0) break;
        text.append(buf, static_cast<std::size_t>(k));
    }
    ::close(fd);
    return text;
}

}  // namespace

// seqord-prep with the given arguments.
// [[Rcpp::export(.seqord_prep)]]
Rcpp::List seqord_prep(Rcpp::CharacterVector args) {
    const Argv a("seqord-prep", args);
    std::string out, err;
    int status = seqord::prep::kExitBad;
    try {
        status = seqord::prep::run(a.argc(), a.ptr.data(), out, err);
    } catch (const std::exception& e) {
        status = 3;
        err += std::string("seqord-prep: internal error: ") + e.what() + "\n";
    }
    return outcome(status, out, err);
}

// seqord on job `job`, as `seqord JOB` runs it: nothing is read from the
// console; its log goes to the file `console` and its reports to `errors`,
// which are read back and removed.
// [[Rcpp::export(.seqord_run)]]
Rcpp::List seqord_run(std::string job, std::string console, std::string errors) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int status = seqord::job::kExitInternal;
    std::string problem;
    if (in < 0 || out < 0 || err < 0) {
        problem = "seqord: error: cannot open the console files " + console + " and " + errors + " in the working folder\n";
        status = seqord::job::kExitFatalIO;
    } else {
        try {
            status = seqord::job::run(in, out, err, &job);
        } catch (const std::exception& e) {
            problem = std::string("seqord: internal error: ") + e.what() + "\n";
        }
    }
    for (int fd : {in, out, err})
        if (fd >= 0) ::close(fd);
    std::string log = slurp(console), reports = slurp(errors) + problem;
    ::unlink(console.c_str());
    ::unlink(errors.c_str());
    return outcome(status, log, reports);
}

// seqord-export with the given arguments.
// [[Rcpp::export(.seqord_export)]]
Rcpp::List seqord_export(Rcpp::CharacterVector args) {
    const Argv a("seqord-export", args);
    std::string out, err;
    int status = 2;
    try {
        status = seqord::tables::run(a.argc(), a.ptr.data(), out, err);
    } catch (const std::exception& e) {
        status = 3;
        err += std::string("seqord-export: internal error: ") + e.what() + "\n";
    }
    return outcome(status, out, err);
}
