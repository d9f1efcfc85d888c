// Synchronous calls from a worker thread into the user-interface thread.
//
// A worker that must show a question, a status text or a cursor asks the
// user-interface thread to do it and waits until it is done. Whatever waits
// on the user-interface thread for a worker must call ServeUiCalls() while
// it waits, or both threads wait for each other forever.
#pragma once

#include <functional>

namespace platform {

// Runs call on the user-interface thread and returns when it has finished;
// an exception it throws is rethrown here. Runs call directly when already
// on the user-interface thread or when there is no QCoreApplication.
void RunOnUiThread(const std::function<void()>& call);

// Runs every call that workers are waiting for. User-interface thread only.
void ServeUiCalls();

// True on the thread that runs the event loop (or when there is none).
bool IsUiThread();

}  // namespace platform
