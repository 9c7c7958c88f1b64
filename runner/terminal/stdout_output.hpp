#pragma once

#include "runner/terminal/output.hpp"

namespace runner {

// Plain bytes to standard output, through the same stdio stream the checks' uncaptured output
// uses, so that both keep their order.
class StdoutOutput : public OutputLocation {
  public:
    IoResult write(std::string_view bytes) override;
    IoResult flush() override;
};

}  // namespace runner
