// Two pieces of work at once: one on the calling thread, one on a second thread.
#pragma once

#include <exception>

#include "run/platform.hpp"

namespace bloktar::repair {

// Runs later on a second thread while this one runs now; then throws what either threw.
template <typename Now, typename Later>
void RunBoth(Now now, Later later) {
    struct Context {
        Later* later;
        std::exception_ptr failure;
        WorkerThread* worker;
    };
    WorkerThread worker;  // waits for later as this function ends, before context goes
    Context context{&later, nullptr, &worker};
    worker.Run(
        [](void* raw) {
            Context& share = *static_cast<Context*>(raw);
            try {
                (*share.later)();
            } catch (...) {
                share.failure = std::current_exception();
            }
            share.worker->Publish(1, true);
        },
        &context);
    std::exception_ptr failure;
    try {
        now();
    } catch (...) {
        failure = std::current_exception();
    }
    bool final = false;
    while (!final) worker.WaitBeyond(0, final);
    if (failure) std::rethrow_exception(failure);
    if (context.failure) std::rethrow_exception(context.failure);
}

}  // namespace bloktar::repair
