// Every file operation made to fail, and the process killed at every one:
// afterwards every texture is whole under its old or its new name, the
// record lists exactly what was converted, and the undo brings it all back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>

#include "conversion/conversion.h"
#include "flow/flow.h"
#include "platform/platform.h"
#include "support/files.h"
#include "support/run_tool.h"

namespace {

using namespace testing_support;
using txr::Outcome;

const std::string H = header();

struct Texture {
    std::string name, original, newName, converted;
};

// Wrapped and plain; one large enough for the copy to take several steps.
std::vector<Texture> textures() {
    std::string big = ddsImage();
    big.resize(600 << 10, 'd');
    return {{"a.txr", H + pngImage(), "a.txr.png", pngImage()},
            {"b.txr", bmpImage(), "b.txr.bmp", bmpImage()},
            {"c.txr", H + big, "c.txr.dds", big}};
}

void lay(const fs::path& dir, const std::vector<Texture>& ts) {
    for (const auto& t : ts) writeBytes(dir / t.name, t.original);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

bool isTemp(const std::string& name) { return name.find(plat::kTempMarker) != std::string::npos; }

enum class Ending { failedCleanly, killed };

// Checks that each texture is whole under one name (under both only when the
// process was killed between the two steps) and returns the record lines the
// converted ones must have.
// `named` is the folder as the tool was given it, as the record shows it.
std::set<std::string> expectWhole(const fs::path& dir, const std::string& named, const std::vector<Texture>& ts,
                                  Ending ending, const std::string& context) {
    std::set<std::string> mustBeRecorded;
    for (const auto& t : ts) {
        const bool old = fs::exists(dir / t.name), neu = fs::exists(dir / t.newName);
        EXPECT_TRUE(old || neu) << context << ": " << t.name << " is gone";
        if (old) {
            EXPECT_TRUE(readBytes(dir / t.name) == t.original) << context << ": " << t.name << " damaged";
        }
        if (neu) {
            EXPECT_TRUE(readBytes(dir / t.newName) == t.converted) << context << ": " << t.newName << " damaged";
        }
        if (ending == Ending::failedCleanly) {
            EXPECT_FALSE(old && neu) << context << ": " << t.name << " twice";
        }
        const bool wrapped = t.original.size() != t.converted.size();
        if (neu && !old) mustBeRecorded.insert((wrapped ? "ZTX " : "") + named + t.newName + "\r");
    }
    if (ending == Ending::failedCleanly) {
        for (const auto& n : listNames(dir)) EXPECT_FALSE(isTemp(n)) << context << ": left " << n;
    }
    return mustBeRecorded;
}

std::string recordOf(const fs::path& dir) {
    return fs::exists(dir / "record.txt") ? readBytes(dir / "record.txt") : "";
}

// After any of these, taking the record back restores every original.
void expectUndoRestores(const fs::path& dir, const std::string& prog, const std::vector<Texture>& ts,
                        const std::string& context) {
    std::ostringstream out, err;
    txr::undoAll(prog, out, err);
    for (const auto& t : ts) {
        ASSERT_TRUE(fs::exists(dir / t.name)) << context << ": undo did not bring back " << t.name << "\n" << err.str();
        EXPECT_TRUE(readBytes(dir / t.name) == t.original) << context << ": " << t.name;
    }
}

void clear(const fs::path& dir) {
    for (const auto& n : listNames(dir)) fs::remove(dir / n);
}

struct Scenario {
    const char* name;
    bool convertsFirst;  // the run under test is an undo of a converted folder
    std::function<Outcome(const std::string& prog, std::ostream& out, std::ostream& err)> run;
};

std::vector<Scenario> scenarios() {
    return {
        {"command line", false,
         [](const std::string& prog, std::ostream&, std::ostream& err) {
             Outcome o = Outcome::allDone;
             for (const auto& t : textures()) {
                 const txr::FixResult r = txr::fixTxr(prog + t.name, prog);
                 if (r.status != txr::FixStatus::converted) {
                     err << t.name << ": " << r.reason << "\n";
                     o = Outcome::someFailed;
                 }
             }
             return o;
         }},
        {"batch", false, [](const std::string& prog, std::ostream& out, std::ostream& err) {
             return txr::convertFolder(prog, out, err);
         }},
        {"undo", true, [](const std::string& prog, std::ostream& out, std::ostream& err) {
             return txr::undoAll(prog, out, err);
         }},
    };
}

TEST(Faults, EveryOperationFailingOnceLosesNothing) {
    ScratchDir dir;
    const std::string prog = dir.path().string() + "/";
    const auto ts = textures();
    long injected = 0;

    for (const Scenario& sc : scenarios()) {
        auto prepare = [&] {
            clear(dir.path());
            lay(dir.path(), ts);
            if (sc.convertsFirst) {
                std::ostringstream out, err;
                ASSERT_EQ(txr::convertFolder(prog, out, err), Outcome::allDone) << err.str();
            }
        };
        prepare();
        std::ostringstream cleanOut, cleanErr;
        plat::faults::arm(0, 0);
        ASSERT_EQ(sc.run(prog, cleanOut, cleanErr), Outcome::allDone) << cleanErr.str();
        const long operations = plat::faults::count();
        ASSERT_GT(operations, 5);

        for (long n = 1; n <= operations; ++n) {
            for (int error : {ENOSPC, EIO, EACCES, EEXIST}) {
                prepare();
                std::ostringstream out, err;
                plat::faults::arm(n, error);
                const Outcome outcome = sc.run(prog, out, err);
                const std::string op = plat::faults::nameOf(n);
                plat::faults::arm(0, 0);
                ++injected;
                const std::string context = std::string(sc.name) + ", " + op + " #" + std::to_string(n) +
                                            " fails with " + std::strerror(error);

                const auto mustBeRecorded = expectWhole(dir.path(), prog, ts, Ending::failedCleanly, context);
                // One message for each file left as it was (a failed flush
                // can hold back several), or one for the whole batch. An
                // entry the undo cannot open is reported as not found.
                auto messages = lines(err.str()).size();
                for (const auto& l : lines(out.str())) messages += l.ends_with(" not Found!");
                std::size_t leftAsItWas = 0;
                for (const auto& t : ts) leftAsItWas += fs::exists(dir.path() / (sc.convertsFirst ? t.newName : t.name));
                if (outcome == Outcome::someFailed) {
                    const bool wholeRun = messages == 1 && leftAsItWas == ts.size();
                    EXPECT_TRUE(messages == std::max<std::size_t>(1, leftAsItWas) || wholeRun)
                        << context << ": one clear message a file\n" << out.str() << err.str();
                } else {
                    EXPECT_EQ(err.str(), "") << context;
                }
                if (sc.convertsFirst) {
                    // The record goes once the undo has run; what is left
                    // converted keeps its converted form.
                    continue;
                }
                const auto recorded = lines(recordOf(dir.path()));
                EXPECT_EQ(std::set<std::string>(recorded.begin(), recorded.end()), mustBeRecorded)
                    << context << ": the record lists exactly what was converted";
                EXPECT_EQ(recorded.size(), mustBeRecorded.size()) << context;
                if (outcome == Outcome::allDone) {
                    EXPECT_EQ(mustBeRecorded.size(), ts.size()) << context;
                }
                expectUndoRestores(dir.path(), prog, ts, context);
            }
        }
    }
    std::cout << "[ figures  ] faults injected: " << injected << std::endl;
    RecordProperty("faults_injected", static_cast<int>(injected));
}

// The real binary, killed before its Nth file operation, for every N.
TEST(Crash, KilledAtEveryStepTheUndoStillBringsEverythingBack) {
    ScratchDir dir;
    fs::create_directory(dir / "prog");
    const fs::path work = dir / "work";
    fs::create_directory(work);
    const std::string prog = dir.str("prog") + "/";
    const auto ts = textures();
    std::vector<std::string> args;
    for (const auto& t : ts) args.push_back((work / t.name).string());

    long killPoints = 0;
    for (long n = 1;; ++n) {
        clear(work);
        fs::remove(dir / "prog" / "record.txt");
        lay(work, ts);
        RunOptions o;
        o.exe = FAULTY_TOOL_PATH;
        o.args = args;
        o.argv0 = prog + "vrnhTXRextractor13";
        o.env = {"TXR_FAULTS=kill=" + std::to_string(n)};
        const RunResult r = runTool(o);
        if (r.signal != SIGKILL) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            break;  // it ran to the end: every step has been tried
        }
        ++killPoints;
        const std::string context = "killed at operation " + std::to_string(n);

        // A line may stand for a conversion cut off before its rename, but
        // none may be missing.
        const auto recorded = lines(recordOf(dir / "prog"));
        for (const auto& line : expectWhole(work, work.string() + "/", ts, Ending::killed, context)) {
            EXPECT_NE(std::find(recorded.begin(), recorded.end(), line), recorded.end())
                << context << ": " << line << " converted but not recorded";
        }
        expectUndoRestores(work, prog, ts, context);
        ASSERT_FALSE(HasFailure()) << context;
    }
    EXPECT_GT(killPoints, 10);
    std::cout << "[ figures  ] kill points tried: " << killPoints << std::endl;
    RecordProperty("kill_points", static_cast<int>(killPoints));
}

// The same for the undo, started from the menu with the key 2.
TEST(Crash, UndoKilledAtEveryStepThenUndoneAgainBringsEverythingBack) {
    ScratchDir dir;
    const std::string prog = dir.path().string() + "/";
    const auto ts = textures();
    long killPoints = 0;
    for (long n = 1;; ++n) {
        clear(dir.path());
        lay(dir.path(), ts);
        std::ostringstream out, err;
        plat::faults::arm(0, 0);
        ASSERT_EQ(txr::convertFolder(prog, out, err), Outcome::allDone) << err.str();
        RunOptions o;
        o.exe = FAULTY_TOOL_PATH;
        o.input = "2";
        o.argv0 = prog + "vrnhTXRextractor13";
        o.env = {"TXR_FAULTS=kill=" + std::to_string(n)};
        const RunResult r = runTool(o);
        if (r.signal != SIGKILL) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            break;
        }
        ++killPoints;
        const std::string context = "undo killed at operation " + std::to_string(n);
        expectWhole(dir.path(), prog, ts, Ending::killed, context);
        expectUndoRestores(dir.path(), prog, ts, context);
        ASSERT_FALSE(HasFailure()) << context;
    }
    EXPECT_GT(killPoints, 10);
    std::cout << "[ figures  ] undo kill points tried: " << killPoints << std::endl;
}

// Terminated (not killed) before any step, the tool removes its temporary
// file on the way out.
TEST(Terminate, AtEveryStepLeavesNoTemporaryFile) {
    ScratchDir dir;
    const std::string prog = dir.path().string() + "/";
    const auto ts = textures();
    for (long n = 1;; ++n) {
        clear(dir.path());
        lay(dir.path(), ts);
        RunOptions o;
        o.exe = FAULTY_TOOL_PATH;
        for (const auto& t : ts) o.args.push_back(prog + t.name);
        o.argv0 = prog + "vrnhTXRextractor13";
        o.env = {"TXR_FAULTS=signal=" + std::to_string(SIGTERM) + ",at=" + std::to_string(n)};
        const RunResult r = runTool(o);
        if (r.signal != SIGTERM) break;
        const std::string context = "terminated at operation " + std::to_string(n);
        expectWhole(dir.path(), prog, ts, Ending::killed, context);
        for (const auto& name : listNames(dir.path())) EXPECT_FALSE(isTemp(name)) << context << ": left " << name;
        ASSERT_FALSE(HasFailure()) << context;
    }
}

}  // namespace
