// The rotation loop built for AVX2: rotations four doubles at a time, record
// searches eight records at a time.
#define SEQORD_ROTATIONS rotations_256
#include "ordination/rotations.inc"
