#pragma once

namespace plumbrae::support {

/// Lets the calling thread run after the process's other threads when processors are few (a
/// helper thread that works ahead of the thread it serves). Nothing changes where the system
/// does not allow it.
void runBehindOtherThreads() noexcept;

} // namespace plumbrae::support
