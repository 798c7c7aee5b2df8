// seqord-export JOB: the results of job JOB as three CSV tables.
#include <string>

#include "process/process.h"
#include "seqord-export/export.h"

int main(int argc, char** argv) {
    seqord::process::guard_start();
    std::string out, err;
    const int status = seqord::tables::run(argc, argv, out, err);
    return seqord::process::deliver(out, err, status);
}
