// Whole-run benchmark: the tool in its three modes against two peers, on the
// same generated corpora, in the same run.
//
//   bench_whole_run <tool> [--dir D] [--runs N] [--small N] [--large N] [--large-mib N]
//
// Peers:
//  - "two launches": the design that hands the record line and the rename to
//    a shell, two launches per file, and rewrites a wrapped file through one
//    whole-file buffer;
//  - "new-file copy": one process, each payload copied in the kernel to a new
//    file, then the original removed (no record, no flush).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kHeader("ZOATEX1\0\0\0\0\0", 12);

struct Measure {
    double seconds = 0;
    double maxRssMiB = 0;
};

[[noreturn]] void die(const std::string& why) {
    std::cerr << "bench: " << why << "\n";
    std::exit(1);
}

Measure waitFor(pid_t pid, Clock::time_point start) {
    int status = 0;
    rusage ru {};
    if (::wait4(pid, &status, 0, &ru) < 0) die("wait4 failed");
    Measure m;
    m.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    m.maxRssMiB = static_cast<double>(ru.ru_maxrss) / 1024.0;
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0)) die("a measured run failed, status " + std::to_string(status));
    return m;
}

// A forked child runs `body`, so each run has its own peak memory figure.
Measure inChild(const std::function<void()>& body) {
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        std::_Exit(0);
    }
    return waitFor(pid, start);
}

Measure runTool(const std::string& exe, const std::vector<std::string>& args, const fs::path& cwd,
                const std::string& input) {
    const fs::path in = cwd / ".bench-input";
    std::ofstream(in, std::ios::binary) << input;
    std::vector<std::string> store = {exe};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : store) argv.push_back(s.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fi = ::open(in.c_str(), O_RDONLY);
        const int fo = ::open("/dev/null", O_WRONLY);
        if (fi < 0 || fo < 0 || ::chdir(cwd.c_str()) != 0) std::_Exit(126);
        ::dup2(fi, 0);
        ::dup2(fo, 1);
        ::execv(exe.c_str(), argv.data());
        std::_Exit(127);
    }
    const Measure m = waitFor(pid, start);
    fs::remove(in);
    return m;
}

// Every payload is one 1 MiB block repeated, so the benchmark itself stays
// small: a child forked from it starts with little memory of its own.
struct Corpus {
    fs::path dir;
    std::size_t count = 0;
    std::size_t payloadSize = 0;
    std::string block;
    std::vector<std::string> names;

    std::uint64_t payloadBytes() const { return static_cast<std::uint64_t>(count) * payloadSize; }

    void lay() const {
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const auto& n : names) {
            std::ofstream f(dir / n, std::ios::binary);
            f.write(kHeader.data(), static_cast<std::streamsize>(kHeader.size()));
            for (std::size_t at = 0; at < payloadSize; at += block.size()) {
                const std::size_t len = std::min(block.size(), payloadSize - at);
                f.write(block.data(), static_cast<std::streamsize>(len));
            }
            if (!f) die("cannot lay the corpus in " + dir.string());
        }
        ::sync();  // start every measured run from clean pages
    }

    bool sameAs(const fs::path& p, const std::string& prefix) const {
        std::ifstream f(p, std::ios::binary);
        if (!f) return false;
        std::string buf(prefix.size(), '\0');
        if (!f.read(buf.data(), static_cast<std::streamsize>(buf.size())) || buf != prefix) return false;
        std::string chunk(block.size(), '\0');
        for (std::size_t at = 0; at < payloadSize; at += block.size()) {
            const std::size_t len = std::min(block.size(), payloadSize - at);
            if (!f.read(chunk.data(), static_cast<std::streamsize>(len))) return false;
            if (std::memcmp(chunk.data(), block.data(), len) != 0) return false;
        }
        return f.peek() == EOF;
    }

    // Every file converted (or, with `upTo`, the first ones).
    void expectConverted(const char* who, std::size_t upTo = SIZE_MAX) const {
        for (std::size_t i = 0; i < std::min(upTo, count); ++i) {
            if (!sameAs(dir / (names[i] + ".png"), "") || fs::exists(dir / names[i]))
                die(std::string(who) + " did not convert " + names[i]);
        }
    }
    void expectOriginal(const char* who) const {
        for (const auto& n : names)
            if (!sameAs(dir / n, kHeader) || fs::exists(dir / (n + ".png"))) die(std::string(who) + " did not restore " + n);
    }
};

Corpus makeCorpus(const fs::path& dir, std::size_t count, std::size_t fileSize) {
    Corpus c;
    c.dir = dir;
    c.count = count;
    c.payloadSize = fileSize - kHeader.size();
    c.block.resize(std::min<std::size_t>(c.payloadSize, 1 << 20));
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (char& ch : c.block) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        ch = static_cast<char>(x);
    }
    std::memcpy(c.block.data(), "\x89PNG", 4);
    for (std::size_t i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "tex%05zu.txr", i);
        c.names.push_back(name);
    }
    return c;
}

// What the two-launch design does for one file, faithfully: buffer, rewrite,
// then a shell for the record line and one for the rename.
void twoLaunches(const Corpus& c, std::size_t files) {
    for (std::size_t i = 0; i < files; ++i) {
        const std::string path = (c.dir / c.names[i]).string();
        std::vector<char> content;
        {
            std::ifstream in(path, std::ios::binary | std::ios::ate);
            content.resize(static_cast<std::size_t>(in.tellg()));
            in.seekg(0);
            in.read(content.data(), static_cast<std::streamsize>(content.size()));
        }
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(content.data() + 12, static_cast<std::streamsize>(content.size() - 12));
        }
        content = {};
        const std::string record = "echo 'ZTX " + path + ".png' >> '" + (c.dir / "record.txt").string() + "'";
        const std::string rename = "mv -n '" + path + "' '" + path + ".png'";
        for (const std::string& cmd : {record, rename}) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
                std::_Exit(127);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
}

// One process, no record, no flush: the payload copied in the kernel to a
// new file, then the original removed.
void newFileCopy(const Corpus& c) {
    for (const auto& n : c.names) {
        const std::string from = (c.dir / n).string(), to = from + ".png";
        const int in = ::open(from.c_str(), O_RDONLY);
        const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (in < 0 || out < 0) std::_Exit(1);
        loff_t at = 12;
        while (::copy_file_range(in, &at, out, nullptr, 1 << 30, 0) > 0) {
        }
        ::close(in);
        if (::close(out) != 0 || ::unlink(from.c_str()) != 0) std::_Exit(1);
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Row {
    explicit Row(std::string w) : what(std::move(w)) {}
    std::string what;
    std::vector<double> seconds, rss;
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    double filesPerSecond() const { return static_cast<double>(files) / median(seconds); }
    double mbPerSecond() const { return static_cast<double>(bytes) / 1e6 / median(seconds); }
    void add(const Measure& m) {
        seconds.push_back(m.seconds);
        rss.push_back(m.maxRssMiB);
    }
};

void print(const Row& r) {
    std::printf("  %-34s %10.0f files/s %9.0f MB/s %8.1f MiB peak\n", r.what.c_str(), r.filesPerSecond(),
                r.mbPerSecond(), *std::max_element(r.rss.begin(), r.rss.end()));
}

void scenario(const std::string& tool, const fs::path& base, const char* label, std::size_t count,
              std::size_t fileSize, std::size_t emulated, int runs) {
    const Corpus c = makeCorpus(base / label, count, fileSize);
    const std::string exe = (c.dir / "vrnhTXRextractor13").string();
    Row cmd("tool, command line"), batch("tool, folder batch"), undo("tool, undo"),
        peerShell("peer: two launches per file"), peerCopy("peer: one-process new-file copy");
    for (Row* r : {&cmd, &batch, &undo, &peerCopy}) r->files = count, r->bytes = c.payloadBytes();
    peerShell.files = emulated;
    peerShell.bytes = static_cast<std::uint64_t>(emulated) * c.payloadSize;

    for (int run = 0; run < runs; ++run) {
        c.lay();
        fs::copy_file(tool, exe);
        cmd.add(runTool(exe, c.names, c.dir, ""));
        c.expectConverted("the command line");
        ::sync();
        undo.add(runTool(exe, {}, c.dir, "2"));
        c.expectOriginal("the undo");
        ::sync();
        batch.add(runTool(exe, {}, c.dir, "1"));
        c.expectConverted("the batch");

        c.lay();
        peerCopy.add(inChild([&] { newFileCopy(c); }));
        c.expectConverted("the new-file copy");

        c.lay();
        peerShell.add(inChild([&] { twoLaunches(c, emulated); }));
        c.expectConverted("the two-launch emulation", emulated);
    }
    fs::remove_all(c.dir);

    std::printf("\n%s: %zu wrapped files of %zu bytes, median of %d runs\n", label, count, fileSize, runs);
    for (const Row* r : {&cmd, &batch, &undo, &peerCopy, &peerShell}) print(*r);
    std::printf("  ratios: command line / two launches %.0fx, command line / new-file copy %.2f, "
                "batch / new-file copy %.2f, undo / new-file copy %.2f (MB/s for large files)\n",
                cmd.filesPerSecond() / peerShell.filesPerSecond(), cmd.filesPerSecond() / peerCopy.filesPerSecond(),
                batch.filesPerSecond() / peerCopy.filesPerSecond(), undo.filesPerSecond() / peerCopy.filesPerSecond());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) die("usage: bench_whole_run <tool> [--dir D] [--runs N] [--small N] [--large N] [--large-mib N]");
    const std::string tool = fs::absolute(argv[1]).string();
    fs::path dir = fs::temp_directory_path() / "txr-bench";
    int runs = 5;
    std::size_t small = 10000, large = 8, largeMiB = 256;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string opt = argv[i], val = argv[i + 1];
        if (opt == "--dir") dir = val;
        else if (opt == "--runs") runs = std::stoi(val);
        else if (opt == "--small") small = std::stoul(val);
        else if (opt == "--large") large = std::stoul(val);
        else if (opt == "--large-mib") largeMiB = std::stoul(val);
        else die("unknown option " + opt);
    }
    if (small > 0) scenario(tool, dir, "small", small, 64 << 10, std::min<std::size_t>(small, 500), runs);
    if (large > 0) scenario(tool, dir, "large", large, largeMiB << 20, large, runs);
    fs::remove_all(dir);
    return 0;
}
