#include <memory>

#include "main/job.h"

namespace seqord::job {

namespace {

void close_all(Files& f) {
    f.ema.close();
    f.naq.close();
    f.sor.close();
    f.ors.close();
    f.por.close();
    f.orp.close();
    f.con.flush();
}

}  // namespace

int run(int in_fd, int out_fd, int err_fd, const std::string* job_name) {
    Files f;
    f.con_in.bind(kConsoleIn, "stdin", in_fd);
    f.con.bind(kConsoleOut, "stdout", out_fd, true);
    f.err.bind(kConsoleErr, "stderr", err_fd, true);
    int status = kExitNormal;
    std::string report;
    try {
        // Start-up: the workspace exists for the whole run.
        auto ws = std::make_unique<Workspace>();
        const FileNames names = job_name != nullptr ? names_from_job(as_typed(*job_name)) : dialogue(f);
        check_distinct(names);
        open_files(f, names);
        run_header(f, *ws);
        close_all(f);
    } catch (const RunStop& stop) {
        status = exit_status(stop);
        report = stop.what();
    } catch (const std::exception& e) {
        status = kExitInternal;
        report = std::string("seqord: internal error: ") + e.what();
    }
    if (!report.empty()) {
        // What was written stays written: flush first, then report.
        f.flush_all_quietly();
        try {
            report_line(f.err, report);
            f.err.flush();
        } catch (const RunStop&) {
        }
    }
    return status;
}

}  // namespace seqord::job
