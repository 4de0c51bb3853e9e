// Work given to a second thread where one can be had. A run that cannot
// start a thread (a task limit, a busy system) does the work on the calling
// thread instead, and links the same.
#pragma once

#include <future>
#include <system_error>

namespace tarnel {

// Runs work on a thread of its own, or here and now when no thread can be
// had: the future is then already ready, and the run goes on on one thread.
template <class Work>
std::future<void> startOrRunHere(Work work) {
    try {
        return std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        work();
        std::promise<void> done;
        done.set_value();
        return done.get_future();
    }
}

}  // namespace tarnel
