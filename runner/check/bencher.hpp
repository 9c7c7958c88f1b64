#pragma once

#include <utility>

namespace runner {

// Handed to benchmark entries. Benchmarks are not measured by this runner: each runs its
// iteration once, as a plain check.
class Bencher {
  public:
    template <class F>
    void iter(F&& iteration) {
        std::forward<F>(iteration)();
    }
};

}  // namespace runner
