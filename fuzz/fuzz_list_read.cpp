// libFuzzer target: Free-form integer reads of varying variable lists from an arbitrary file.
// The logic lives in list_read.cpp, shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return seqord::fuzz::finish("fuzz_list_read", seqord::fuzz::list_read(data, size));
}
