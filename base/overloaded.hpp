#pragma once

namespace tarnwick_base {

// Builds one visitor for std::visit from several lambdas.
template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

}  // namespace tarnwick_base
