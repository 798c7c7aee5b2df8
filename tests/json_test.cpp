// records/json: the JSON text of the pages, strings safe inside an HTML
// script element.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <stdexcept>

#include "records/json.h"

namespace seqord::test {
namespace {

TEST(Json, StringsAreEscapedForJsonAndForTheScriptElement) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"Grand Rapids", "\"Grand Rapids\""},
        {"a \"b\" \\c", "\"a \\\"b\\\" \\\\c\""},
        {"</script><!--", "\"\\u003c/script\\u003e\\u003c!--\""},
        {"A & B", "\"A \\u0026 B\""},
        {"tab\tline\ncr\r", "\"tab\\tline\\ncr\\r\""},
        {std::string("nul\0x", 5), "\"nul\\ufffdx\""},
        {"bell\x07 del\x7f", "\"bell\\ufffd del\\ufffd\""},
        {"Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x8C\xBE", "\"Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x8C\xBE\""},  // UTF-8 stays
        {"Z\xFCrich", "\"Z\xC3\xBCrich\""},                              // Latin-1 becomes UTF-8
        {"\xC0\xAF", "\"\xC3\x80\xC2\xAF\""},                            // an overlong form is not UTF-8
        {"\xED\xA0\x80", "\"\xC3\xAD\xC2\xA0\\ufffd\""},                // nor a surrogate (0x80: a C1 control)
        {"end \xE2\x82", "\"end \xC3\xA2\\ufffd\""},                     // a cut sequence
        {"\x85", "\"\\ufffd\""},                                         // C1 control of Latin-1
        {"a\xE2\x80\xA8" "b\xE2\x80\xA9", "\"a\\u2028b\\u2029\""},       // separators end a script line
        {"", "\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(json::quoted(c.in), c.out) << c.in;
}

TEST(Json, NumbersFixedOrShortestNeverMinusZeroNorNonFinite) {
    const struct {
        double v;
        int decimals;
        const char* out;
    } cases[] = {
        {0.5, -1, "0.5"},       {0.1, -1, "0.1"},          {-0.811, -1, "-0.811"}, {1e-7, -1, "1e-07"},
        {0.80004, 4, "0.8000"}, {-0.00004, 4, "0.0000"},   {-0.0, -1, "0"},        {-0.0, 2, "0.00"},
        {12.5, 0, "12"},        {-1.23456, 3, "-1.235"},   {std::nan(""), -1, "null"},
        {std::numeric_limits<double>::infinity(), 3, "null"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::number(c.v, c.decimals), c.out) << c.v << " " << c.decimals;

    // The shortest form reads back to the same double.
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    for (int i = 0; i < 2000; ++i) {
        const double v = u(rng) * std::pow(10.0, double(int(rng() % 13) - 6));
        const std::string s = json::number(v);
        double back = 0;
        std::from_chars(s.data(), s.data() + s.size(), back);
        ASSERT_EQ(back, v) << s;
    }
}

TEST(Json, WriterPutsCommasAndKeysAndRefusesMisuse) {
    json::Writer w;
    w.begin_object().key("a").integer(-3).key("b").begin_array().real(0.25).null().boolean(true).begin_array().end_array();
    w.begin_object().end_object().end_array().key("c").string("x").end_object();
    EXPECT_EQ(w.text(), "{\"a\":-3,\"b\":[0.25,null,true,[],{}],\"c\":\"x\"}");

    const std::function<void(json::Writer&)> misuse[] = {
        [](json::Writer& v) { v.begin_array().key("k"); },                // a key in an array
        [](json::Writer& v) { v.begin_object().integer(1); },             // a value without its key
        [](json::Writer& v) { v.begin_object().key("k").key("l"); },      // two keys
        [](json::Writer& v) { v.begin_object().key("k").end_object(); },  // a key without its value
        [](json::Writer& v) { v.begin_object().end_array(); },            // the wrong closing
        [](json::Writer& v) { v.end_object(); },                          // nothing to close
        [](json::Writer& v) { v.integer(1).integer(2); },                 // two values at the top
        [](json::Writer& v) { (void)v.begin_array().text(); },            // an open container
        [](json::Writer& v) { (void)v.text(); },                          // no value at all
    };
    for (std::size_t i = 0; i < std::size(misuse); ++i) {
        json::Writer v;
        EXPECT_THROW(misuse[i](v), std::logic_error) << "case " << i;
    }
}

}  // namespace
}  // namespace seqord::test
