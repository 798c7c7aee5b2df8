#include "csv/csv.h"

namespace seqord::csv {

namespace {

constexpr Format kRow = layout("(A)");

template <class Range>
void write_fields(OutStream& s, const Range& fields) {
    std::string row;
    bool first = true;
    for (const auto& f : fields) {
        if (!first) row += ',';
        first = false;
        row += field(f);
    }
    write(s, kRow, {std::string_view(row)});
}

}  // namespace

std::string field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string q = "\"";
    for (char c : text) {
        if (c == '"') q += '"';
        q += c;
    }
    q += '"';
    return q;
}

void write_row(OutStream& s, std::initializer_list<std::string_view> fields) { write_fields(s, fields); }

void write_row(OutStream& s, std::span<const std::string> fields) { write_fields(s, fields); }

}  // namespace seqord::csv
