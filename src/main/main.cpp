#include "main/job.h"

int main() { return seqord::job::run(0, 1, 2); }
