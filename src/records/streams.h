// Streams bound to unit numbers (files and the console), one record at a
// time, and the ways a run can stop.
//
// Output records end in CR LF on files and in LF on the console; an existing
// output file is cut back when its first record is written.  Input records
// end at LF, a CR before it dropped, and are at most kMaxRecordLength long.
//
// Any condition that stops the run (end of file, a bad number, a file that
// cannot be opened, a failed write), and any refusal of the program's own
// checks, is thrown as a RunStop, which the main program catches and turns
// into its report and exit status; so a whole run can be driven in-process.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace seqord {

// ------------------------------------------------------------ run stops ---

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

// How a run stopped before its normal end: at a fatal condition of the
// record layer, or refused by one of the program's own checks (values the
// tables cannot hold, names that would destroy a file).
enum class StopKind { Fatal, Refused };

// Thrown to end the run: carries the full report and how the run stopped.
// The report is kept printable: a NUL byte quoted from an input would
// otherwise cut it short.
class RunStop : public std::runtime_error {
public:
    RunStop(StopKind kind, const std::string& report) : std::runtime_error(printable(report)), kind_(kind) {}
    StopKind kind() const { return kind_; }

private:
    StopKind kind_;
};

// Builds and throws the report of a record-layer condition; `where` (may be
// empty) says where in the file it was met, `detail` adds the system's reason.
[[noreturn]] void throw_condition(Condition c, int unit, std::string_view file,
                                  std::string_view where = {}, std::string_view detail = {});

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

// Writes a warning or report line, made printable, on a report channel
// (standard error).
void report_line(OutStream& err, std::string_view text);

}  // namespace seqord
