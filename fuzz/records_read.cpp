// fuzz_records_read: matrix rows and year records read through their
// layouts from an arbitrary file, each compared with the model of its
// columns (models.h) and written back through the same layout.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz.h"
#include "input/input.h"
#include "models.h"

namespace seqord::fuzz {

namespace detail {

RowModel model_row(const std::vector<std::string>& recs, std::size_t first, std::size_t nvalues) {
    RowModel m;
    m.lines = static_cast<int>(nvalues == 0 ? 1 : (nvalues + 9) / 10);
    if (first + static_cast<std::size_t>(m.lines) > recs.size()) {
        m.ok = false;
        return m;
    }
    const std::string& head = recs[first];
    if (!parse_int_field(field_of(head, 0, 6), m.number)) m.ok = false;
    const std::string nm = field_of(head, 7, 8);
    std::copy(nm.begin(), nm.end(), m.name.c.begin());
    for (std::size_t k = 0; k < nvalues && m.ok; ++k) {
        const std::string& line = recs[first + k / 10];
        float x = 0.0f;
        if (!parse_real_field(field_of(line, 16 + 16 * (k % 10), 16), 8, x)) m.ok = false;
        m.values.push_back(x);
    }
    return m;
}

// The year record "(I6,4X,A8)": I6 in columns 1-6, the name in 11-18.
bool model_year(const std::string& line, std::int32_t& iy, Name& name) {
    const std::string nm = field_of(line, 10, 8);
    std::copy(nm.begin(), nm.end(), name.c.begin());
    return parse_int_field(field_of(line, 0, 6), iy);
}

}  // namespace detail

namespace {

// Whether `back`, read from an E field with `digits` significant digits,
// is a faithful reading of the value `v` that was written there.
bool close_after_e(float v, float back, int digits) {
    const double err = std::fabs(static_cast<double>(back) - static_cast<double>(v));
    // The mantissa (0.1 <= m < 1) is rounded at `digits` places: a relative
    // error of at most 5 * 10^-digits, then the reading rounds to a float.
    const double rel = 5.0 * std::pow(10.0, -digits);
    return err <= std::fabs(static_cast<double>(v)) * rel * 1.000001 + float_gap(v) + float_gap(back);
}

// A run of `count` reals `stride` elements apart, in storage of exactly the
// size it needs so that the address sanitizer sees any step outside it.  The
// elements between the run's own are filled with a marker that must survive.
struct Strided {
    std::vector<float> store;
    std::size_t count;
    std::ptrdiff_t stride;
    static constexpr std::uint32_t kMarker = 0x7fc0beefu;  // a quiet NaN

    Strided(std::size_t n, std::ptrdiff_t s) : count(n), stride(s) {
        store.assign(n == 0 ? 1 : (n - 1) * static_cast<std::size_t>(s) + 1, marker());
    }
    static float marker() {
        float f;
        std::memcpy(&f, &kMarker, sizeof f);
        return f;
    }
    float* data() { return store.data(); }
    float at(std::size_t k) const { return store[k * static_cast<std::size_t>(stride)]; }
    bool gaps_intact() const {
        for (std::size_t i = 0; i < store.size(); ++i) {
            if (count > 0 && i % static_cast<std::size_t>(stride) == 0 && i / static_cast<std::size_t>(stride) < count)
                continue;
            std::uint32_t b;
            std::memcpy(&b, &store[i], sizeof b);
            if (b != kMarker) return false;
        }
        return true;
    }
};

// Writes one matrix row back through the same layout and reads it again: the
// echo of a row must read as the row did (to the eight digits of E16.8).
void row_round_trip(Result& r, std::int32_t number, const Name& name, const Strided& vals, float diagonal) {
    std::vector<float> flat;
    for (std::size_t k = 0; k < vals.count; ++k) flat.push_back(vals.at(k));
    MemFile file;
    {
        OutStream out;
        out.bind(22, "echo", file.fd(), false);
        write(out, layouts::kMatrixRow, {number, name, Out::reals(flat.data(), flat.size()), diagonal});
        out.flush();
    }
    const std::string text = file.contents();
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        r.fail("matrix row echo does not end in CR LF");
    file.rewind();
    InStream in;
    in.bind(22, "echo", file.fd());
    std::int32_t number2 = 0;
    Name name2;
    std::vector<float> back(flat.size() + 1, 0.0f);
    float diagonal2 = 0.0f;
    try {
        read(in, layouts::kMatrixRow, {number2, name2, In::reals(back.data(), flat.size()), diagonal2});
    } catch (const RunStop& stop) {
        r.fail(std::string("the echo of a matrix row does not read back: ") + stop.what());
        return;
    }
    if (number2 != number || !(name2 == name)) r.fail("matrix row echo: row number or name changed");
    for (std::size_t k = 0; k < flat.size(); ++k)
        if (!close_after_e(flat[k], back[k], 8))
            r.fail("matrix row echo: value " + std::to_string(k + 1) + " " + hex_bits(flat[k]) + " read back as " +
                   hex_bits(back[k]));
    if (!close_after_e(diagonal, diagonal2, 8)) r.fail("matrix row echo: diagonal changed");
    std::string rest;
    if (in.next_record(rest)) r.fail("matrix row echo has more records than the read takes");
}

}  // namespace

// The first byte chooses the rows: bits 0-4 give n (0..31); with bit 5 clear
// the data are read as year blocks (a year record, then rows 1..n holding
// 1..n values as a matrix does), with bit 5 set every read is one row of
// 3n + 1 values.  The second byte gives the spacing (1..4) of the values in
// the receiving table.  The rest is the file.
Result records_read(const std::uint8_t* data, std::size_t size) {
    Result r;
    Bytes in(data, size);
    const std::uint8_t b0 = in.byte();
    const std::size_t n = b0 & 31u;
    const bool fixed_rows = (b0 & 32u) != 0;
    const std::ptrdiff_t stride = 1 + in.byte() % 4;
    const std::string text = in.rest();
    const std::vector<std::string> recs = split_records(text);

    MemFile file(text);
    InStream s;
    s.bind(20, "fuzz.EMA", file.fd());
    std::size_t at = 0;  // records consumed, by the model's count
    try {
        for (int block = 0; block < 64; ++block) {
            if (!fixed_rows) {
                std::int32_t iy = -7;
                Name yname = Name::of("unread");
                bool more = false;
                try {
                    more = read_or_eof(s, layouts::kYearRecord, {iy, yname});
                } catch (const RunStop& stop) {
                    std::int32_t miy = 0;
                    Name mname;
                    if (at < recs.size() && detail::model_year(recs[at], miy, mname))
                        r.fail(std::string("a valid year record was refused: ") + stop.what());
                    else if (severe_number(stop) != 64)
                        r.fail(std::string("unexpected condition for a bad year record: ") + stop.what());
                    throw;
                }
                if (!more) {
                    if (at != recs.size()) r.fail("read_or_eof reported the end of the file early");
                    break;
                }
                if (at >= recs.size()) {
                    r.fail("a year record was read past the end of the file");
                    break;
                }
                std::int32_t miy = 0;
                Name mname;
                const bool valid = detail::model_year(recs[at], miy, mname);
                if (!valid) r.fail("an invalid year record was accepted");
                else if (miy != iy || !(mname == yname)) r.fail("year record read differs from its columns");
                // The year record echoes under the same layout (R5 of .ORS).
                MemFile echo;
                {
                    OutStream o;
                    o.bind(23, "echo", echo.fd(), false);
                    write(o, layouts::kYearRecord, {iy, yname});
                }
                std::int32_t iy2 = 0;
                Name yname2;
                echo.rewind();
                InStream back;
                back.bind(23, "echo", echo.fd());
                try {
                    read(back, layouts::kYearRecord, {iy2, yname2});
                } catch (const RunStop& stop) {
                    r.fail(std::string("the echo of a year record does not read back: ") + stop.what());
                    return r;
                }
                if (iy2 != iy || !(yname2 == yname)) r.fail("year record echo reads back differently");
                ++at;
            }
            const std::size_t rows = fixed_rows ? 1 : n;
            for (std::size_t i = 1; i <= rows; ++i) {
                const std::size_t count = fixed_rows ? 3 * n : i - 1;  // values before the diagonal
                Strided vals(count, stride);
                std::int32_t number = -7;
                Name name = Name::of("unread");
                float diagonal = Strided::marker();
                const detail::RowModel m = detail::model_row(recs, at, count + 1);
                try {
                    read(s, layouts::kMatrixRow, {number, name, In::reals(vals.data(), count, stride), diagonal});
                } catch (const RunStop& stop) {
                    const int cond = severe_number(stop);
                    if (m.ok) r.fail(std::string("a valid matrix row was refused: ") + stop.what());
                    else if (cond != 24 && cond != 64)
                        r.fail(std::string("unexpected condition for a bad matrix row: ") + stop.what());
                    throw;
                }
                if (!m.ok) {
                    r.fail("an invalid or incomplete matrix row was accepted");
                    return r;
                }
                if (number != m.number || !(name == m.name)) r.fail("matrix row number or name differs from its columns");
                for (std::size_t k = 0; k < count; ++k)
                    if (std::memcmp(&m.values[k], &vals.store[k * static_cast<std::size_t>(stride)], sizeof(float)) != 0)
                        r.fail("matrix row value " + std::to_string(k + 1) + " differs from its field");
                if (std::memcmp(&m.values[count], &diagonal, sizeof(float)) != 0)
                    r.fail("matrix row diagonal differs from its field");
                if (!vals.gaps_intact()) r.fail("a matrix row read wrote between the elements of its run");
                for (std::size_t k = 0; k < count; ++k)
                    if (!std::isfinite(vals.at(k))) r.fail("a matrix row read stored a value that is not finite");
                at += static_cast<std::size_t>(m.lines);
                if (static_cast<long>(at) != s.line_number()) r.fail("a matrix row read took the wrong number of records");
                row_round_trip(r, number, name, vals, diagonal);
                if (!r.verdict.empty()) return r;
            }
            if (fixed_rows && at >= recs.size()) break;
            if (!fixed_rows && n == 0 && at >= recs.size()) break;
        }
    } catch (const RunStop&) {
        ++r.stops;
    } catch (const std::exception& e) {
        r.fail(std::string("exception escaped a record read: ") + e.what());
    }
    return r;
}

}  // namespace seqord::fuzz
