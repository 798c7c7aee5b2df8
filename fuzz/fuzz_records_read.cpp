// libFuzzer target: Matrix rows and year records read through their layouts from an arbitrary file.
// The logic lives in records_read.cpp, shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return seqord::fuzz::finish("fuzz_records_read", seqord::fuzz::records_read(data, size));
}
