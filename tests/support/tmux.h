// A real terminal for end-to-end tests: a tmux server of the test's own, one
// pane of a known size running one program, driven by keys and read back as
// a user sees it.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/files.h"

namespace testing_support {

class Tmux {
public:
    // True when tmux can be run here.
    static bool available();

    // Starts `argv` in a new pane, `columns` by `rows`, in folder `cwd` with
    // the extra "NAME=value" entries in its environment. The pane stays
    // when the program ends.
    Tmux(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
         int columns = 100, int rows = 40);
    ~Tmux();
    Tmux(const Tmux&) = delete;
    Tmux& operator=(const Tmux&) = delete;

    // Keys by tmux's names ("Up", "Escape", "C-c", "3").
    void keys(const std::vector<std::string>& names);

    // The visible lines, trailing blanks dropped; with `escapes`, colours as
    // terminal escape sequences.
    std::vector<std::string> screen(bool escapes = false);

    // Waits until `done` holds for the screen; false when it never does
    // within a generous time.
    bool waitFor(const std::function<bool(const std::vector<std::string>&)>& done);
    bool waitForLine(const std::string& line);

    // The column just after the last non-blank cell of visible line `row`
    // (from 0), as the terminal lays the line out.
    int endColumn(int row);

private:
    std::string tmux(std::vector<std::string> args);
    ScratchDir dir_;
    std::string socket_;
};

}  // namespace testing_support
