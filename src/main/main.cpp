#include "main/job.h"

int main(int argc, char** argv) { return seqord::job::main(argc, argv, 0, 1, 2); }
