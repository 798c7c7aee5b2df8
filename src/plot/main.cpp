// seqord-plot JOB: draws JOB.ORP and JOB.POR as the page JOB.svg.
#include <unistd.h>

#include <string>

#include "plot/plot.h"

namespace {

void put(int fd, const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        ssize_t k = ::write(fd, s.data() + done, s.size() - done);
        if (k <= 0) return;
        done += static_cast<std::size_t>(k);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, err;
    const int status = seqord::plot::run(argc, argv, out, err);
    put(1, out);
    put(2, err);
    return status;
}
