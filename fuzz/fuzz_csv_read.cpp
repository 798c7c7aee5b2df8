// libFuzzer target: a table read by seqord-prep's reader and into genotype means.
// The logic lives in csv_read.cpp, shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return seqord::fuzz::finish("fuzz_csv_read", seqord::fuzz::csv_read(data, size));
}
