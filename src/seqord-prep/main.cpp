// seqord-prep TABLE JOB: writes JOB.EMA and JOB.NAQ from a long table of yields.
#include <string>

#include "prep.h"
#include "process/process.h"

int main(int argc, char** argv) {
    seqord::process::guard_start();
    std::string out, err;
    int status = seqord::prep::run(argc, argv, out, err);
    // Help or a summary that cannot be written is a failed write.
    if (!seqord::process::write_all(1, out) && status == seqord::prep::kExitDone) status = seqord::prep::kExitFile;
    seqord::process::write_all(2, err);
    return status;
}
