#include "output/output.h"

namespace seqord::out {

namespace L = seqord::layouts;

namespace {
std::string_view one(const char& c) { return {&c, 1}; }

// Each writer's value list, checked against its layout when the program is
// compiled: a layout edited so that it no longer takes its values does not
// build.
constexpr Kind I = Kind::Int, R = Kind::Real, T = Kind::Text, Is = Kind::Ints, Rs = Kind::Reals;
static_assert(suits(L::S1, {I, I, I, I, I, I, I}) && suits(L::R1, {I, I, I, I, I, I, I}));
static_assert(suits(L::S2, {I, I, I, I, I, I, I, I}) && suits(L::S3, {}) && suits(L::S4, {T}) && suits(L::S5, {T}));
static_assert(suits(L::S6, {T, T, T, T}) && suits(L::R3, {T, T, T, T}) && suits(L::S7, {I, I}));
static_assert(suits(L::S8, {T}) && suits(L::S9, {T}) && suits(L::S10, {I, T, Rs}) && suits(L::S11, {Rs}));
static_assert(suits(L::S12_empty, {}) && suits(L::S12_count, {I}) && suits(L::S13, {Rs, Rs}));
static_assert(suits(L::S14, {I}) && suits(L::S15, {Is}) && suits(L::S16, {Rs}) && suits(L::S17, {Rs}));
static_assert(suits(L::S18, {Rs}) && suits(L::S19_text, {T}) && suits(L::S19_axes, {Is}));
// Scores: at most seven axes; points and shares: four axes.
static_assert(suits(L::S20, {I, T, at_most(Rs, 7)}) && suits(L::S21, {}) && suits(L::S22, {I, I, at_most(Rs, 4)}));
static_assert(suits(L::R2, {T}) && suits(L::R4, {I, I}) && suits(L::R5, {I, T}) && suits(L::R6, {I}));
static_assert(suits(L::R7, {Is}) && suits(L::R8, {R, I}) && suits(L::R9, {Rs}) &&
              suits(L::R10, {I, T, at_most(Rs, 7)}));
static_assert(suits(L::P1, {T, I, T, at_most(Rs, 4)}) && suits(L::P2, {}) && suits(L::P3, {I, T}) &&
              suits(L::P4, {at_most(Rs, 4)}));
static_assert(suits(L::C1_prompt, {T}) && suits(L::C1_line, {T}));
static_assert(suits(L::C2_DZ, {I}) && suits(L::C2_Z, {I}) && suits(L::C2_MZ, {I}) && suits(L::C2_AZ, {I}));
}  // namespace

void S1(OutStream& s, std::int64_t maxy, std::int64_t maxl, std::int64_t maxg, std::int64_t iys,
        std::int64_t iyf, std::int64_t nya, std::int64_t ntm) {
    write(s, L::S1, {maxy, maxl, maxg, iys, iyf, nya, ntm});
}

void S2(OutStream& s, const Dimensions& p, const Dimensions& r) {
    write(s, L::S2, {p.dz, p.z, p.mz, p.az, r.dz, r.z, r.mz, r.az});
}

void S3(OutStream& s) { write(s, L::S3); }
void S4(OutStream& s, const Text<50>& title) { write(s, L::S4, {title}); }
void S5(OutStream& s, std::string_view message) { write(s, L::S5, {message}); }

void S6(OutStream& s, char weight, char prxtyp, char sedtyp, char cortyp) {
    write(s, L::S6, {one(weight), one(prxtyp), one(sedtyp), one(cortyp)});
}

void S7(OutStream& s, std::int32_t iys, std::int32_t iyf) { write(s, L::S7, {iys, iyf}); }
void S8(OutStream& s, const Name& yname) { write(s, L::S8, {yname}); }
void S9(OutStream& s) { write(s, L::S9, {msg::kMatrixHeading}); }

void S10(OutStream& s, std::int32_t i, const Name& name, Reals values) {
    write(s, L::S10, {i, name, values.as_out()});
}

void S11(OutStream& s, Reals row) { write(s, L::S11, {row.as_out()}); }

void S12(OutStream& s, std::int32_t nl, std::int32_t nrot) {
    write(s, L::S12_empty);
    write(s, L::S12_count, {nl});
    write(s, L::S12_count, {nrot});
}

void S13(OutStream& s, Reals a_row, Reals v_row) { write(s, L::S13, {a_row.as_out(), v_row.as_out()}); }
void S14(OutStream& s, std::int32_t nax) { write(s, L::S14, {nax}); }

void S15(OutStream& s, std::int32_t nax) {
    write(s, L::S15, {Out::sequence(1, static_cast<std::size_t>(nax > 0 ? nax : 0))});
}

void S16(OutStream& s, Reals eigenvalues) { write(s, L::S16, {eigenvalues.as_out()}); }
void S17(OutStream& s, Reals percent) { write(s, L::S17, {percent.as_out()}); }
void S18(OutStream& s, Reals cumulative) { write(s, L::S18, {cumulative.as_out()}); }

void S19(OutStream& s, std::int32_t axes) {
    write(s, L::S19_text, {msg::kScoresTitle});
    write(s, L::S19_text, {msg::kAxesTitle});
    write(s, L::S19_axes, {Out::sequence(1, static_cast<std::size_t>(axes > 0 ? axes : 0))});
}

void S20(OutStream& s, std::int32_t i, const Name& name, Reals scores) {
    write(s, L::S20, {i, name, scores.as_out()});
}

void S21(OutStream& s) { write(s, L::S21); }

void S22(OutStream& s, std::int32_t k, std::int32_t k1, Reals correlations) {
    write(s, L::S22, {k, k1, correlations.as_out()});
}

void R1(OutStream& s, std::int64_t maxy, std::int64_t maxl, std::int64_t maxg, std::int64_t iys,
        std::int64_t iyf, std::int64_t nya, std::int64_t ntm) {
    write(s, L::R1, {maxy, maxl, maxg, iys, iyf, nya, ntm});
}

void R2(OutStream& s, const Text<50>& title) { write(s, L::R2, {title}); }

void R3(OutStream& s, char weight, char prxtyp, char sedtyp, char cortyp) {
    write(s, L::R3, {one(weight), one(prxtyp), one(sedtyp), one(cortyp)});
}

void R4(OutStream& s, std::int32_t iys, std::int32_t iyf) { write(s, L::R4, {iys, iyf}); }
void R5(OutStream& s, std::int32_t iy, const Name& yname) { write(s, L::R5, {iy, yname}); }
void R6(OutStream& s, std::int32_t nl) { write(s, L::R6, {nl}); }

void R7(OutStream& s, const std::int32_t* elim, std::size_t n, std::ptrdiff_t stride) {
    write(s, L::R7, {Out::ints(elim, n, stride)});
}

void R8(OutStream& s, float sum, std::int32_t count) { write(s, L::R8, {sum, count}); }
void R9(OutStream& s, Reals eigenvalues) { write(s, L::R9, {eigenvalues.as_out()}); }

void R10(OutStream& s, std::int32_t i, const Name& name, Reals scores) {
    write(s, L::R10, {i, name, scores.as_out()});
}

void P1(OutStream& s, const Name& year, std::int32_t l, const Name& location, Reals points) {
    write(s, L::P1, {year, l, location, points.as_out()});
}

void P2(OutStream& s) { write(s, L::P2); }
void P3(OutStream& s, std::int32_t k, const Name& year) { write(s, L::P3, {k, year}); }
void P4(OutStream& s, Reals percent) { write(s, L::P4, {percent.as_out()}); }

void C1_prompt(OutStream& con, std::string_view prompt) { write(con, L::C1_prompt, {prompt}); }
void C1_line(OutStream& con, std::string_view line) { write(con, L::C1_line, {line}); }

void C2_increase(OutStream& con, Area area, std::int64_t required) {
    switch (area) {
    case Area::DZ: write(con, L::C2_DZ, {required}); break;
    case Area::Z: write(con, L::C2_Z, {required}); break;
    case Area::MZ: write(con, L::C2_MZ, {required}); break;
    case Area::AZ: write(con, L::C2_AZ, {required}); break;
    }
}

void log(Files& f, std::string_view message) {
    S5(f.sor, message);
    write(f.con, L::C1_line, {message});
}

}  // namespace seqord::out
