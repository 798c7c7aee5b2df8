#include "process/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

std::string StoredFiles::commit() {
    std::string why;
    for (Entry& e : entries_) {
        if (e.fd >= 0 && ::close(e.fd) != 0 && why.empty()) why = std::strerror(errno);
        e.fd = -1;
    }
    for (Entry& e : entries_) {
        if (!why.empty()) break;
        if (::rename(e.temp.c_str(), e.path.c_str()) != 0) {
            why = std::strerror(errno);
            break;
        }
        e.temp.clear();
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

std::string store_whole(const std::string& path, const std::string& text) {
    StoredFiles set;
    std::string why;
    const int fd = set.create(path, why);
    if (fd < 0) return why;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t k = ::write(fd, text.data() + done, text.size() - done);
        if (k < 0) {
            if (errno == EINTR) continue;
            return std::strerror(errno);
        }
        done += static_cast<std::size_t>(k);
    }
    return set.commit();
}

}  // namespace seqord::process
