// The arithmetic of one rotation of the decomposition and of its stopping
// bound, written once for the element-by-element loop of jacobi.cpp and the
// rotation loop of rotations.inc.
//
// rotations.inc is built with instructions that not every processor has, so
// nothing here may become a symbol that the linker could share between its
// builds and the rest of the program: everything has internal linkage (each
// file that includes this gets its own copy) and uses only the C library.
#pragma once

#include <math.h>
#include <stdint.h>

namespace seqord::ordination {
namespace {

// The stopping bound: 2^-27 times the smallest magnitude on the diagonal,
// rounded to single precision; diagonal(k) gives the k-th of the n diagonal
// values, counted from 0.  A not-a-number is passed over unless all are.
template <class Diagonal>
float stopping_bound(int32_t n, Diagonal diagonal) {
    constexpr double kTwoToMinus27 = 7.450580596923828E-9;
    float smallest = fabsf(diagonal(0));
    for (int32_t k = 1; k < n; ++k) smallest = fminf(smallest, fabsf(diagonal(k)));
    return static_cast<float>(kTwoToMinus27 * smallest);
}

// The rotation that annihilates the element e between the diagonal values
// a (the lower index) and b: its cosine and sine, and the new diagonal
// values, the larger at the lower index.
struct PlaneRotation {
    double c, s;
    float lower, upper;
};

inline PlaneRotation plane_rotation(float a, float b, float e) {
    // The tangent of the smaller angle, rounded once as it is formed.
    const float theta = a - b;
    const double g = theta < 0.0f ? -2.0 : 2.0;
    const double de = e;
    const double dtheta = theta;
    const float t = static_cast<float>(g * de / (fabs(dtheta) + sqrt(dtheta * dtheta + 4.0 * de * de)));
    const double dt = t;
    const double c = 1.0 / sqrt(1.0 + dt * dt);
    const double s = dt * c;
    const double c2 = c * c;
    const float lower = static_cast<float>(c2 * (a + dt * (2.0 * de + dt * b)));
    const float upper = static_cast<float>(c2 * (b - dt * (2.0 * de - dt * a)));
    if (lower < upper) {
        // A further quarter turn puts the larger value at the lower index.
        return PlaneRotation{fabs(s), s > 0.0 ? -c : c, upper, lower};
    }
    return PlaneRotation{c, s, lower, upper};
}

}  // namespace
}  // namespace seqord::ordination
