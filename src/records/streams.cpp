// Streams bound to unit numbers: files and the console.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "records/streams.h"

namespace seqord {

namespace {

constexpr std::size_t kFlushAt = 1 << 16;
constexpr std::size_t kRecordRoom = 1024;
constexpr std::size_t kReadChunk = 1 << 16;

struct ConditionInfo {
    int number;
    const char* text;
};

ConditionInfo info(Condition c) {
    switch (c) {
    case Condition::EndOfFile: return {24, "end-of-file during read"};
    case Condition::InputConversion: return {64, "input conversion error"};
    case Condition::ListSyntax: return {59, "list-directed I/O syntax error"};
    case Condition::FileNotFound: return {29, "file not found"};
    case Condition::PermissionDenied: return {9, "permission to access file denied"};
    case Condition::OpenFailure: return {30, "open failure"};
    case Condition::ReadFailure: return {39, "error during read"};
    case Condition::WriteFailure: return {38, "error during write"};
    case Condition::CloseFailure: return {28, "close error"};
    case Condition::RecordTooLong: return {44, "record too long"};
    }
    return {0, "unknown condition"};
}

Condition open_condition(int err, bool existing) {
    if (err == ENOENT && existing) return Condition::FileNotFound;
    if (err == EACCES || err == EPERM) return Condition::PermissionDenied;
    return Condition::OpenFailure;
}

}  // namespace

std::string condition_text(Condition c, int unit, std::string_view file) {
    std::string s = info(c).text;
    s += ", unit " + std::to_string(unit) + ", file ";
    // An empty name (a typed empty line) would leave the report without one.
    s.append(file.empty() ? std::string_view("\"\"") : file);
    return s;
}

std::string excerpt(std::string_view text, std::size_t max) {
    if (text.size() <= max) return std::string(text);
    return std::string(text.substr(0, max)) + "...";
}

std::string printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b == 0x7f) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

int condition_number(Condition c) { return info(c).number; }

void throw_condition(Condition c, int unit, std::string_view file, std::string_view where,
                     std::string_view detail) {
    std::string report = "seqord: severe (" + std::to_string(condition_number(c)) + "): " +
                         condition_text(c, unit, file);
    if (!where.empty()) {
        report += ", ";
        report.append(where);
    }
    if (!detail.empty()) {
        report += " (";
        report.append(detail);
        report += ")";
    }
    throw RunStop(StopKind::Fatal, report);
}

// ------------------------------------------------------------ OutStream ---

OutStream::~OutStream() {
    flush_quietly();
    if (owns_fd_ && fd_ >= 0) ::close(fd_);
}

void OutStream::open_file(int unit, std::string_view name) {
    unit_ = unit;
    name_ = std::string(name);
    console_ = false;
    int fd = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        int err = errno;
        throw_condition(open_condition(err, false), unit, name_, {}, std::strerror(err));
    }
    fd_ = fd;
    owns_fd_ = true;
    reserve();
}

void OutStream::bind(int unit, std::string_view name, int fd, bool console) {
    unit_ = unit;
    name_ = std::string(name);
    fd_ = fd;
    owns_fd_ = false;
    console_ = console;
    started_ = console;  // the console is never cut back
    reserve();
}

void OutStream::reserve() {
    // Room for a full buffer and its last record, and for the longest
    // record the program writes: the run's records are then written
    // without allocating.
    buf_.reserve(console_ ? kRecordRoom : kFlushAt + kRecordRoom);
    record_.reserve(kRecordRoom);
}

void OutStream::ensure_started() {
    if (started_) return;
    started_ = true;
    // The file now holds only what this run writes.  Devices and pipes have
    // nothing to cut back.
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        if (::ftruncate(fd_, 0) != 0) {
            int err = errno;
            throw_condition(Condition::WriteFailure, unit_, name_, {}, std::strerror(err));
        }
        ::lseek(fd_, 0, SEEK_SET);
    }
}

void OutStream::put_record(std::string_view text, bool keep_open) {
    if (fd_ < 0) throw std::logic_error("write to a stream that is not open: " + name_);
    ensure_started();
    buf_.append(text);
    if (!keep_open) buf_.append(console_ ? "\n" : "\r\n");
    line_open_ = keep_open;
    if (console_ || buf_.size() >= kFlushAt) flush();
}

void OutStream::write_all(const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t k = ::write(fd_, p, n);
        if (k < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            buf_.clear();  // what could not be written is dropped: a later flush must not retry it
            throw_condition(Condition::WriteFailure, unit_, name_, {}, std::strerror(err));
        }
        p += k;
        n -= static_cast<std::size_t>(k);
    }
}

void OutStream::flush() {
    if (fd_ < 0 || buf_.empty()) return;
    // The buffer keeps its room for the next records.
    write_all(buf_.data(), buf_.size());
    buf_.clear();
}

bool OutStream::flush_quietly() {
    try {
        flush();
        return true;
    } catch (const RunStop&) {
        return false;
    }
}

void OutStream::close() {
    if (fd_ < 0) return;
    flush();
    if (owns_fd_) {
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            int err = errno;
            throw_condition(Condition::CloseFailure, unit_, name_, {}, std::strerror(err));
        }
    } else {
        fd_ = -1;
    }
}

// ------------------------------------------------------------- InStream ---

InStream::~InStream() {
    if (owns_fd_ && fd_ >= 0) ::close(fd_);
}

void InStream::open_file(int unit, std::string_view name) {
    unit_ = unit;
    name_ = std::string(name);
    int fd = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw_condition(open_condition(err, true), unit, name_, {}, std::strerror(err));
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw_condition(Condition::OpenFailure, unit, name_, {}, std::strerror(EISDIR));
    }
    fd_ = fd;
    owns_fd_ = true;
    reserve();
}

void InStream::bind(int unit, std::string_view name, int fd) {
    unit_ = unit;
    name_ = std::string(name);
    fd_ = fd;
    owns_fd_ = false;
    reserve();
}

void InStream::reserve() {
    // Room for a chunk read behind the unread part of a line, and for a long
    // record: the run's records are then read without allocating.
    buf_.reserve(2 * kReadChunk);
    record_.reserve(kRecordRoom);
}

void InStream::close() {
    if (owns_fd_ && fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool InStream::fill() {
    if (eof_) return false;
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    char chunk[kReadChunk];
    for (;;) {
        ssize_t k = ::read(fd_, chunk, sizeof chunk);
        if (k < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            throw_condition(Condition::ReadFailure, unit_, name_, position(), std::strerror(err));
        }
        if (k == 0) {
            eof_ = true;
            return false;
        }
        buf_.append(chunk, static_cast<std::size_t>(k));
        return true;
    }
}

bool InStream::next_record(std::string& line) {
    if (fd_ < 0) throw std::logic_error("read from a stream that is not open: " + name_);
    // A record is taken only once its line end is in the buffer, and the
    // buffer never holds more of one record than the longest allowed (a CR
    // before the LF aside): reading stops there with a report.
    const auto too_long = [&] {
        throw_condition(Condition::RecordTooLong, unit_, name_, "line " + std::to_string(line_ + 1),
                        "longer than " + std::to_string(kMaxRecordLength) + " characters");
    };
    const auto take = [&](std::size_t end, std::size_t next) {
        if (end > pos_ && buf_[end - 1] == '\r') --end;
        if (end - pos_ > kMaxRecordLength) too_long();
        line.assign(buf_, pos_, end - pos_);
        pos_ = next;
        ++line_;
        return true;
    };
    std::size_t scan = pos_;
    for (;;) {
        const std::size_t nl = buf_.find('\n', scan);
        if (nl != std::string::npos) return take(nl, nl + 1);
        if (buf_.size() - pos_ > kMaxRecordLength + 1) too_long();
        scan = buf_.size() - pos_;  // relative to the compacted buffer
        if (!fill()) {
            if (pos_ < buf_.size()) return take(buf_.size(), buf_.size());  // a last line without its line end
            return false;
        }
    }
}

std::string InStream::position() const {
    return line_ == 0 ? std::string("at the start of the file") : "after line " + std::to_string(line_);
}

void InStream::fail(Condition c, std::string_view where) const {
    throw_condition(c, unit_, name_, where);
}

}  // namespace seqord
