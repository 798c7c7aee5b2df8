// seqord-prep TABLE JOB: writes JOB.EMA and JOB.NAQ from a long table of yields.
#include <string>

#include "prep.h"
#include "process/process.h"

int main(int argc, char** argv) {
    seqord::process::guard_start();
    std::string out, err;
    const int status = seqord::prep::run(argc, argv, out, err);
    return seqord::process::deliver(out, err, status);
}
