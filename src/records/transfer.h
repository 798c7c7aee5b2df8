// Moving value lists through layouts: one write makes one or more records
// of a stream, one read takes one or more records into variables, and a
// free-form read takes integers without a layout.
//
// The lists name their values by kind (an integer, a real, a text, or a run
// of array elements `stride` apart); a value whose kind a data item cannot
// take is a fault of the program, reported at run time.  The program's own
// writes, whose lists have a fixed shape, are also checked against their
// layouts when the program is compiled (`suits`, layout.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "records/layout.h"
#include "records/streams.h"
#include "records/values.h"

namespace seqord {

// One entry of a write's value list: a scalar or a run of array elements
// (taken `count` times, `stride` elements apart).
struct Out {
    enum class T : std::uint8_t { Int, Real, Text, IntRun, RealRun, NameRun, IntSeq };
    T type;
    const void* p = nullptr;
    std::int64_t ival = 0;
    float rval = 0.0f;
    std::size_t count = 1;
    std::ptrdiff_t stride = 1;
    std::string_view text;

    Out(int v) : type(T::Int), ival(v) {}
    Out(std::int64_t v) : type(T::Int), ival(v) {}
    Out(float v) : type(T::Real), rval(v) {}
    Out(std::string_view s) : type(T::Text), text(s) {}
    Out(const char* s) : type(T::Text), text(s) {}
    Out(const Name& n) : type(T::Text), text(n.view()) {}
    template <std::size_t N>
    Out(const Text<N>& t) : type(T::Text), text(t.view()) {}

    static Out reals(const float* p, std::size_t n, std::ptrdiff_t stride = 1) {
        Out o(0.0f); o.type = T::RealRun; o.p = p; o.count = n; o.stride = stride; return o;
    }
    static Out ints(const std::int32_t* p, std::size_t n, std::ptrdiff_t stride = 1) {
        Out o(0); o.type = T::IntRun; o.p = p; o.count = n; o.stride = stride; return o;
    }
    static Out names(const Name* p, std::size_t n, std::ptrdiff_t stride = 1) {
        Out o(0); o.type = T::NameRun; o.p = p; o.count = n; o.stride = stride; return o;
    }
    // The integers first, first + 1, ..., n of them.
    static Out sequence(std::int64_t first, std::size_t n) {
        Out o(first); o.type = T::IntSeq; o.count = n; return o;
    }
};

// One entry of a read's variable list.
struct In {
    enum class T : std::uint8_t { Int, Real, Chars, IntRun, RealRun, NameRun };
    T type;
    void* p;
    std::size_t count = 1;
    std::ptrdiff_t stride = 1;
    std::size_t len = 0;  // Chars: length of the character variable

    In(std::int32_t& v) : type(T::Int), p(&v) {}
    In(float& v) : type(T::Real), p(&v) {}
    In(Name& n) : type(T::Chars), p(n.c.data()), len(8) {}
    template <std::size_t N>
    In(Text<N>& t) : type(T::Chars), p(t.c.data()), len(N) {}
    static In chars(char* p, std::size_t len) { In i(p, T::Chars); i.len = len; return i; }
    static In reals(float* p, std::size_t n, std::ptrdiff_t stride = 1) {
        In i(p, T::RealRun); i.count = n; i.stride = stride; return i;
    }
    static In ints(std::int32_t* p, std::size_t n, std::ptrdiff_t stride = 1) {
        In i(p, T::IntRun); i.count = n; i.stride = stride; return i;
    }

private:
    In(void* p_, T t) : type(t), p(p_) {}
};

// --------------------------------------------------------- transfers ---

// Writes the values through the layout: one or more records.
void write(OutStream& s, const Format& f, std::initializer_list<Out> values = {});

// Reads one or more records through the layout into the variables.
void read(InStream& s, const Format& f, std::initializer_list<In> vars);
// As read(), but end of file at the first record is reported by returning
// false instead of stopping the run.
bool read_or_eof(InStream& s, const Format& f, std::initializer_list<In> vars);

// Free-form (list-directed) read of integers, each read in place: a null
// value or a slash leaves the variables it does not reach as they were.
void read_list(InStream& s, std::initializer_list<In> vars);

}  // namespace seqord
