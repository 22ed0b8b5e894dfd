#pragma once

#include <functional>
#include <memory>

namespace zelvar {

// Runs jobs on the thread that owns the serial port (the window thread), in
// the order they were posted, from that thread's event loop. Posting never
// waits. Jobs still queued when the poster is destroyed are dropped.
class MainThreadPost {
public:
    virtual ~MainThreadPost() = default;
    virtual void post(std::function<void()> job) = 0;
};

// Posts to the event loop of the calling thread.
std::unique_ptr<MainThreadPost> MakeMainThreadPost();

}  // namespace zelvar
