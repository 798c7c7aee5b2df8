// Helpers shared by the tests: temporary folders, whole files, and runs of
// the real executable with a piped console.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace seqord::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, const std::string& content);
bool exists(const std::filesystem::path& p);

// An anonymous temporary file: a descriptor to bind a stream to, and what
// the file holds.
class TempFile {
public:
    TempFile();
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    int fd() const;
    // Puts `text` at the start of the file (input to read, or what an earlier
    // run left); the descriptor's position stays at the start.
    void preset(const std::string& text);
    // The whole file.
    std::string contents() const;

private:
    std::FILE* fp_;
};

// The folder of test data shipped with the tests.
std::filesystem::path data_dir();

struct RunResult {
    int status = -1;
    std::string out;  // standard output: the console
    std::string err;  // standard error: reports and warnings
};

// Runs the seqord executable in `dir` with `input` as its console input and
// `args` as its command-line arguments (passed exactly, whatever they hold).
RunResult run_program(const std::filesystem::path& dir, const std::string& input,
                      const std::vector<std::string>& args = {});

// Runs the executable `exe` in `dir` with `args` passed exactly and `input`
// as its standard input (the companion programs' tests use this).
RunResult run_command(const std::filesystem::path& dir, const std::string& exe,
                      const std::vector<std::string>& args, const std::string& input = "");

// Runs a shell command line in `dir` with `input` as its standard input.
RunResult run_shell(const std::filesystem::path& dir, const std::string& command, const std::string& input = "");
// `s` quoted as one word of the shell, whatever characters it holds.
std::string shell_quoted(const std::string& s);

// Runs `exe` in `dir` with `args` and no console input, its standard output
// a pipe whose reader has already gone (every write to it fails); `out` stays
// empty.  The status is -1 when the program was killed by a signal.
RunResult run_into_closed_pipe(const std::filesystem::path& dir, const std::string& exe,
                               const std::vector<std::string>& args);

// Runs a job named JOB in `dir` (answers "y" and "JOB").
RunResult run_job(const std::filesystem::path& dir);

// Runs the seqord-plot executable in `dir` with `args` (a shell command
// line's arguments, quoted as needed) and no console input.
RunResult run_plot(const std::filesystem::path& dir, const std::string& args);

// Text with LF line ends turned into CR LF (the output files' record ends).
std::string crlf(const std::string& lf_text);

// The records of an output file's text.  Each must end in CR LF: a record
// without it, or text after the last line end, is a test failure there (and
// is still returned as a record).
std::vector<std::string> records(const std::string& text);
// The lines of text with LF line ends (the console, the report channel).
std::vector<std::string> lines(const std::string& text);
// Whether `text` holds `part`, or begins with `prefix`.
bool contains(const std::string& text, const std::string& part);
bool starts_with(const std::string& text, const std::string& prefix);
// The bit pattern of a float: not-a-numbers and signed zeros told apart.
std::uint32_t bits(float x);

}  // namespace seqord::test
