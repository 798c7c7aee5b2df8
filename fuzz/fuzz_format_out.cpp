// libFuzzer target: Every output layout, and the field conversions, on arbitrary values.
// The logic lives in format_out.cpp, shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return seqord::fuzz::finish("fuzz_format_out", seqord::fuzz::format_out(data, size));
}
