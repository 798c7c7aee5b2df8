// libFuzzer target: the readers of the result files and the checks that
// join them.  The logic lives in results_read.cpp, shared with the
// regression test.
#include <cstddef>
#include <cstdint>

#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return seqord::fuzz::finish("fuzz_results_read", seqord::fuzz::results_read(data, size));
}
