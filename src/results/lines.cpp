// Result files read line by line, their fields taken from the columns of
// the catalogue's layouts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "results/fields.h"

namespace seqord::results {

std::string quote(std::string_view text) { return printable(excerpt(text)); }

std::string counted(std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string reason(const RunStop& stop) {
    // The record layer reports "seqord: severe (N): <condition>, unit U,
    // file F[, where][ (detail)]": the detail (the system's reason, which
    // holds no parenthesis) is the reason; without one, the condition.
    std::string_view t = stop.what();
    const std::string too_long = "seqord: severe (" + std::to_string(condition_number(Condition::RecordTooLong)) + "): ";
    const bool is_too_long = t.substr(0, too_long.size()) == too_long;
    if (const std::size_t head = t.find("): "); head != std::string_view::npos) t.remove_prefix(head + 3);
    if (const std::size_t open = t.rfind(" ("); open != std::string_view::npos && t.back() == ')')
        return (is_too_long ? "the line is " : "") + std::string(t.substr(open + 2, t.size() - open - 3));
    return std::string(t.substr(0, t.find(", unit ")));
}

std::string job_of(std::string operand, std::initializer_list<std::string_view> extensions) {
    for (std::string_view ext : extensions) {
        if (operand.size() >= ext.size() && operand.compare(operand.size() - ext.size(), ext.size(), ext) == 0) {
            operand.resize(operand.size() - ext.size());
            break;
        }
    }
    return operand;
}

std::string job_name(const std::string& job) {
    const std::size_t slash = job.find_last_of('/');
    return slash == std::string::npos ? job : job.substr(slash + 1);
}

std::string_view trimmed(const Name& n) {
    std::string_view v = n.view();
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
}

std::string_view shown(const Name& n) {
    std::string_view v = trimmed(n);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    return v;
}

namespace detail {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string columns_text(const Column& c) {
    if (c.w == 1) return "column " + std::to_string(c.at + 1);
    return "columns " + std::to_string(c.at + 1) + "-" + std::to_string(end_of(c));
}

}  // namespace

LineFile::LineFile(const std::string& path, int unit) : path_(path) {
    // Opened once here first, so that the message can say plainly what is
    // wrong with the file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT) throw InputError(path + ": no such file (is the job name right, and has seqord run?)");
        throw InputError(path + ": cannot be opened (" + std::strerror(err) + ")");
    }
    struct stat st {};
    const bool dir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    ::close(fd);
    if (dir) throw InputError(path + ": is a folder, not a file");
    try {
        in_.open_file(unit, path);
    } catch (const RunStop& stop) {
        throw InputError(path + ": cannot be opened (" + reason(stop) + ")");
    }
}

bool LineFile::next() {
    bool more = false;
    try {
        more = in_.next_record(raw_);
    } catch (const RunStop& stop) {
        throw InputError(path_ + ", line " + std::to_string(line() + 1) + ": cannot be read (" + reason(stop) + ")");
    }
    return more;
}

void LineFile::need(const std::string& wanted) {
    if (next()) return;
    std::string m = path_ + ", after line " + std::to_string(line()) + ": the file ends where ";
    m += wanted;
    m += " belongs; did the run of seqord end normally?";
    throw InputError(m);
}

void LineFile::need_text(std::string_view text, const std::string& wanted) {
    need(wanted);
    if (raw_ != text) misplaced(wanted);
}

void LineFile::need_literal(const Column& c, const std::string& wanted) {
    need(wanted);
    if (!has(c)) misplaced(wanted);
}

void LineFile::need_values(const Columns& c, std::size_t n, const std::string& wanted) {
    need(wanted);
    if (n == 0 ? !raw_.empty() : !ends_at(c[n - 1])) misplaced(wanted);
}

void LineFile::skip_to(std::string_view text, const std::string& wanted) {
    do need(wanted);
    while (raw_ != text);
}

std::string LineFile::found() const {
    if (raw_.empty()) return "an empty line";
    std::string m(1, '"');
    m += quote(raw_);
    m += '"';
    return m;
}

std::string_view LineFile::field(const Column& c) const {
    const std::string_view r = raw_;
    return c.at >= r.size() ? std::string_view() : r.substr(c.at, c.w);
}

std::string_view LineFile::text() const {
    std::string_view r = raw_;
    while (!r.empty() && r.back() == ' ') r.remove_suffix(1);
    return r;
}

bool LineFile::has(const Column& c) const { return field(c) == c.text; }

bool LineFile::ends_at(const Column& c) const { return text().size() == end_of(c); }

void LineFile::not_a_number(const Column& c, std::string_view record) const {
    std::string m(record);
    m += " with a field that is not a number (";
    m += columns_text(c);
    m += " \"";
    m += quote(field(c));
    m += "\")";
    fail(m);
}

std::int32_t LineFile::integer(const Column& c, std::string_view record) const {
    const std::string_view f = field(c);
    std::int32_t v = 0;
    if (trim(f).empty() || !parse_int_field(f, v)) not_a_number(c, record);
    return v;
}

Printed LineFile::real(const Column& c, std::string_view record) const {
    const std::string_view f = field(c);
    Printed p;
    p.line = line();
    if (f.size() == c.w && f.find_first_not_of('*') == std::string_view::npos) return p;  // too wide when written
    const std::string_view t = trim(f);
    if (t.empty() || t.find(' ') != std::string_view::npos || !parse_real_field(f, c.d, p.value))
        not_a_number(c, record);
    p.text = std::string(t);
    return p;
}

Name LineFile::name(const Column& c) const { return Name::of(field(c)); }

}  // namespace detail
}  // namespace seqord::results
