// fuzz_csv_read: the input is a table.  Its rows, as csv::Reader gives them
// (views and copies), must be the model's (models.h), error for error; each
// field that packs as a short decimal must unpack to the bits parse_number
// reads; and seqord-prep's read_table must either refuse the table (a
// Failure) or give means that are finite, in genotype order, within the
// counts it reports.
#include <cmath>
#include <cstring>
#include <string>

#include "csv/csv.h"
#include "fuzz.h"
#include "models.h"
#include "seqord-prep/prep.h"

namespace seqord::fuzz {

namespace detail {

CsvModel model_csv(std::string_view text) {
    CsvModel m;
    const std::size_t n = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    auto all_blank = [&](std::string_view s) {
        for (char c : s)
            if (!blank(c)) return false;
        return true;
    };
    std::size_t i = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    long line = 1;
    for (;;) {  // the header's line
        if (i >= n) return m;
        const std::size_t nl = text.find('\n', i);
        std::string_view l = text.substr(i, (nl == std::string_view::npos ? n : nl) - i);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (all_blank(l)) {
            if (nl == std::string_view::npos) return m;
            i = nl + 1;
            ++line;
            continue;
        }
        if (l.find('\t') != std::string_view::npos) m.sep = '\t';
        else if (l.find(';') != std::string_view::npos && l.find(',') == std::string_view::npos) m.sep = ';';
        break;
    }
    auto fail = [&](long at, const char* what) { m.error = "line " + std::to_string(at) + ": " + what; };
    while (i < n) {
        CsvModel::Row row;
        row.line = line;
        std::string f;
        bool quoted = false, after = false, was_quoted = false;
        for (;;) {
            if (i >= n) {
                if (quoted) return fail(row.line, "a quoted field is not closed before the end of the file"), m;
                row.fields.push_back(f);
                break;
            }
            const char c = text[i++];
            if (quoted) {
                if (c == '"') {
                    if (i < n && text[i] == '"') f += '"', ++i;
                    else quoted = false, after = true;
                } else {
                    if (c == '\n') ++line;
                    f += c;
                }
                continue;
            }
            if (c == '\r') {
                if (i >= n || text[i] == '\n') continue;
                return fail(line, "a carriage return alone ends a line (old Mac line ends); save the table with LF "
                                  "or CR LF line ends"),
                       m;
            }
            if (c == m.sep || c == '\n') {
                row.fields.push_back(f);
                f.clear();
                after = false;
                if (c == '\n') {
                    ++line;
                    break;
                }
                continue;
            }
            if (after) {
                if (blank(c)) continue;
                return fail(line, "text after the closing quote of a field"), m;
            }
            if (c == '"' && all_blank(f)) {
                f.clear();
                quoted = was_quoted = true;
                continue;
            }
            f += c;
        }
        if (!was_quoted && row.fields.size() == 1 && all_blank(row.fields[0])) continue;
        m.rows.push_back(std::move(row));
    }
    return m;
}

}  // namespace detail

Result csv_read(const std::uint8_t* data, std::size_t size) {
    Result r;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const detail::CsvModel want = detail::model_csv(text);
    MemFile file(text);
    for (const bool copies : {false, true}) {
        file.rewind();
        csv::Reader reader(file.fd());
        detail::CsvModel got;
        try {
            std::vector<std::string_view> views;
            std::vector<std::string> strings;
            while (copies ? reader.next(strings) : reader.next(views)) {
                detail::CsvModel::Row row;
                row.line = reader.line();
                if (copies) row.fields = strings;
                else row.fields.assign(views.begin(), views.end());
                for (const std::string& f : row.fields) {
                    std::uint32_t code = 0;
                    double v = 0;
                    if (!csv::pack_decimal(f, reader.decimal_comma(), code)) continue;
                    const double u = csv::unpack_decimal(code);
                    if (csv::parse_number(f, reader.decimal_comma(), v) != csv::Number::ok ||
                        std::memcmp(&v, &u, sizeof v) != 0)
                        r.fail("packed decimal '" + f + "' is not the number read");
                }
                got.rows.push_back(std::move(row));
            }
        } catch (const csv::TableError& e) {
            got.error = "line " + std::to_string(e.line()) + ": " + e.what();
        }
        got.sep = reader.separator();
        if (got.rows != want.rows)
            r.fail(std::string(copies ? "copied" : "viewed") + " rows differ from the model's (" +
                   std::to_string(got.rows.size()) + " rows, the model " + std::to_string(want.rows.size()) + ")");
        if (got.error != want.error) r.fail("error '" + got.error + "', the model's '" + want.error + "'");
        if ((!want.rows.empty() || !want.error.empty()) && got.sep != want.sep) r.fail("separator differs");
    }

    // The whole table into genotype means.
    file.rewind();
    try {
        const prep::Table t = prep::read_table("/proc/self/fd/" + std::to_string(file.fd()), prep::Columns{});
        if (t.means.size() != t.years.size()) r.fail("means of another number of years");
        long cells = 0;
        for (const auto& year : t.means) {
            if (year.size() != t.locations.size()) r.fail("means of another number of locations");
            for (const auto& loc : year)
                for (std::size_t k = 0; k < loc.size(); ++k) {
                    ++cells;
                    if (!std::isfinite(loc[k].mean)) r.fail("a mean is not finite");
                    if (loc[k].genotype < 0 || static_cast<std::size_t>(loc[k].genotype) >= t.genotypes.size())
                        r.fail("a genotype out of range");
                    if (k > 0 && loc[k - 1].genotype >= loc[k].genotype) r.fail("means not in genotype order");
                }
        }
        if (cells + t.replicate_rows - t.replicated_cells + t.missing != t.rows)
            r.fail("the rows do not add up: " + std::to_string(t.rows) + " rows, " + std::to_string(cells) + " means");
    } catch (const prep::Failure&) {
        ++r.stops;
    }
    return r;
}

}  // namespace seqord::fuzz
