#include "support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace seqord::test {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto p = std::filesystem::temp_directory_path() / ("seqord-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::filesystem::path& p, const std::string& content) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + p.string());
    out << content;
}

bool exists(const std::filesystem::path& p) { return std::filesystem::exists(p); }

TempFile::TempFile() : fp_(std::tmpfile()) {
    if (fp_ == nullptr) throw std::runtime_error("cannot create a temporary file");
}

TempFile::~TempFile() { std::fclose(fp_); }

int TempFile::fd() const { return fileno(fp_); }

void TempFile::preset(const std::string& text) {
    if (::pwrite(fd(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot preset a temporary file");
}

std::string TempFile::contents() const {
    std::string out;
    char buf[4096];
    off_t at = 0;
    ssize_t k;
    while ((k = ::pread(fd(), buf, sizeof buf, at)) > 0) {
        out.append(buf, static_cast<std::size_t>(k));
        at += k;
    }
    return out;
}

std::filesystem::path data_dir() { return SEQORD_TEST_DATA; }

namespace {

// Appends `s` as one word of the shell, whatever characters it holds.
void append_quoted(std::string& cmd, const std::string& s) {
    cmd.push_back('\'');
    for (char c : s) {
        if (c == '\'') cmd.append("'\\''");
        else cmd.push_back(c);
    }
    cmd.push_back('\'');
}

}  // namespace

std::string shell_quoted(const std::string& s) {
    std::string q;
    append_quoted(q, s);
    return q;
}

// Runs `command` through the shell in `dir`, its standard input read from a
// file holding `input`, and collects its status and both output streams.
RunResult run_shell(const std::filesystem::path& dir, const std::string& command, const std::string& input) {
    TempDir io;
    write_file(io / "stdin", input);
    std::string cmd = "cd ";
    append_quoted(cmd, dir.string());
    cmd.append(" && ").append(command).append(" < ");
    append_quoted(cmd, (io / "stdin").string());
    cmd.append(" > ");
    append_quoted(cmd, (io / "stdout").string());
    cmd.append(" 2> ");
    append_quoted(cmd, (io / "stderr").string());
    int rc = std::system(cmd.c_str());
    RunResult r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = read_file(io / "stdout");
    r.err = read_file(io / "stderr");
    return r;
}

RunResult run_into_closed_pipe(const std::filesystem::path& dir, const std::string& exe,
                               const std::vector<std::string>& args) {
    TempDir io;
    const std::string err_path = (io / "stderr").string();
    int p[2];
    if (::pipe(p) != 0) throw std::runtime_error("cannot make a pipe");
    ::close(p[0]);
    std::vector<std::string> words = {exe};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (err < 0 || in < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(p[1], 1);
        ::dup2(err, 2);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(p[1]);
    int rc = 0;
    if (pid < 0 || ::waitpid(pid, &rc, 0) != pid) throw std::runtime_error("cannot run " + exe);
    RunResult r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.err = read_file(err_path);
    return r;
}

RunResult run_command(const std::filesystem::path& dir, const std::string& exe,
                      const std::vector<std::string>& args, const std::string& input) {
    std::string command;
    append_quoted(command, exe);
    for (const std::string& a : args) {
        command.push_back(' ');
        append_quoted(command, a);
    }
    return run_shell(dir, command, input);
}

RunResult run_program(const std::filesystem::path& dir, const std::string& input,
                      const std::vector<std::string>& args) {
    return run_command(dir, SEQORD_EXE, args, input);
}

RunResult run_plot(const std::filesystem::path& dir, const std::string& args) {
    std::string command;
    append_quoted(command, SEQORD_PLOT_EXE);
    command.append(" ").append(args);
    return run_shell(dir, command, "");
}

RunResult run_job(const std::filesystem::path& dir) { return run_program(dir, "y\nJOB\n"); }

std::string crlf(const std::string& lf_text) {
    std::string s;
    for (char c : lf_text) {
        if (c == '\n') s += "\r\n";
        else s.push_back(c);
    }
    return s;
}

std::vector<std::string> records(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            ADD_FAILURE() << "text after the last line end: " << text.substr(pos);
            out.push_back(text.substr(pos));
            break;
        }
        const bool cr = nl > pos && text[nl - 1] == '\r';
        EXPECT_TRUE(cr) << "record without CR LF: " << text.substr(pos, nl - pos);
        out.push_back(text.substr(pos, (cr ? nl - 1 : nl) - pos));
        pos = nl + 1;
    }
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        if (lf == std::string::npos) lf = text.size();
        out.push_back(text.substr(pos, lf - pos));
        pos = lf + 1;
    }
    return out;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool starts_with(const std::string& text, const std::string& prefix) { return text.starts_with(prefix); }

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

}  // namespace seqord::test
