#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace plumbrae::support {

/// Hands work to threads of its own through a ring of reusable slots: the owner fills a slot and
/// submits it, a thread does the work on it, and the owner takes the slots back in the order it
/// submitted them. With one thread the work is done in that order too; with more, slots are
/// worked on at the same time. A slot's storage serves every later piece of work (strings keep
/// their capacity). The threads sleep until a batch of slots waits, so that owner and threads
/// wake each other about once a batch rather than once a slot.
///
/// Only the owner's thread calls the members; `work` runs on the ring's threads and must not
/// throw (it keeps what went wrong in the slot).
template <typename Slot> class WorkerRing {
public:
    static constexpr std::size_t Depth = 64;
    static constexpr std::size_t Batch = Depth / 4;

    explicit WorkerRing(std::function<void(Slot&)> work, std::size_t threads = 1)
        : m_work(std::move(work)), m_slots(Depth), m_finished(Depth, false) {
        for (std::size_t i = 0; i < threads; ++i) {
            m_threads.emplace_back([this] { run(); });
        }
    }
    /// Stops the threads once the slots they work on are done; submitted slots are left undone.
    ~WorkerRing() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (auto& thread : m_threads) {
            thread.join();
        }
    }
    WorkerRing(const WorkerRing&) = delete;
    WorkerRing& operator=(const WorkerRing&) = delete;

    /// True while a slot can be filled without taking one back first.
    [[nodiscard]] bool hasRoom() const { return m_submitted - m_released < Depth; }
    /// True while a submitted slot has not been taken back.
    [[nodiscard]] bool hasPending() const { return m_released < m_submitted; }
    /// The slot to fill next (only while hasRoom()); it is neither worked on nor held.
    Slot& slotToFill() { return m_slots[m_submitted % Depth]; }
    /// Hands the filled slot to the thread.
    void submit() {
        ++m_submitted;
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            m_visible = m_submitted;
            wake = m_workersWaiting > 0 && m_visible - m_claimed >= Batch;
        }
        if (wake) {
            m_changed.notify_all();
        }
    }
    /// The oldest submitted slot not yet taken back, once its work is done (only while
    /// hasPending()). `whileWaiting`, when given, is called about every 20 ms until then. The
    /// slot stays the owner's until release().
    Slot& next(const std::function<void()>& whileWaiting = {}) {
        std::unique_lock lock(m_mutex);
        if (m_done <= m_released) {
            // The thread is behind: it works on without waiting for a batch, and wakes the
            // owner once a few slots are done (or the last ones submitted).
            m_ownerWants = std::min(m_released + Batch / 2, m_visible);
            const auto ready = [this] { return m_done >= m_ownerWants; };
            m_ownerWaiting = true;
            if (m_workersWaiting > 0) {
                m_changed.notify_all();
            }
            while (!m_changed.wait_for(lock, std::chrono::milliseconds(20), ready)) {
                if (whileWaiting) {
                    lock.unlock();
                    whileWaiting();
                    lock.lock();
                }
            }
            m_ownerWaiting = false;
        }
        return m_slots[m_released % Depth];
    }
    /// Gives the slot next() returned back for later work.
    void release() { ++m_released; }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_workersWaiting;
            m_changed.wait(lock, [this] {
                return m_stop || m_visible - m_claimed >= Batch ||
                       (m_ownerWaiting && m_claimed < m_visible);
            });
            --m_workersWaiting;
            while (!m_stop && m_claimed < m_visible) {
                const std::size_t index = m_claimed++;
                lock.unlock();
                m_work(m_slots[index % Depth]);
                lock.lock();
                // Done in order up to the first slot still worked on.
                m_finished[index % Depth] = true;
                while (m_done < m_claimed && m_finished[m_done % Depth]) {
                    m_finished[m_done % Depth] = false;
                    ++m_done;
                }
                if (m_ownerWaiting && m_done >= m_ownerWants) {
                    m_changed.notify_all();
                }
            }
            if (m_stop) {
                return;
            }
        }
    }

    std::function<void(Slot&)> m_work;
    std::vector<Slot> m_slots;
    /// Slots submitted and taken back: only the owner's thread changes them.
    std::size_t m_submitted = 0;
    std::size_t m_released = 0;
    /// Guarded by m_mutex: what the threads may see of m_submitted, the slots they have taken
    /// and those done in order (with the ones done out of order), who waits.
    std::size_t m_visible = 0;
    std::size_t m_claimed = 0;
    std::size_t m_done = 0;
    std::size_t m_ownerWants = 0;
    std::vector<bool> m_finished;
    std::size_t m_workersWaiting = 0;
    bool m_ownerWaiting = false;
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    /// Last: started once everything they use is made.
    std::vector<std::thread> m_threads;
};

} // namespace plumbrae::support
