// The rotation loop built for the compiler's default target (SSE2 on x86-64).
#define SEQORD_ROTATIONS rotations_128
#include "ordination/rotations.inc"
