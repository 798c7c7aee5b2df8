// seqord-plot JOB: draws JOB.ORP and JOB.POR as the page JOB.svg.
#include <string>

#include "process/process.h"
#include "seqord-plot/plot.h"

int main(int argc, char** argv) {
    seqord::process::guard_start();
    std::string out, err;
    const int status = seqord::plot::run(argc, argv, out, err);
    return seqord::process::deliver(out, err, status);
}
