#include "process/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace seqord::process {

void guard_start() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open() returns the lowest free descriptor, which is this one.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

int deliver(const std::string& out, const std::string& err, int status) {
    if (!write_all(1, out) && status == 0) status = 1;
    write_all(2, err);
    return status;
}

ParsedArgs parse_args(int argc, const char* const* argv, std::span<const Option> options) {
    ParsedArgs r;
    bool options_done = false;
    for (int i = 1; i < argc && r.problem.empty(); ++i) {
        const std::string_view arg = argv[i];
        if (options_done || arg.size() < 2 || arg[0] != '-') {
            r.operands.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        const Option* option = nullptr;
        std::string_view inline_value;
        bool has_inline = false;
        if (arg[1] == '-') {
            std::string_view name = arg.substr(2);
            if (const auto eq = name.find('='); eq != std::string_view::npos) {
                inline_value = name.substr(eq + 1);
                name = name.substr(0, eq);
                has_inline = true;
            }
            for (const Option& s : options)
                if (s.name == name) option = &s;
        } else if (arg.size() == 2) {
            for (const Option& s : options)
                if (s.letter != 0 && s.letter == arg[1]) option = &s;
        }
        if (option == nullptr) {
            r.problem = "unknown option '" + std::string(arg) + "'";
            break;
        }
        const std::string name(option->name);
        if (r.has(name)) {
            r.problem = "option --" + name + " is given more than once";
            break;
        }
        if (!option->takes_value) {
            if (has_inline) r.problem = "option --" + name + " takes no value";
            r.values[name] = "";
            continue;
        }
        if (has_inline) {
            r.values[name] = std::string(inline_value);
        } else if (i + 1 < argc) {
            r.values[name] = argv[++i];
        } else {
            r.problem = "option --" + name + " needs a value";
        }
    }
    return r;
}

int system_rename(const char* from, const char* to) { return ::rename(from, to); }

StoredFiles::~StoredFiles() { discard(); }

int StoredFiles::create(const std::string& path, std::string& why) {
    Entry e;
    e.path = path;
    e.temp = path + ".XXXXXX";
    e.fd = ::mkstemp(e.temp.data());
    if (e.fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(e.fd, 0666 & ~mask) != 0) {
        why = std::strerror(errno);
        ::close(e.fd);
        ::unlink(e.temp.c_str());
        return -1;
    }
    entries_.push_back(e);
    return e.fd;
}

namespace {

// A fresh name beside `path` for keeping its old file: the name mkstemp
// makes, freed again for link() or rename() to take.
std::string spare_name(const std::string& path) {
    std::string name = path + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return {};
    ::close(fd);
    ::unlink(name.c_str());
    return name;
}

}  // namespace

bool StoredFiles::put_back(Entry& e) {
    if (e.old.empty()) {
        // There was no file: the new one goes.
        if (e.placed && ::unlink(e.path.c_str()) != 0) return false;
        e.placed = false;
        return true;
    }
    if (!e.placed && !e.moved) {
        // Linked and not yet replaced: the original is still in place.
        ::unlink(e.old.c_str());
        e.old.clear();
        return true;
    }
    if (rename_file(e.old.c_str(), e.path.c_str()) != 0) return false;
    e.old.clear();
    e.placed = e.moved = false;
    return true;
}

std::string StoredFiles::commit() {
    left_.clear();
    std::string why;
    for (Entry& e : entries_) {
        if (e.fd >= 0 && ::close(e.fd) != 0 && why.empty()) why = std::strerror(errno);
        e.fd = -1;
    }
    // A folder in the way of one file would stop the renames halfway: found
    // before anything is renamed.
    for (const Entry& e : entries_) {
        struct stat st {};
        if (why.empty() && ::stat(e.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            why = e.path + ": " + std::strerror(EISDIR);
    }
    std::size_t done = 0;
    for (; why.empty() && done < entries_.size(); ++done) {
        Entry& e = entries_[done];
        struct stat st {};
        if (::lstat(e.path.c_str(), &st) == 0) {
            // The old file keeps a second name until the whole set is in
            // place: a hard link, so that the final name never goes missing,
            // or, where links are not to be had, the old file moved aside.
            e.old = spare_name(e.path);
            if (e.old.empty()) {
                why = e.path + ": cannot keep the old file (" + std::strerror(errno) + ")";
                break;
            }
            if (::link(e.path.c_str(), e.old.c_str()) != 0) {
                if (rename_file(e.path.c_str(), e.old.c_str()) != 0) {
                    why = e.path + ": cannot keep the old file (" + std::strerror(errno) + ")";
                    e.old.clear();
                    break;
                }
                e.moved = true;
            }
        }
        if (rename_file(e.temp.c_str(), e.path.c_str()) != 0) {
            why = e.path + ": " + std::strerror(errno);
            break;
        }
        e.placed = true;
        e.temp.clear();
    }
    if (why.empty()) {
        for (Entry& e : entries_)
            if (!e.old.empty()) ::unlink(e.old.c_str());
    } else {
        // Everything back as it was, the latest first.
        const std::size_t touched = std::min(done + 1, entries_.size());
        for (std::size_t i = touched; i-- > 0;) {
            Entry& e = entries_[i];
            if (put_back(e)) continue;
            std::string state = e.path + " is the new file";
            state += e.old.empty() ? " (there was none before)" : "; its old one is kept as " + e.old;
            left_ = left_.empty() ? state : state + "; " + left_;
        }
    }
    discard();
    return why;
}

void StoredFiles::discard() {
    for (Entry& e : entries_) {
        if (e.fd >= 0) ::close(e.fd);
        if (!e.temp.empty()) ::unlink(e.temp.c_str());
    }
    entries_.clear();
}

bool write_all(int fd, std::string_view text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t k = ::write(fd, text.data() + done, text.size() - done);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        done += static_cast<std::size_t>(k);
    }
    return true;
}

std::string store_whole(const std::string& path, const std::string& text) {
    StoredFiles set;
    std::string why;
    const int fd = set.create(path, why);
    if (fd < 0) return why;
    errno = 0;
    if (!write_all(fd, text)) return std::strerror(errno != 0 ? errno : EIO);
    return set.commit();
}

}  // namespace seqord::process
