// fuzz_job: a whole run in-process on an arbitrary .EMA/.NAQ pair, with
// checks of its exit status, of its report channel and of the records of
// the four files it writes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz.h"
#include "main/job.h"

namespace seqord::fuzz {

namespace {

// The folder of the run's six files, made once per process under /tmp with a
// short name, since each of the six names may be at most 50 characters; it
// is removed at exit.
class JobDir {
public:
    static const JobDir& get() {
        static const JobDir dir;
        return dir;
    }
    std::string file(const char* ext) const { return path_ + "/J" + ext; }
    ~JobDir() {
        for (const auto& ext : job::kExtensions) ::unlink(file(ext.data()).c_str());
        ::rmdir(path_.c_str());
    }
    JobDir(const JobDir&) = delete;
    JobDir& operator=(const JobDir&) = delete;

private:
    JobDir() {
        char templ[] = "/tmp/fzXXXXXX";
        if (::mkdtemp(templ) == nullptr) {
            std::perror("seqord fuzz: mkdtemp");
            std::abort();
        }
        path_ = templ;
    }
    std::string path_;
};

void write_whole(const std::string& path, std::string_view content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    while (!content.empty()) {
        const ssize_t k = ::write(fd, content.data(), content.size());
        if (k <= 0) std::abort();
        content.remove_prefix(static_cast<std::size_t>(k));
    }
    ::close(fd);
}

bool read_whole(const std::string& path, std::string& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[8192];
    ssize_t k;
    while ((k = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(k));
    ::close(fd);
    return true;
}

// Largest MAXL the target runs: the decomposition is cubic in the number of
// locations, and a few hundred locations would make single inputs take
// seconds under the sanitizers without reaching any code a smaller matrix
// does not.
constexpr std::int32_t kJobMaxLocations = 60;

}  // namespace

std::string job_file(std::string_view ext) { return JobDir::get().file(std::string(ext).c_str()); }

// One whole run on the two files: the console answers "n" and then gives the
// six names, the console log goes to a file that is checked and dropped.
Result job(const std::uint8_t* data, std::size_t size) {
    Result r;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = all.find(kJobSeparator);
    const std::string_view ema = cut == std::string_view::npos ? all : all.substr(0, cut);
    const std::string_view naq =
        cut == std::string_view::npos ? std::string_view() : all.substr(cut + kJobSeparator.size());

    // The run header, read as the program reads it, decides whether to run.
    try {
        MemFile head(ema);
        InStream s;
        s.bind(20, "header", head.fd());
        std::int32_t h[5] = {0, 0, 0, 0, 0};
        read_list(s, {h[0], h[1], h[2], h[3], h[4]});
        if (h[1] > kJobMaxLocations) {
            r.rejected = true;
            return r;
        }
    } catch (const RunStop&) {
        // The run will stop at the same place: cheap, so run it.
    }

    const JobDir& dir = JobDir::get();
    for (const auto& ext : job::kExtensions) ::unlink(dir.file(ext.data()).c_str());
    write_whole(dir.file(".EMA"), ema);
    write_whole(dir.file(".NAQ"), naq);
    std::string answers = "n\n";
    for (const auto& ext : job::kExtensions) answers += dir.file(ext.data()) + "\n";
    MemFile console_in(answers), console_out, console_err;
    r.status = job::run(console_in.fd(), console_out.fd(), console_err.fd());

    if (r.status < 0 || r.status > 2) r.fail("exit status " + std::to_string(r.status));
    if (r.status != 0) ++r.stops;
    const std::string err = console_err.contents();
    // The report channel carries warnings and at most one report, last.
    const std::vector<std::string> lines = split_records(err);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        const bool warning = l.rfind("seqord: warning: ", 0) == 0;
        const bool last = i + 1 == lines.size();
        const bool severe = l.rfind("seqord: severe (", 0) == 0, refused = l.rfind("seqord: error: ", 0) == 0;
        if (warning) continue;
        if (last && ((r.status == 1 && severe) || (r.status == 2 && refused))) continue;
        r.fail("unexpected report line for exit status " + std::to_string(r.status) + ": " + l);
    }
    if (r.status != 0 && (lines.empty() || lines.back().rfind("seqord: warning: ", 0) == 0))
        r.fail("exit status " + std::to_string(r.status) + " without its report");
    if (!err.empty() && err.back() != '\n') r.fail("the report channel does not end its last line");

    // Every record of the four output files ends in CR LF; the two plotting
    // files receive records only in the last step of a run that ends normally.
    for (const char* ext : {".SOR", ".ORS", ".POR", ".ORP"}) {
        std::string text;
        if (!read_whole(dir.file(ext), text)) {
            if (r.status == 0) r.fail(std::string(ext) + " was not created by a normal run");
            continue;
        }
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
                r.fail(std::string(ext) + ": a record ends in a bare line feed");
                break;
            }
        if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0))
            r.fail(std::string(ext) + ": the last record does not end in CR LF");
        const bool plotting = ext[1] == 'P';
        if (plotting && r.status != 0 && !text.empty()) r.fail(std::string(ext) + " has records after a stopped run");
    }
    return r;
}

}  // namespace seqord::fuzz
