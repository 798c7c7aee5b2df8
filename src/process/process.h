// What every program of the system does the same way around its own work:
// making the process safe to write from before anything is opened, and
// storing result files whole or not at all.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace seqord::process {

// Called first thing in main().  A standard descriptor (0, 1 or 2) that the
// caller left closed is pointed at /dev/null, so that no file the program
// opens can take its number and receive the console's output or reports.
// SIGPIPE and SIGXFSZ are ignored, so that a reader that has gone away or a
// file-size limit makes the write fail with an error the program reports,
// instead of killing it silently.
void guard_start();

// Hands over what a run has to say: `out` to standard output, then `err` to
// standard error.  Returns `status`, or 1 when the run went well but `out`
// could not be written whole: help or a summary that is lost (a full disk,
// a reader that has gone away) is a failed write.
int deliver(const std::string& out, const std::string& err, int status);

// The command-line conventions the companion programs share: long options
// `--name VALUE` or `--name=VALUE`, flags `--name`, one-letter aliases
// (`-h`), `--` ending the options (what follows is an operand even when it
// begins with a dash; a lone `-` is an operand too), operands in order.
struct Option {
    std::string_view name;   // without the dashes: "out"
    char letter = 0;         // alias `-x`, or 0
    bool takes_value = false;
};
struct ParsedArgs {
    std::map<std::string, std::string, std::less<>> values;  // options given, by name ("" for a flag)
    std::vector<std::string> operands;
    std::string problem;  // empty, or what is wrong: an unknown option, a missing value, an option twice
    bool has(std::string_view name) const { return values.find(name) != values.end(); }
};
ParsedArgs parse_args(int argc, const char* const* argv, std::span<const Option> options);

// A set of result files that appear together, each whole, or not at all.
// Each file is written under a fresh temporary name beside its final name;
// commit() renames them all into place.  Temporaries of a set that is not
// committed (an error on the way, an exception) are removed.
class StoredFiles {
public:
    StoredFiles() = default;
    StoredFiles(const StoredFiles&) = delete;
    StoredFiles& operator=(const StoredFiles&) = delete;
    ~StoredFiles();

    // Creates the temporary file for `path` (mode 0666 less the umask, as an
    // ordinary new file) and returns its descriptor, which the set closes;
    // -1 with `why` set when it cannot be created.
    int create(const std::string& path, std::string& why);
    // Closes every file and renames each over its final name.  Empty on
    // success, else the reason; on failure no temporary is left behind (a
    // file already renamed stays in place; a final name that is a folder is
    // found before any file is renamed).
    std::string commit();

private:
    struct Entry {
        std::string path, temp;
        int fd = -1;
    };
    void discard();
    std::vector<Entry> entries_;
};

// Writes all of `text` to the descriptor (retrying after signals); false
// when it cannot.  A program's help or summary that cannot be written is a
// failed write like any other.
bool write_all(int fd, std::string_view text);

// Writes `text` to `path` whole or not at all (a StoredFiles of one file).
// Empty on success, else the reason.
std::string store_whole(const std::string& path, const std::string& text);

}  // namespace seqord::process
