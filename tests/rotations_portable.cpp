// The rotation loop without vector instructions, as it is built for processors
// that have none; the tests build it here to compare it with the others.
#define SEQORD_ROTATIONS rotations_portable
#define SEQORD_ROTATIONS_PORTABLE 1
#include "ordination/rotations.inc"
