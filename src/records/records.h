// Record layer: every line that seqord reads or writes passes through here.
//
// A record description ("layout") such as "(I6,4X,A8)" is parsed once into a
// Format; values are moved through it onto output streams (records end in
// CR LF on files, LF on the console) or read from input streams (records end
// at LF, a CR before it dropped).  Integers can also be read free-form.
//
// Any condition that stops the run (end of file, a bad number, a file that
// cannot be opened, a failed write) is thrown as a RunStop, which the main
// program catches, so a whole run can be driven in-process.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace seqord {

// ---------------------------------------------------------------- names ---

// An 8-character blank-padded name (year, location, matrix row).
struct Name {
    std::array<char, 8> c{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    static Name of(std::string_view s) {
        Name n;
        for (std::size_t i = 0; i < 8 && i < s.size(); ++i) n.c[i] = s[i];
        return n;
    }
    std::string_view view() const { return {c.data(), c.size()}; }
    bool operator==(const Name&) const = default;
};

// A fixed-length blank-padded text (title, file names, answers).
template <std::size_t N>
struct Text {
    std::array<char, N> c{};
    Text() { c.fill(' '); }
    std::string_view view() const { return {c.data(), N}; }
    // Length without trailing blanks.
    std::size_t trimmed_length() const {
        std::size_t n = N;
        while (n > 0 && c[n - 1] == ' ') --n;
        return n;
    }
    std::string_view trimmed() const { return {c.data(), trimmed_length()}; }
};

// --------------------------------------------------------------- tables ---

// A table carved out of the workspace, indexed from 1 with its first index
// varying fastest: element (i, j) of a table whose first extent is E lies
// (j - 1) * E + (i - 1) elements from its start, and (i, j, k) of a table of
// extents E1 x E2 at ((k - 1) * E2 + (j - 1)) * E1 + (i - 1).
template <class T>
struct Table {
    T* p = nullptr;
    std::int64_t size = 0;  // elements
    std::int64_t e1 = 1;    // first extent
    std::int64_t e2 = 1;    // second extent (three-index tables)

    T& operator[](std::int64_t i) const { check(i - 1); return p[i - 1]; }
    T& operator()(std::int64_t i, std::int64_t j) const {
        std::int64_t off = (j - 1) * e1 + (i - 1);
        check(off);
        return p[off];
    }
    T& operator()(std::int64_t i, std::int64_t j, std::int64_t k) const {
        std::int64_t off = ((k - 1) * e2 + (j - 1)) * e1 + (i - 1);
        check(off);
        return p[off];
    }
    T* at(std::int64_t i, std::int64_t j) const { return &(*this)(i, j); }

private:
    void check(std::int64_t off) const {
        if (off < 0 || off >= size) throw std::out_of_range("table index outside the table");
    }
};

// ------------------------------------------------------------ run stops ---

// Exit statuses of the program.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitFatalIO = 1;   // a fatal condition of the record layer
inline constexpr int kExitRefused = 2;   // input refused by the program's own checks

// The fatal conditions of the record layer.
enum class Condition {
    EndOfFile,
    InputConversion,
    ListSyntax,
    FileNotFound,
    PermissionDenied,
    OpenFailure,
    ReadFailure,
    WriteFailure,
    CloseFailure,
    RecordTooLong,
};

// No record of the system's files is legitimately longer than a few
// kilobytes; a longer one is refused, so that memory stays bounded whatever
// an input holds (a file without line breaks, say).
inline constexpr std::size_t kMaxRecordLength = std::size_t{1} << 20;

// Text quoted from an input in a message: at most `max` characters of it,
// followed by "..." when it is longer.
std::string excerpt(std::string_view text, std::size_t max = 40);
// A message made safe for the console: control characters (a NUL, a line
// break, an escape) written as \xNN, so that no report is cut short or
// rewrites the terminal.
std::string printable(std::string_view text);

// The condition text as reported, e.g. "end-of-file during read, unit 20, file X".
std::string condition_text(Condition c, int unit, std::string_view file);
// The error number reported in front of the condition text.
int condition_number(Condition c);

std::string printable(std::string_view text);

// Thrown to end the run: carries the full report and the exit status.  The
// report is kept printable: a NUL byte quoted from an input would otherwise
// cut it short.
class RunStop : public std::runtime_error {
public:
    RunStop(int status, const std::string& report) : std::runtime_error(printable(report)), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// Builds and throws the report of a record-layer condition; `where` (may be
// empty) says where in the file it was met, `detail` adds the system's reason.
[[noreturn]] void throw_condition(Condition c, int unit, std::string_view file,
                                  std::string_view where = {}, std::string_view detail = {});

// --------------------------------------------------------------- format ---

enum class Item : std::uint8_t { Lit, A, I, F, E, X, T, Slash, Dollar, Open, Close };

struct FormatItem {
    Item kind = Item::Lit;
    int rep = 1;       // repeat count of a data item or group
    int w = 0;         // field width; X: columns; T: column
    int d = 0;         // decimals of F and E
    bool has_w = false;  // A with an explicit width
    std::string_view text;  // literal text (between the quotes)
    char quote = '\'';      // the quote of a literal; doubled inside it stands for one
    int match = -1;         // index of the matching Open/Close
};

class FormatError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// A parsed record description.  Parsing is constexpr: the program's layouts
// are checked and parsed when the program is compiled.
struct Format {
    static constexpr int kMaxItems = 48;
    std::array<FormatItem, kMaxItems> items{};
    int count = 0;
    int reversion = 0;    // where processing resumes when the list outlives the layout
    bool has_data = false;
    std::string_view source;

    constexpr explicit Format(std::string_view s) : source(s) { parse(s); }

private:
    static constexpr bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }
    static constexpr char upper(char ch) { return (ch >= 'a' && ch <= 'z') ? char(ch - 32) : ch; }

    constexpr void push(const FormatItem& it) {
        if (count >= kMaxItems) throw FormatError("record description has too many items");
        items[count++] = it;
    }

    constexpr void parse(std::string_view s) {
        std::size_t p = 0;
        auto skip_blanks = [&] { while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p; };
        auto number = [&](int& out) {
            if (p >= s.size() || !is_digit(s[p])) return false;
            long v = 0;
            while (p < s.size() && is_digit(s[p])) {
                v = v * 10 + (s[p] - '0');
                if (v > 100000) throw FormatError("number too large in record description");
                ++p;
            }
            out = int(v);
            return true;
        };
        skip_blanks();
        if (p >= s.size() || s[p] != '(') throw FormatError("record description must start with '('");
        ++p;
        int stack[16] = {};
        int depth = 0;
        int last_outer_open = -1;
        bool closed = false;
        while (!closed) {
            skip_blanks();
            if (p >= s.size()) throw FormatError("record description is not closed");
            char ch = s[p];
            if (ch == ',') { ++p; continue; }
            if (ch == ')') {
                ++p;
                if (depth == 0) { closed = true; break; }
                int open = stack[--depth];
                FormatItem it;
                it.kind = Item::Close;
                it.match = open;
                items[open].match = count;
                push(it);
                continue;
            }
            if (ch == '\'' || ch == '"') {
                char q = ch;
                std::size_t start = ++p;
                for (;;) {
                    if (p >= s.size()) throw FormatError("literal is not closed");
                    if (s[p] == q) {
                        if (p + 1 < s.size() && s[p + 1] == q) { p += 2; continue; }
                        break;
                    }
                    ++p;
                }
                FormatItem it;
                it.kind = Item::Lit;
                it.text = s.substr(start, p - start);
                it.quote = q;
                ++p;
                push(it);
                continue;
            }
            if (ch == '/') { ++p; FormatItem it; it.kind = Item::Slash; push(it); continue; }
            if (ch == '$') { ++p; FormatItem it; it.kind = Item::Dollar; push(it); continue; }
            int n = 1;
            bool has_n = number(n);
            skip_blanks();
            if (p >= s.size()) throw FormatError("record description is not closed");
            char k = upper(s[p]);
            if (k == '(') {
                ++p;
                if (depth >= 16) throw FormatError("groups nested too deeply");
                if (n < 1) throw FormatError("group repeat count must be positive");
                FormatItem it;
                it.kind = Item::Open;
                it.rep = n;
                if (depth == 0) last_outer_open = count;
                stack[depth++] = count;
                push(it);
                continue;
            }
            ++p;
            FormatItem it;
            switch (k) {
            case 'X':
                it.kind = Item::X;
                it.w = n;
                break;
            case 'T':
                if (has_n) throw FormatError("T takes its column after the letter");
                it.kind = Item::T;
                if (!number(it.w) || it.w < 1) throw FormatError("T needs a column of 1 or more");
                break;
            case 'A':
                it.kind = Item::A;
                it.rep = n;
                it.has_w = number(it.w);
                if (it.has_w && it.w < 1) throw FormatError("A width must be positive");
                has_data = true;
                break;
            case 'I':
                it.kind = Item::I;
                it.rep = n;
                if (!number(it.w)) throw FormatError("I needs a width");
                has_data = true;
                break;
            case 'F':
            case 'E':
                it.kind = (k == 'F') ? Item::F : Item::E;
                it.rep = n;
                if (!number(it.w) || it.w < 1) throw FormatError("F and E need a width");
                if (p >= s.size() || s[p] != '.') throw FormatError("F and E need decimals");
                ++p;
                if (!number(it.d)) throw FormatError("F and E need decimals");
                if (k == 'E' && it.d < 1) throw FormatError("E needs at least one decimal");
                if (it.w > 255 || it.d > 255) throw FormatError("field too wide");
                has_data = true;
                break;
            default:
                throw FormatError("unknown edit item in record description");
            }
            if (it.rep < 1) throw FormatError("repeat count must be positive");
            push(it);
        }
        if (depth != 0) throw FormatError("group is not closed");
        skip_blanks();
        if (p != s.size()) throw FormatError("text after the closing parenthesis");
        reversion = last_outer_open < 0 ? 0 : last_outer_open;
    }
};

// A layout fixed in the program: parsed (and checked) at compile time.
consteval Format layout(std::string_view s) { return Format(s); }

// -------------------------------------------------------------- streams ---

// An output stream bound to a unit: a file (records end in CR LF; an existing
// file is cut back when the first record is written to it) or the console
// (records end in LF; '$' leaves the line open).
class OutStream {
public:
    OutStream() = default;
    OutStream(const OutStream&) = delete;
    OutStream& operator=(const OutStream&) = delete;
    ~OutStream();

    // Opens `name` for writing, creating it when missing, without emptying it.
    void open_file(int unit, std::string_view name);
    // Binds an already open descriptor (the console, or a test's capture).
    void bind(int unit, std::string_view name, int fd, bool console);

    // Ends the run's use of the stream: flushes and closes; failures are fatal.
    void close();
    // Writes out what is buffered; a failure is fatal.
    void flush();
    // Flush that never throws (used while another failure is being reported).
    bool flush_quietly();

    int unit() const { return unit_; }
    const std::string& name() const { return name_; }
    bool is_open() const { return fd_ >= 0; }
    // The descriptor the stream writes to (-1 when it is not open).
    int descriptor() const { return fd_; }
    // Whether the last record was written with '$' and its line is still open.
    bool line_open() const { return line_open_; }

    // Used by the transfer code: appends one finished record.
    void put_record(std::string_view text, bool keep_open);
    // Used by the transfer code: where a record is built before it is put.
    std::string& record_buffer() { return record_; }

private:
    void ensure_started();
    void write_all(const char* p, std::size_t n);
    void reserve();

    int unit_ = 0;
    std::string name_;
    int fd_ = -1;
    bool owns_fd_ = false;
    bool console_ = false;
    bool started_ = false;
    bool line_open_ = false;
    std::string buf_;     // finished records not yet written
    std::string record_;  // the record being built
};

// An input stream bound to a unit; records are lines.
class InStream {
public:
    InStream() = default;
    InStream(const InStream&) = delete;
    InStream& operator=(const InStream&) = delete;
    ~InStream();

    // Opens an existing file for reading.
    void open_file(int unit, std::string_view name);
    void bind(int unit, std::string_view name, int fd);
    void close();

    // Reads the next record into `line`; false at end of file.
    bool next_record(std::string& line);
    // Used by the transfer code: the record being read (kept from one read
    // to the next, so that reading allocates nothing once it has grown).
    std::string& record_buffer() { return record_; }
    // Number of the last record read (1 for the first line of the file).
    long line_number() const { return line_; }
    // Where the stream stands, for reports: "after line N", or "at the start
    // of the file" before its first line.
    std::string position() const;
    int unit() const { return unit_; }
    const std::string& name() const { return name_; }
    bool is_open() const { return fd_ >= 0; }
    // The descriptor the stream reads from (-1 when it is not open).
    int descriptor() const { return fd_; }

    // Throws the report of condition `c` met on this stream.
    [[noreturn]] void fail(Condition c, std::string_view where = {}) const;

private:
    bool fill();
    void reserve();

    int unit_ = 0;
    std::string name_;
    int fd_ = -1;
    bool owns_fd_ = false;
    bool eof_ = false;
    long line_ = 0;
    std::string buf_;
    std::size_t pos_ = 0;
    std::string record_;
};

// ------------------------------------------------------- value lists ---

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

// ------------------------------------------------------------ file set ---

// The six files of a run, bound to their units, and the console.
struct Files {
    static constexpr int kEMA = 20, kNAQ = 21, kSOR = 22, kORS = 23, kPOR = 24, kORP = 25;
    static constexpr int kConsoleIn = 5, kConsoleOut = 6, kConsoleErr = 0;
    InStream ema, naq;
    OutStream sor, ors, por, orp;
    InStream con_in;
    OutStream con, err;  // the console log and the channel for reports and warnings

    // Writes out everything buffered; never throws (used at the end of a run).
    bool flush_all_quietly();
};

// Writes a warning or report line on the report channel (standard error).
void report_line(Files& f, std::string_view text);

// --------------------------------------------------------- transfers ---

// Writes the values through the layout: one or more records.
void write(OutStream& s, const Format& f, std::initializer_list<Out> values = {});

// Reads one or more records through the layout into the variables.
void read(InStream& s, const Format& f, std::initializer_list<In> vars);
// As read(), but end of file at the first record is reported by returning
// false instead of stopping the run.
bool read_or_eof(InStream& s, const Format& f, std::initializer_list<In> vars);

// Free-form (list-directed) read of integers.
void read_list(InStream& s, std::initializer_list<In> vars);

// ------------------------------------------------- field conversions ---
// Exposed for tests and fuzzers; the transfers use them.

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

// Field readers: false when the field is not a valid number.
bool parse_int_field(std::string_view field, std::int32_t& out);
bool parse_real_field(std::string_view field, int d, float& out);

}  // namespace seqord
