// libFuzzer target: Every output layout, and the field conversions, on arbitrary values.
// The logic lives in targets.h, shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return seqord::fuzz::finish("fuzz_format_out", seqord::fuzz::format_out(data, size));
}
