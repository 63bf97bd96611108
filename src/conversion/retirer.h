// Removes files that a complete copy has replaced, on a helper thread, so
// that the next file's work goes on meanwhile. The copies are put on disk
// first (one flush for all that are waiting), so a power cut cannot take
// both. Failures come back to the owner, which undoes that one step.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace txr {

class Retirer {
public:
    struct Done {
        std::size_t ticket;
        plat::Status status;  // not ok: `remove` is still there
    };

    Retirer() = default;
    Retirer(const Retirer&) = delete;
    Retirer& operator=(const Retirer&) = delete;
    ~Retirer();

    // `keep` replaces `remove`; waits while too much is pending.
    void retire(std::string keep, std::string remove, std::size_t ticket);
    // What has been settled since the last call.
    std::vector<Done> takeDone();
    // Waits until everything handed over is settled.
    void drain();

private:
    struct Job {
        std::string keep, remove;
        std::size_t ticket;
    };
    void work();

    static constexpr std::size_t kMaxPending = 256;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> waiting_;
    std::size_t busy_ = 0;  // taken by the thread, not yet done
    std::vector<Done> done_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace txr
