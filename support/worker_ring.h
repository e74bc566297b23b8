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

/// Hands work to a thread of its own through a ring of reusable slots, in order: the owner fills
/// a slot and submits it, the thread does the work on it, and the owner takes the slots back in
/// the order it submitted them. A slot's storage serves every later piece of work (strings keep
/// their capacity). The thread sleeps until a batch of slots waits, so that the two threads
/// wake each other about once a batch rather than once a slot.
///
/// Only the owner's thread calls the members; `work` runs on the ring's thread and must not
/// throw (it keeps what went wrong in the slot).
template <typename Slot> class WorkerRing {
public:
    static constexpr std::size_t Depth = 64;
    static constexpr std::size_t Batch = Depth / 4;

    explicit WorkerRing(std::function<void(Slot&)> work)
        : m_work(std::move(work)), m_slots(Depth), m_thread([this] { run(); }) {}
    /// Stops the thread once the slot it works on is done; submitted slots are left undone.
    ~WorkerRing() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
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
            wake = m_workerWaiting && m_visible - m_done >= Batch;
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
            if (m_workerWaiting) {
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
            m_workerWaiting = true;
            m_changed.wait(lock, [this] {
                return m_stop || m_visible - m_done >= Batch ||
                       (m_ownerWaiting && m_done < m_visible);
            });
            m_workerWaiting = false;
            while (!m_stop && m_done < m_visible) {
                Slot& slot = m_slots[m_done % Depth];
                lock.unlock();
                m_work(slot);
                lock.lock();
                ++m_done;
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
    /// Guarded by m_mutex: what the thread may see of m_submitted, what it has done, who waits.
    std::size_t m_visible = 0;
    std::size_t m_done = 0;
    std::size_t m_ownerWants = 0;
    bool m_workerWaiting = false;
    bool m_ownerWaiting = false;
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    /// Last: started once everything it uses is made.
    std::thread m_thread;
};

} // namespace plumbrae::support
