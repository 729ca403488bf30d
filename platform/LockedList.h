// A list that any thread may append to and read whole, as the recording stand-ins of the
// service's starter interfaces keep what their callers asked for. The one mutex is held only
// while an item is added or the list is copied.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

namespace tarvell {

template <class T>
class LockedList {
public:
    void Append(T item) {
        std::lock_guard<std::mutex> guard(lock_);
        items_.push_back(std::move(item));
    }
    // A copy of every item appended so far, in their order.
    std::vector<T> Copy() const {
        std::lock_guard<std::mutex> guard(lock_);
        return items_;
    }

private:
    mutable std::mutex lock_;
    std::vector<T> items_;
};

}  // namespace tarvell
