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

// The rename that stored file sets use (::rename).  Tests put another in
// its place to make a rename fail as a busy or failing file system would.
using RenameFunction = int (*)(const char* from, const char* to);
int system_rename(const char* from, const char* to);
inline RenameFunction rename_file = &system_rename;

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
    // success, else the reason.  All or nothing: an existing file is kept
    // under a second name until every rename has succeeded, and when one
    // fails the files already renamed are put back as they were (a new one
    // removed, an old one restored); a final name that is a folder is found
    // before any file is renamed.  No temporary is left behind.  If even
    // putting back fails, left() says what stands under each name.
    std::string commit();
    // After a failed commit: empty when every file is as it was before, else
    // what is left, file by file ("JOB.EMA is the new file; its old one is
    // kept as JOB.EMA.x1Y2z3").
    const std::string& left() const { return left_; }

private:
    struct Entry {
        std::string path, temp;
        std::string old;     // where the file that stood at `path` is kept meanwhile
        bool moved = false;  // the old file was renamed to `old` (not linked)
        bool placed = false;
        int fd = -1;
    };
    void discard();
    // Puts entry `e` back as it was before the commit; false when it cannot.
    bool put_back(Entry& e);
    std::vector<Entry> entries_;
    std::string left_;
};

// Writes all of `text` to the descriptor (retrying after signals); false
// when it cannot.  A program's help or summary that cannot be written is a
// failed write like any other.
bool write_all(int fd, std::string_view text);

// Writes `text` to `path` whole or not at all (a StoredFiles of one file).
// Empty on success, else the reason.
std::string store_whole(const std::string& path, const std::string& text);

}  // namespace seqord::process
