// fuzz_list_read: free-form integer reads of varying variable lists from an
// arbitrary file, each compared with the model of the free-form rules
// (models.h), which reads its integers itself.
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz.h"
#include "models.h"

namespace seqord::fuzz {

namespace detail {

namespace {

// An integer of the model: digits, with one sign in front when `sign`
// allows it.  Past 2^40 further digits only set `overflow`.
bool model_int(std::string_view t, bool sign, std::int64_t& v, bool& overflow) {
    std::size_t i = 0;
    bool neg = false;
    if (sign && i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i == t.size()) return false;
    v = 0;
    overflow = false;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return false;
        if (v < (std::int64_t{1} << 40)) v = v * 10 + (t[i] - '0');
        else overflow = true;
    }
    if (neg) v = -v;
    return true;
}

}  // namespace

ListModel model_list(const std::vector<std::string>& recs, std::size_t first, std::vector<std::int32_t*> vars) {
    ListModel m;
    std::size_t k = 0;        // next variable
    std::size_t rec = first;  // current record
    std::size_t pos = 0;
    bool in_record = false;
    bool after_value = false;
    while (k < vars.size()) {
        if (!in_record || pos >= recs[rec - 1].size()) {
            if (rec >= recs.size()) {
                m.end = ListModel::End::EndOfFile;
                m.next_record = rec;
                return m;
            }
            ++rec;
            pos = 0;
            in_record = true;
            continue;
        }
        const std::string& line = recs[rec - 1];
        const char ch = line[pos];
        if (ch == ' ' || ch == '\t') { ++pos; continue; }
        if (ch == ',') {
            if (!after_value) ++k;
            after_value = false;
            ++pos;
            continue;
        }
        if (ch == '/') { m.end = ListModel::End::Slash; break; }
        std::size_t e = pos;
        while (e < line.size() && line[e] != ' ' && line[e] != '\t' && line[e] != ',' && line[e] != '/') ++e;
        const std::string_view tok(line.data() + pos, e - pos);
        pos = e;
        std::int64_t repeat = 1;
        std::string_view value = tok;
        bool overflow = false;
        const std::size_t star = tok.find('*');
        if (star != std::string_view::npos) {
            if (!model_int(tok.substr(0, star), false, repeat, overflow) || (!overflow && repeat < 1)) {
                m.end = ListModel::End::Syntax;
                return m;
            }
            if (overflow) repeat = std::numeric_limits<std::int64_t>::max();
            value = tok.substr(star + 1);
            if (value.empty()) {
                for (std::int64_t i = 0; i < repeat && k < vars.size(); ++i) ++k;
                after_value = true;
                continue;
            }
        }
        std::int64_t v = 0;
        if (!model_int(value, true, v, overflow)) {
            m.end = ListModel::End::Syntax;
            return m;
        }
        if (overflow || v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min()) {
            m.end = ListModel::End::Conversion;
            return m;
        }
        for (std::int64_t i = 0; i < repeat && k < vars.size(); ++i) *vars[k++] = static_cast<std::int32_t>(v);
        after_value = true;
    }
    m.next_record = rec;
    return m;
}

}  // namespace detail

// Byte 0: bits 0-1 scalars before the run (0..3), bits 2-3 scalars after it
// (0..3), bits 4-6 reads to make (1..8).  Byte 1: the run's length (0..63).
// Byte 2: the run's spacing (1..3).  The rest is the file.  Every read is
// compared with the model above: the variables it sets, the condition that
// stops it, and the record the next read starts on.
Result list_read(const std::uint8_t* data, std::size_t size) {
    Result r;
    Bytes in(data, size);
    const std::uint8_t b0 = in.byte();
    std::size_t before = b0 & 3u;
    const std::size_t after = (b0 >> 2) & 3u;
    const int reads = 1 + ((b0 >> 4) & 7);
    const std::size_t run = in.byte() % 64;
    const std::ptrdiff_t stride = 1 + in.byte() % 3;
    if (before + run + after == 0) before = 1;  // the program never reads an empty list
    const std::string text = in.rest();
    const std::vector<std::string> recs = split_records(text);
    constexpr std::int32_t kUnset = -1234567;
    const std::size_t sstride = static_cast<std::size_t>(stride);

    MemFile file(text);
    InStream s;
    s.bind(20, "fuzz.EMA", file.fd());
    std::size_t next = 0;  // records consumed, by the model's count
    try {
        for (int n = 0; n < reads; ++n) {
            std::array<std::int32_t, 3> pre{kUnset, kUnset, kUnset}, post{kUnset, kUnset, kUnset};
            // Storage of exactly the run's extent; its gaps must stay as they are.
            std::vector<std::int32_t> store(run == 0 ? 1 : (run - 1) * sstride + 1, kUnset);
            std::array<std::int32_t, 3> mpre = pre, mpost = post;
            std::vector<std::int32_t> mstore = store;

            std::vector<In> vars;
            std::vector<std::int32_t*> mvars;
            for (std::size_t i = 0; i < before; ++i) {
                vars.emplace_back(pre[i]);
                mvars.push_back(&mpre[i]);
            }
            vars.push_back(In::ints(store.data(), run, stride));
            for (std::size_t i = 0; i < run; ++i) mvars.push_back(&mstore[i * sstride]);
            for (std::size_t i = 0; i < after; ++i) {
                vars.emplace_back(post[i]);
                mvars.push_back(&mpost[i]);
            }
            const detail::ListModel m = detail::model_list(recs, next, mvars);

            int cond = 0;
            std::string report;
            try {
                as_list(vars, [&](std::initializer_list<In> l) { read_list(s, l); });
            } catch (const RunStop& stop) {
                cond = severe_number(stop);
                report = stop.what();
            }
            using End = detail::ListModel::End;
            const int expected = m.end == End::EndOfFile ? 24 : m.end == End::Syntax ? 59
                                                            : m.end == End::Conversion ? 64 : 0;
            if (cond != expected) {
                r.fail("free-form read " + std::to_string(n + 1) + ": condition " + std::to_string(cond) +
                       " where " + std::to_string(expected) + " was expected" +
                       (report.empty() ? std::string() : " (" + report + ")"));
                return r;
            }
            if (cond != 0) {
                ++r.stops;
                break;
            }
            if (pre != mpre || post != mpost || store != mstore) {
                r.fail("free-form read " + std::to_string(n + 1) + ": the variables differ from the model's");
                return r;
            }
            if (static_cast<std::size_t>(s.line_number()) != m.next_record) {
                r.fail("free-form read " + std::to_string(n + 1) + " ended on record " +
                       std::to_string(s.line_number()) + ", the model on " + std::to_string(m.next_record));
                return r;
            }
            next = m.next_record;
        }
    } catch (const RunStop&) {
        ++r.stops;
    } catch (const std::exception& e) {
        r.fail(std::string("exception escaped a free-form read: ") + e.what());
    }
    return r;
}

}  // namespace seqord::fuzz
