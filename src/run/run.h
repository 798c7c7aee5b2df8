// What the steps of one run share: the streams of the run by role, and the
// tables carved out of its workspace.  The main program owns both (it opens
// the files under their unit numbers and divides the workspace); every
// step is handed them and takes the streams and tables it works on by name.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "records/records.h"

namespace seqord {

// A table carved out of the workspace, indexed from 1 with its first index
// varying fastest: element (i, j) of a table whose first extent is E lies
// (j - 1) * E + (i - 1) elements from its start, and (i, j, k) of a table of
// extents E1 x E2 at ((k - 1) * E2 + (j - 1)) * E1 + (i - 1).
template <class T>
struct Table {
    T* p = nullptr;
    std::int64_t size = 0;  // elements
    std::int64_t e1 = 1;    // first extent
    std::int64_t e2 = 1;    // second extent (three-index tables)

    T& operator[](std::int64_t i) const { check(i - 1); return p[i - 1]; }
    T& operator()(std::int64_t i, std::int64_t j) const {
        std::int64_t off = (j - 1) * e1 + (i - 1);
        check(off);
        return p[off];
    }
    T& operator()(std::int64_t i, std::int64_t j, std::int64_t k) const {
        std::int64_t off = ((k - 1) * e2 + (j - 1)) * e1 + (i - 1);
        check(off);
        return p[off];
    }
    T* at(std::int64_t i, std::int64_t j) const { return &(*this)(i, j); }

private:
    void check(std::int64_t off) const {
        if (off < 0 || off >= size) throw std::out_of_range("table index outside the table");
    }
};

// The streams of a run: the two inputs, the four outputs, and the console
// (its input, its log, and the channel for reports and warnings).
struct Files {
    InStream ema, naq;
    OutStream sor, ors, por, orp;
    InStream con_in;
    OutStream con, err;

    // Writes out everything buffered; never throws (used at the end of a run).
    bool flush_all_quietly() {
        bool ok = true;
        for (OutStream* s : {&sor, &ors, &por, &orp, &con, &err}) ok = s->flush_quietly() && ok;
        return ok;
    }
};

// The twelve tables of the analysis, each a slice of the workspace, with
// MAXY and MAXL, the extents they are shaped by:
//   A, V (MAXL x MAXL), EV, CUM (MAXL), PTS (MAXY x MAXL x 4), PCT (MAXY x 4),
//   RESV (4 MAXL, used by no step), ELIM (MAXY x MAXL), IWK (MAXL),
//   YEARNAME (MAXY), LOCNAME (MAXL), RNAMES (MAXL).
struct Tables {
    Table<float> A{}, V{}, EV{}, CUM{}, PTS{}, PCT{}, RESV{};
    Table<std::int32_t> ELIM{}, IWK{};
    Table<Name> YEARNAME{}, LOCNAME{}, RNAMES{};
    std::int32_t maxy = 0, maxl = 0;
};

}  // namespace seqord
