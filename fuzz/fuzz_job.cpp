// libFuzzer target: A whole run in-process on an arbitrary .EMA/.NAQ pair.
// The logic lives in job.cpp, shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return seqord::fuzz::finish("fuzz_job", seqord::fuzz::job(data, size));
}
