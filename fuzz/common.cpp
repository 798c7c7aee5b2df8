// The helpers that more than one fuzz target uses (declared in fuzz.h).
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "fuzz.h"

namespace seqord::fuzz {

MemFile::MemFile(std::string_view content) {
    fd_ = ::memfd_create("seqord-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) {
        char path[] = "/tmp/fzmXXXXXX";
        fd_ = ::mkstemp(path);
        if (fd_ >= 0) ::unlink(path);
    }
    if (fd_ < 0) {
        std::perror("seqord fuzz: no temporary file");
        std::abort();
    }
    put(content);
    rewind();
}

MemFile::~MemFile() { ::close(fd_); }

void MemFile::rewind() const { ::lseek(fd_, 0, SEEK_SET); }

void MemFile::put(std::string_view s) const {
    while (!s.empty()) {
        const ssize_t k = ::write(fd_, s.data(), s.size());
        if (k <= 0) std::abort();
        s.remove_prefix(static_cast<std::size_t>(k));
    }
}

std::string MemFile::contents() const {
    std::string out;
    char buf[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t k = ::pread(fd_, buf, sizeof buf, at);
        if (k <= 0) break;
        out.append(buf, static_cast<std::size_t>(k));
        at += k;
    }
    return out;
}

std::vector<std::string> split_records(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t nl = text.find('\n', at);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        std::size_t cut = end;
        if (cut > at && text[cut - 1] == '\r') --cut;
        lines.emplace_back(text.substr(at, cut - at));
        if (nl == std::string_view::npos) break;
        at = nl + 1;
    }
    return lines;
}

std::string field_of(const std::string& line, std::size_t col0, std::size_t width) {
    std::string f = col0 < line.size() ? line.substr(col0, width) : std::string();
    f.resize(width, ' ');
    return f;
}

int severe_number(const RunStop& stop) {
    const std::string what = stop.what();
    const std::string head = "seqord: severe (";
    if (what.rfind(head, 0) != 0) return -1;
    return std::atoi(what.c_str() + head.size());
}

std::string hex_bits(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(b));
    return buf;
}

double float_gap(float v) {
    const float a = std::fabs(v);
    if (!std::isfinite(a)) return 0.0;
    return static_cast<double>(std::nextafter(a, std::numeric_limits<float>::infinity())) - a;
}

int finish(const char* target, const Result& r) {
    if (!r.verdict.empty()) {
        std::fprintf(stderr, "%s: %s\n", target, r.verdict.c_str());
        std::abort();
    }
    return r.rejected ? -1 : 0;
}

}  // namespace seqord::fuzz
