#include "mount_cache.hpp"

#include <new>

namespace tarnwick_tool {

ContentCache::Result ContentCache::get(std::size_t key, const Loader& load) {
    std::unique_lock lock{mutex_};
    if (const auto found = slots_.find(key); found != slots_.end()) {
        recency_.splice(recency_.begin(), recency_, found->second.recency);
        const std::shared_future<Result> pending = found->second.result;
        lock.unlock();
        return pending.get();
    }
    std::promise<Result> promise;
    const std::uint64_t load_number = ++loads_;
    recency_.push_front(key);
    slots_[key] = {.result = promise.get_future().share(),
                   .recency = recency_.begin(),
                   .load_number = load_number};
    lock.unlock();

    Result result;
    try {
        auto loaded = load();
        if (loaded) {
            result = std::make_shared<const std::vector<std::uint8_t>>(std::move(*loaded));
        } else {
            result = std::unexpected{std::move(loaded.error())};
        }
    } catch (const std::bad_alloc&) {
        result = std::unexpected{std::string{"out of memory"}};
    }
    promise.set_value(result);

    lock.lock();
    const auto slot = slots_.find(key);
    if (slot == slots_.end() || slot->second.load_number != load_number) {
        return result;  // let go meanwhile
    }
    const std::size_t bytes = result ? (*result)->size() : 0;
    if (!result || bytes > capacity_) {
        recency_.erase(slot->second.recency);
        slots_.erase(slot);
        return result;
    }
    slot->second.bytes = bytes;
    slot->second.loaded = true;
    held_ += bytes;
    shrink();
    return result;
}

void ContentCache::shrink() {
    // Loads still running hold nothing yet and are passed over.
    for (auto it = recency_.end(); held_ > capacity_ && it != recency_.begin();) {
        --it;
        const auto slot = slots_.find(*it);
        if (!slot->second.loaded) {
            continue;
        }
        held_ -= slot->second.bytes;
        slots_.erase(slot);
        it = recency_.erase(it);
    }
}

std::size_t ContentCache::bytes_held() const {
    std::lock_guard lock{mutex_};
    return held_;
}

}  // namespace tarnwick_tool
