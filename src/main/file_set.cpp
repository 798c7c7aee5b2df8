#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "main/job.h"
#include "output/output.h"

namespace seqord::job {

namespace {

constexpr Format kAnswer = layout("(A)");

constexpr std::array<std::string_view, 6> kPrompts = {
    " Enter name of input file  (*.EMA) - ", " Enter name of input file  (*.NAQ) - ",
    " Enter name of output file (*.SOR) - ", " Enter name of output file (*.ORS) - ",
    " Enter name of output file (*.POR) - ", " Enter name of output file (*.ORP) - ",
};

constexpr std::array<std::string_view, 6> kRoles = {
    "the main input (.EMA)", "the name input (.NAQ)", "the report (.SOR)",
    "the summary (.ORS)",    "the pair file (.POR)",  "the year file (.ORP)",
};

// How the operating system would resolve a name: an existing file by its
// device and inode (so links and other spellings meet), a missing one by its
// absolute, normalised path.
struct Identity {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::filesystem::path path;
};

// A name whose last component is a symbolic link stands for what the link
// points to, as open() follows it, even when that does not exist yet (a
// dangling link is where open() with O_CREAT creates its file).
std::filesystem::path follow_links(std::filesystem::path p) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        char target[4096];
        const ssize_t k = ::readlink(p.c_str(), target, sizeof target);
        if (k <= 0 || static_cast<std::size_t>(k) >= sizeof target) break;
        const std::filesystem::path t(std::string(target, static_cast<std::size_t>(k)));
        p = t.is_absolute() ? t : p.parent_path() / t;
    }
    return p;
}

Identity identify(const std::string& name) {
    Identity id;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
        id.exists = true;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
    }
    std::error_code ec;
    const std::filesystem::path followed = follow_links(std::filesystem::absolute(name, ec));
    std::filesystem::path p = std::filesystem::weakly_canonical(followed, ec);
    if (ec) p = followed.lexically_normal();
    id.path = p;
    return id;
}

[[noreturn]] void refuse_pair(std::size_t a, std::size_t b, const std::string& name_a, const std::string& name_b) {
    std::string both = name_a;
    if (name_b != both) both += "\" and \"" + name_b;
    throw RunStop(StopKind::Refused, "seqord: error: " + std::string(kRoles[a]) + " and " + std::string(kRoles[b]) +
                                    " would be the same file (\"" + both +
                                    "\"); each of the six files needs a name of its own, so nothing was opened");
}

bool same_file(const Identity& a, const Identity& b) {
    if (a.exists && b.exists) return a.dev == b.dev && a.ino == b.ino;
    return a.path == b.path;
}

}  // namespace

FileNames names_from_job(const Text<50>& job) {
    FileNames names;
    const std::size_t l = job.trimmed_length();
    for (std::size_t k = 0; k < 6; ++k) {
        Text<50>& n = names[k];
        n = job;
        for (std::size_t i = l; i < 50; ++i) n.c[i] = ' ';
        for (std::size_t i = 0; i < 4 && l + i < 50; ++i) n.c[l + i] = kExtensions[k][i];
    }
    return names;
}

Text<50> as_typed(std::string_view name) {
    Text<50> t;
    for (std::size_t i = 0; i < name.size() && i < 50; ++i) t.c[i] = name[i];
    return t;
}

FileNames dialogue(Files& f) {
    out::C1_prompt(f.con, " Do you wish default file names (Y or N)? - ");
    char answer = ' ';
    read(f.con_in, kAnswer, {In::chars(&answer, 1)});
    if (answer == 'Y' || answer == 'y') {
        out::C1_line(f.con, " Enter job name (ie. name for files without extension");
        Text<50> job;
        read(f.con_in, kAnswer, {job});
        return names_from_job(job);
    }
    FileNames names;
    for (std::size_t k = 0; k < 6; ++k) {
        out::C1_prompt(f.con, kPrompts[k]);
        read(f.con_in, kAnswer, {names[k]});
    }
    return names;
}

std::string open_name(const Text<50>& name) {
    std::string_view s = name.trimmed();
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return std::string(s);
}

void check_distinct(const FileNames& names) {
    // A typed name may hold a NUL byte, which no file name can: the file
    // opened would be the one named by what stands before it.
    for (std::size_t k = 0; k < 6; ++k)
        if (open_name(names[k]).find('\0') != std::string::npos)
            throw RunStop(StopKind::Refused, "seqord: error: the name given for " + std::string(kRoles[k]) + " (\"" +
                                            open_name(names[k]) +
                                            "\") holds a NUL byte, which no file name can hold; nothing was opened");
    std::array<Identity, 6> ids;
    for (std::size_t k = 0; k < 6; ++k) ids[k] = identify(open_name(names[k]));
    for (std::size_t a = 0; a < 6; ++a) {
        if (open_name(names[a]).empty()) continue;  // fails on opening, with its own report
        for (std::size_t b = a + 1; b < 6; ++b) {
            if (open_name(names[b]).empty() || !same_file(ids[a], ids[b])) continue;
            refuse_pair(a, b, open_name(names[a]), open_name(names[b]));
        }
    }
}

void open_files(Files& f, const FileNames& names) {
    f.ema.open_file(kEMA, open_name(names[0]));
    f.naq.open_file(kNAQ, open_name(names[1]));
    f.sor.open_file(kSOR, open_name(names[2]));
    f.ors.open_file(kORS, open_name(names[3]));
    f.por.open_file(kPOR, open_name(names[4]));
    f.orp.open_file(kORP, open_name(names[5]));
    // The last line of defence, before any record is written: whatever the
    // names looked like, no two of the six opened files may be one file.
    const int fds[6] = {f.ema.descriptor(), f.naq.descriptor(), f.sor.descriptor(),
                        f.ors.descriptor(), f.por.descriptor(), f.orp.descriptor()};
    struct stat st[6] {};
    for (std::size_t k = 0; k < 6; ++k)
        if (::fstat(fds[k], &st[k]) != 0) return;  // nothing to compare; the writes report what goes wrong
    for (std::size_t a = 0; a < 6; ++a)
        for (std::size_t b = a + 1; b < 6; ++b)
            if (st[a].st_dev == st[b].st_dev && st[a].st_ino == st[b].st_ino)
                refuse_pair(a, b, open_name(names[a]), open_name(names[b]));
}

}  // namespace seqord::job
