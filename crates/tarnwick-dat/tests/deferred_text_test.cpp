#include "deferred_text.hpp"

#include <gtest/gtest.h>

namespace deferred {
namespace {

TEST(DeferredText, JoinsItsPiecesInOrderHoweverMany) {
    EXPECT_EQ(("ClothingTable " + HexId{0x1000000A} + " stopped at " + std::string{"7"}).text(),
              "ClothingTable 0x1000000A stopped at 7");
    // More pieces than it keeps apart.
    const std::string long_text = "ids " + HexId{1} + ", " + std::to_string(2) + ", " +
                                  std::to_string(3) + ", " + std::to_string(4) + ", " +
                                  std::to_string(5) + ", " + std::to_string(6) + ", end";
    EXPECT_EQ(long_text, "ids 0x00000001, 2, 3, 4, 5, 6, end");
}

}  // namespace
}  // namespace deferred
