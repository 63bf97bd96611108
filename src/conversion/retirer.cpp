#include "conversion/retirer.h"

#include <utility>

namespace txr {

Retirer::~Retirer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Retirer::retire(std::string keep, std::string remove, std::size_t ticket) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!thread_.joinable()) {
        const plat::InterruptsHeld held;  // inherited by the thread for good
        thread_ = std::thread([this] { work(); });
    }
    changed_.wait(lock, [this] { return waiting_.size() < kMaxPending; });
    waiting_.push_back(Job{std::move(keep), std::move(remove), ticket});
    changed_.notify_all();
}

std::vector<Retirer::Done> Retirer::takeDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(done_, {});
}

void Retirer::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.empty() && busy_ == 0; });
}

void Retirer::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) return;
        std::vector<Job> batch(std::make_move_iterator(waiting_.begin()), std::make_move_iterator(waiting_.end()));
        waiting_.clear();
        busy_ = batch.size();
        lock.unlock();
        changed_.notify_all();

        std::vector<std::string> keep;
        for (const Job& j : batch) keep.push_back(j.keep);
        const plat::Status flushed = plat::makeDurable(keep);
        std::vector<Done> settled;
        for (const Job& j : batch) {
            // Nothing is removed unless its copy is safely on disk.
            settled.push_back({j.ticket, flushed.ok() ? plat::removeFile(j.remove) : flushed});
        }

        lock.lock();
        done_.insert(done_.end(), settled.begin(), settled.end());
        busy_ = 0;
        changed_.notify_all();
    }
}

}  // namespace txr
