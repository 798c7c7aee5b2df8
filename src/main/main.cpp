#include "main/job.h"
#include "process/process.h"

int main(int argc, char** argv) {
    seqord::process::guard_start();
    return seqord::job::main(argc, argv, 0, 1, 2);
}
