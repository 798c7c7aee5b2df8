#include "input/input.h"

#include <algorithm>

namespace seqord::input {

namespace L = seqord::layouts;

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

void read_names(InStream& naq, Table<Name> yearname, Table<Name> locname, std::int32_t maxy,
                std::int32_t maxl) {
    Text<50> heading;
    read(naq, L::kNameHeading, {heading});
    std::int32_t counts[3] = {0, 0, 0};
    read_list(naq, {counts[0], counts[1], counts[2]});
    for (std::int32_t k = 1; k <= maxy; ++k) read(naq, L::kName, {yearname[k]});
    for (std::int32_t j = 1; j <= maxl; ++j) read(naq, L::kName, {locname[j]});
}

void read_matrix(InStream& ema, Table<float> a, Table<Name> rnames, std::int32_t maxl, std::int32_t nl) {
    std::fill(a.p, a.p + static_cast<std::int64_t>(maxl) * maxl, 0.0f);
    std::int32_t row_number = 0;
    float diagonal = 0.0f;
    for (std::int32_t i = 1; i <= nl; ++i) {
        // Row i holds i - 1 proximities, then the diagonal.
        read(ema, L::kMatrixRow,
             {row_number, rnames[i], In::reals(a.at(i, 1), static_cast<std::size_t>(i - 1), maxl), diagonal});
    }
}

}  // namespace seqord::input
