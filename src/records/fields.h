// Field conversions: numbers to fixed-width text (Iw, Fw.d, Ew.d) and back.
// The transfers use them; tests and fuzzers reach them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace seqord {

// Writes the field text (exactly w characters unless w is 0 for I).
std::string format_int(std::int64_t v, int w);
std::string format_f(float v, int w, int d);
std::string format_e(float v, int w, int d);
// The same form for a double-precision value (the program writes only single
// precision; wider exponents exist only here).
std::string format_e(double v, int w, int d);

// The same conversions into `out`, which has room for the field (and for
// at least 24 characters with I0); they return the field's length.  The
// record writer uses these: nothing is allocated.
std::size_t put_int(char* out, std::int64_t v, int w);
std::size_t put_f(char* out, float v, int w, int d);
std::size_t put_e(char* out, double v, int w, int d);

// Field readers: false when the field is not a valid number.  Blanks are
// ignored wherever they stand and an all-blank field reads as 0.
bool parse_int_field(std::string_view field, std::int32_t& out);
bool parse_real_field(std::string_view field, int d, float& out);

}  // namespace seqord
