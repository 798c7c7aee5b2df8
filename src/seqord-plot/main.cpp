// seqord-plot JOB: draws JOB.ORP and JOB.POR as the page JOB.svg.
#include <unistd.h>

#include <cerrno>
#include <string>

#include "seqord-plot/plot.h"
#include "process/process.h"

namespace {

// Whether all of `s` could be written.
bool put(int fd, const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        const ssize_t k = ::write(fd, s.data() + done, s.size() - done);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        done += static_cast<std::size_t>(k);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    seqord::process::guard_start();
    std::string out, err;
    int status = seqord::plot::run(argc, argv, out, err);
    // What the program has to say is part of its result: help or a summary
    // that cannot be written is a failed write, as for seqord.
    if (!put(1, out) && status == seqord::plot::kExitDone) status = seqord::plot::kExitWriteFailed;
    put(2, err);
    return status;
}
