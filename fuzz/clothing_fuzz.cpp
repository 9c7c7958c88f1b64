// The input as a clothing file's bytes: parse one ClothingTable. A success consumed no more
// bytes than there are; a failure leaves the reader within the bytes.

#include "fuzz_input.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnwick_dat;
    ByteReader reader{{data, size}};
    const auto table = ClothingTable::read(reader, Endian::Little);
    const auto position = reader.position();
    tarnwick_fuzz::require(position && *position <= size, "reader beyond the bytes");
    if (table) {
        tarnwick_fuzz::require(*position >= 4 + 4 + 4, "a table read from too few bytes");
    }
    return 0;
}
