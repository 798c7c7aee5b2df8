// JSON text, for the data the companion programs put inside the pages they
// write.  Strings are escaped so that the text may stand as it is inside an
// HTML <script> element: besides what JSON requires, '<', '>' and '&' are
// written as \u003c, \u003e and \u0026, and U+2028 and U+2029 as escapes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace seqord::json {

// `text` as a JSON string, with its quotes.  Bytes that are not well-formed
// UTF-8 are taken as Latin-1 (the likeliest encoding of an older data
// file); other control characters than tab, line feed and carriage return
// become U+FFFD.
std::string quoted(std::string_view text);

// A number with `decimals` decimals in fixed notation (never "-0"); the
// shortest text that reads back to the same double when `decimals` < 0.
// Not-a-number and infinities, which JSON cannot hold, are written null.
std::string number(double v, int decimals = -1);

// Builds one JSON text value by value; commas and colons are put in by the
// writer.  Misuse (a key outside an object, an unclosed container at
// text()) is a logic error of the caller and throws std::logic_error.
class Writer {
public:
    Writer& begin_object();
    Writer& end_object();
    Writer& begin_array();
    Writer& end_array();
    Writer& key(std::string_view name);  // the next value's key, inside an object
    Writer& string(std::string_view text);
    Writer& integer(std::int64_t v);
    Writer& real(double v, int decimals = -1);
    Writer& boolean(bool v);
    Writer& null();

    // The finished text; every container must be closed.
    const std::string& text() const;

private:
    void before_value();
    std::string out_;
    std::vector<char> open_;  // '{' or '[' for each open container
    bool first_ = true;       // no value yet in the innermost container
    bool keyed_ = false;      // a key waits for its value
};

}  // namespace seqord::json
