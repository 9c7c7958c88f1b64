#pragma once

// The whole contents of the files being read through a mount, shared by every read of a file,
// so that a compressed file is expanded once for all the reads of an open and not once per
// read. The bytes kept are bounded: past the capacity, the least recently used files are let go
// (and loaded again if read again). Safe to use from any number of threads.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarnwick_tool {

class ContentCache {
  public:
    using Contents = std::shared_ptr<const std::vector<std::uint8_t>>;
    using Result = std::expected<Contents, std::string>;
    using Loader = std::function<std::expected<std::vector<std::uint8_t>, std::string>()>;

    explicit ContentCache(std::size_t capacity) : capacity_{capacity} {}

    // The contents under `key`, from `load` when not kept. Threads asking for a key being
    // loaded wait for that one load. A failure is not kept, so the next open tries again; nor
    // are contents larger than the capacity, which each caller loads for itself.
    Result get(std::size_t key, const Loader& load);

    // The bytes kept now, at most the capacity (contents held by callers are not counted).
    std::size_t bytes_held() const;

  private:
    struct Slot {
        std::shared_future<Result> result;
        std::list<std::size_t>::iterator recency;
        std::size_t bytes = 0;
        bool loaded = false;
        std::uint64_t load_number = 0;
    };
    // Lets go of loaded contents, least recently used first, until the bytes held fit.
    void shrink();

    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::unordered_map<std::size_t, Slot> slots_;
    std::list<std::size_t> recency_;  // most recently used first
    std::size_t held_ = 0;
    std::uint64_t loads_ = 0;
};

}  // namespace tarnwick_tool
