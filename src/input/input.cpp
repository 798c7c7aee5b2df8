#include "input/input.h"

#include <algorithm>

namespace seqord::input {

namespace L = seqord::layouts;

// The readers' variable lists, checked against their layouts when the
// program is compiled.
static_assert(suits(L::kTitle, {Kind::Text}) && suits(L::kNameHeading, {Kind::Text}) && suits(L::kName, {Kind::Text}));
static_assert(suits(L::kOptions, {Kind::Text, Kind::Text, Kind::Text, Kind::Text}));
static_assert(suits(L::kYearRecord, {Kind::Int, Kind::Text}));
static_assert(suits(L::kMatrixRow, {Kind::Int, Kind::Text, Kind::Reals, Kind::Real}));

RunHeader read_run_header(InStream& ema) {
    RunHeader h;
    read_list(ema, {h.maxy, h.maxl, h.maxg, h.iys, h.iyf});
    return h;
}

void read_title(InStream& ema, Text<50>& title) { read(ema, L::kTitle, {title}); }

Options read_options(InStream& ema) {
    Options o;
    read(ema, L::kOptions,
         {In::chars(&o.weight, 1), In::chars(&o.prxtyp, 1), In::chars(&o.sedtyp, 1), In::chars(&o.cortyp, 1)});
    return o;
}

bool read_year_record(InStream& ema, std::int32_t& iy, Name& yname) {
    return read_or_eof(ema, L::kYearRecord, {iy, yname});
}

void read_count(InStream& ema, std::int32_t& nl) { read_list(ema, {nl}); }

void read_elimination(InStream& ema, std::int32_t* elim, std::size_t n, std::ptrdiff_t stride) {
    read_list(ema, {In::ints(elim, n, stride)});
}

void read_names(InStream& naq, const Tables& t) {
    Text<50> heading;
    read(naq, L::kNameHeading, {heading});
    std::int32_t counts[3] = {0, 0, 0};
    read_list(naq, {counts[0], counts[1], counts[2]});
    for (std::int32_t k = 1; k <= t.maxy; ++k) read(naq, L::kName, {t.YEARNAME[k]});
    for (std::int32_t j = 1; j <= t.maxl; ++j) read(naq, L::kName, {t.LOCNAME[j]});
}

void read_matrix(InStream& ema, const Tables& t, std::int32_t nl) {
    const std::int32_t maxl = t.maxl;
    std::fill(t.A.p, t.A.p + static_cast<std::int64_t>(maxl) * maxl, 0.0f);
    std::int32_t row_number = 0;
    float diagonal = 0.0f;
    for (std::int32_t i = 1; i <= nl; ++i) {
        // Row i holds i - 1 proximities, then the diagonal.
        read(ema, L::kMatrixRow,
             {row_number, t.RNAMES[i], In::reals(t.A.at(i, 1), static_cast<std::size_t>(i - 1), maxl), diagonal});
    }
}

}  // namespace seqord::input
