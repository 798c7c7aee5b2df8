// seqord-prep TABLE JOB: writes JOB.EMA and JOB.NAQ from a long table of yields.
#include <unistd.h>

#include <cerrno>
#include <string>

#include "prep.h"
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
    int status = seqord::prep::run(argc, argv, out, err);
    // Help or a summary that cannot be written is a failed write.
    if (!put(1, out) && status == seqord::prep::kExitDone) status = seqord::prep::kExitFile;
    put(2, err);
    return status;
}
