// The rotation loop built for AVX-512 F and VL: as the AVX2 build, with the
// rows of the tiles picked out by permutations and written back by one
// masked 512-bit store.
#define SEQORD_ROTATIONS rotations_512
#include "ordination/rotations.inc"
