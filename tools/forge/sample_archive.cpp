#include "sample_archive.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <span>
#include <vector>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_dat/file_type/clothing_writer.hpp"
#include "tarnwick_dat/writer.hpp"

namespace tarnwick_forge {
namespace {

using namespace tarnwick_dat;
using Bytes = std::vector<std::uint8_t>;

// splitmix64: small, fast, and the same sequence on every machine.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_{seed} {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    std::uint32_t between(std::uint32_t low, std::uint32_t high) {
        return low + static_cast<std::uint32_t>(next() % (std::uint64_t{high} - low + 1));
    }
    bool chance(double probability) {
        return static_cast<double>(next() >> 11) * 0x1.0p-53 < probability;
    }

  private:
    std::uint64_t state_;
};

// One family of files in the archive, as counts and sizes at full scale.
struct FileFamily {
    std::uint8_t prefix;
    std::uint32_t count;
    std::uint32_t min_size;
    std::uint32_t max_size;
    double compressed_share;
};

constexpr FileFamily filler_families[] = {
    {0x01, 14000, 200, 3000, 0.2},  {0x02, 3000, 100, 1500, 0.2},  {0x03, 4000, 500, 20000, 0.3},
    {0x04, 2500, 2052, 2052, 0.0},  {0x05, 6000, 16, 64, 0.0},     {0x06, 5000, 4096, 65536, 0.1},
    {0x07, 200, 1024, 8192, 0.0},   {0x08, 6000, 20, 60, 0.0},     {0x09, 300, 1000, 20000, 0.3},
    {0x0A, 1500, 2000, 40000, 0.0}, {0x0D, 1000, 500, 10000, 0.2}, {0x0E, 40, 200, 4000, 0.2},
    {0x0F, 1800, 12, 400, 0.1},     {0x11, 1500, 20, 200, 0.0},    {0x12, 100, 200, 3000, 0.0},
    {0x13, 1, 20000, 20000, 0.0},   {0x20, 200, 100, 2000, 0.0},   {0x22, 20, 100, 3000, 0.0},
    {0x23, 60, 500, 30000, 0.3},    {0x30, 20, 100, 1000, 0.0},    {0x32, 1500, 100, 300, 0.0},
    {0x33, 1500, 50, 500, 0.0},     {0x34, 200, 100, 1000, 0.0},   {0x39, 1, 2000, 2000, 0.0},
    {0x40, 30, 2000, 30000, 0.0},   {0x78, 1, 64, 64, 0.0},
};
constexpr std::uint32_t full_scale_clothing_tables = 3000;
constexpr double clothing_compressed_share = 0.25;
constexpr double scattered_share = 0.1;

std::uint32_t scaled(std::uint32_t count, double scale) {
    return std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::llround(count * scale)));
}

// Identifiers of one type: ascending, with small gaps, as a retail archive has them.
std::vector<std::uint32_t> family_ids(Rng& rng, std::uint8_t prefix, std::uint32_t count,
                                      std::uint32_t first) {
    std::vector<std::uint32_t> ids;
    ids.reserve(count);
    std::uint32_t next = (std::uint32_t{prefix} << 24) | first;
    for (std::uint32_t i = 0; i < count; ++i) {
        ids.push_back(next);
        next += rng.between(1, 3);
    }
    return ids;
}

// Filler content: runs and repeated phrases, so that compression has something to find.
Bytes filler_bytes(Rng& rng, std::uint32_t size) {
    Bytes bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        const std::uint64_t word = rng.next();
        const std::size_t run = 1 + (word & 0x1F);
        for (std::size_t i = 0; i < run && bytes.size() < size; ++i) {
            bytes.push_back(static_cast<std::uint8_t>((word >> 8) + (i % 4)));
        }
    }
    return bytes;
}

// Distinct random values of the form `base | low`, ascending.
std::vector<std::uint32_t> distinct_ids(Rng& rng, std::uint32_t base, std::uint32_t count,
                                        std::uint32_t low_max) {
    std::set<std::uint32_t> ids;
    while (ids.size() < count) {
        ids.insert(base | rng.between(1, low_max));
    }
    return {ids.begin(), ids.end()};
}

CloObjectEffect random_object_effect(Rng& rng, std::uint32_t index) {
    CloObjectEffect effect;
    effect.index = index;
    effect.model_id = 0x01000000 | rng.between(1, 0xFFFF);
    const std::uint32_t swaps = rng.between(0, 4);
    for (std::uint32_t i = 0; i < swaps; ++i) {
        effect.clo_texture_effects.push_back(
            {0x05000000 | rng.between(1, 0xFFFF), 0x05000000 | rng.between(1, 0xFFFF)});
    }
    return effect;
}

ClothingBaseEffect random_base_effect(Rng& rng) {
    ClothingBaseEffect effect;
    const std::uint32_t parts = rng.between(1, 17);
    std::uint32_t index = rng.between(0, 3);
    for (std::uint32_t i = 0; i < parts; ++i) {
        effect.clo_object_effects.push_back(random_object_effect(rng, index));
        index += rng.between(1, 2);
    }
    return effect;
}

CloSubPalEffect random_sub_pal_effect(Rng& rng) {
    CloSubPalEffect effect;
    effect.icon = 0x06000000 | rng.between(1, 0xFFFF);
    const std::uint32_t palettes = rng.between(1, 3);
    for (std::uint32_t i = 0; i < palettes; ++i) {
        CloSubPalette palette;
        const std::uint32_t ranges = rng.between(1, 4);
        for (std::uint32_t r = 0; r < ranges; ++r) {
            palette.ranges.push_back({rng.between(0, 255) * 8, rng.between(1, 4) * 8});
        }
        palette.palette_set = 0x0F000000 | rng.between(1, 0xFFFF);
        effect.clo_sub_palettes.push_back(std::move(palette));
    }
    return effect;
}

ClothingTable random_clothing_table(Rng& rng, std::uint32_t id) {
    ClothingTable table;
    table.id = id;
    for (std::uint32_t setup : distinct_ids(rng, 0x02000000, rng.between(1, 6), 0xFFFF)) {
        table.clothing_base_effects.emplace(setup, random_base_effect(rng));
    }
    const std::uint32_t sub_pal_effects = rng.between(0, 8);
    for (std::uint32_t key : distinct_ids(rng, 0, sub_pal_effects, 64)) {
        table.clothing_sub_pal_effects.emplace(key, random_sub_pal_effect(rng));
    }
    return table;
}

// The record whose contents the parity check knows: setup 0x02001A18 with six parts, the first
// being part 9 with model 0x01004AA7 and two texture swaps, 0x050003D5 to 0x0500025F first.
ClothingTable known_clothing_table(Rng& rng) {
    constexpr std::uint32_t known_setup = 0x02001A18;
    ClothingTable table = random_clothing_table(rng, 0x10000001);
    table.clothing_base_effects.erase(known_setup);
    ClothingBaseEffect known;
    CloObjectEffect first = random_object_effect(rng, 9);
    first.model_id = 0x01004AA7;
    first.clo_texture_effects = {{0x050003D5, 0x0500025F},
                                 {0x05000000 | rng.between(1, 0xFFFF), 0x0500025F}};
    known.clo_object_effects.push_back(std::move(first));
    for (std::uint32_t index = 10; index < 15; ++index) {
        known.clo_object_effects.push_back(random_object_effect(rng, index));
    }
    table.clothing_base_effects.emplace(known_setup, std::move(known));
    return table;
}

// One file, its contents drawn and not yet stored.
struct PlannedFile {
    std::uint32_t id;
    Bytes bytes;
    StoreOptions options;
};

std::expected<Bytes, DatError> clothing_bytes(const ClothingTable& table) {
    ClothingWriter encoder;
    encoder.write(table);
    return std::move(encoder).finish();
}

class SampleBuilder {
  public:
    SampleBuilder(DatWriter writer, const SampleOptions& options)
        : writer_{std::move(writer)},
          rng_{options.seed},
          scale_{options.scale},
          layout_{options.layout} {}

    std::expected<SampleSummary, DatError> build() {
        if (layout_ == SampleLayout::Scattered) {
            TARNWICK_TRY(store_scattered());
        } else {
            TARNWICK_TRY(
                store_fillers([](std::uint64_t) -> std::expected<void, DatError> { return {}; }));
            auto clothing = plan_clothing();
            if (!clothing) {
                return tarnwick_base::take_error(clothing);
            }
            for (const PlannedFile& file : *clothing) {
                TARNWICK_TRY(store(file));
            }
        }
        TARNWICK_TRY(writer_.write_directory(std::move(entries_)));
        writer_.header().file_size = static_cast<std::uint32_t>(writer_.end_offset());
        TARNWICK_TRY(writer_.finish());
        summary_.archive_bytes = writer_.end_offset();
        return summary_;
    }

  private:
    // Drawn after the file's contents, in this order, whatever the layout.
    StoreOptions draw_options(double compressed_share) {
        StoreOptions options;
        options.compressed = rng_.chance(compressed_share);
        options.layout =
            rng_.chance(scattered_share) ? ChainLayout::Scattered : ChainLayout::Contiguous;
        options.timestamp = 0x3F000000 + rng_.between(0, 0xFFFFFF);
        options.version = rng_.between(1, 900);
        return options;
    }

    std::expected<void, DatError> store(const PlannedFile& file) {
        auto entry = writer_.store_file(file.id, file.bytes, file.options);
        if (!entry) {
            return tarnwick_base::take_error(entry);
        }
        entries_.push_back(*entry);
        ++summary_.files;
        summary_.compressed_files += file.options.compressed ? 1 : 0;
        summary_.scattered_files += file.options.layout == ChainLayout::Scattered ? 1 : 0;
        return {};
    }

    // Every file of the filler families, in order, each handed to `after` (with the length of
    // its contents) once stored.
    template <class After>
    std::expected<void, DatError> store_fillers(After&& after) {
        for (const FileFamily& family : filler_families) {
            const std::uint32_t count = scaled(family.count, scale_);
            for (std::uint32_t id : family_ids(rng_, family.prefix, count, 1)) {
                Bytes bytes = filler_bytes(rng_, rng_.between(family.min_size, family.max_size));
                const StoreOptions options = draw_options(family.compressed_share);
                const std::uint64_t length = bytes.size();
                TARNWICK_TRY(store({id, std::move(bytes), options}));
                TARNWICK_TRY(after(length));
            }
        }
        return {};
    }

    // The clothing tables, drawn where the filler files' draws end; counted in the summary.
    std::expected<std::vector<PlannedFile>, DatError> plan_clothing() {
        const std::uint32_t count = scaled(full_scale_clothing_tables, scale_);
        std::vector<PlannedFile> planned;
        for (std::uint32_t id : family_ids(rng_, 0x10, count, 1)) {
            const ClothingTable table =
                id == 0x10000001 ? known_clothing_table(rng_) : random_clothing_table(rng_, id);
            auto bytes = clothing_bytes(table);
            if (!bytes) {
                return tarnwick_base::take_error(bytes);
            }
            planned.push_back({id, std::move(*bytes), draw_options(clothing_compressed_share)});
            summary_.clothing.add(table);
            ++summary_.clothing_tables;
        }
        return planned;
    }

    // The grouped layout's files, each clothing table stored on its own after about an equal
    // share of the other files' bytes. A first pass through the draws, storing nothing, finds
    // those bytes and where the clothing tables' draws begin; the second stores.
    std::expected<void, DatError> store_scattered() {
        const Rng start = rng_;
        std::uint64_t filler_total = 0;
        for (const FileFamily& family : filler_families) {
            const std::uint32_t count = scaled(family.count, scale_);
            for ([[maybe_unused]] std::uint32_t id : family_ids(rng_, family.prefix, count, 1)) {
                filler_total +=
                    filler_bytes(rng_, rng_.between(family.min_size, family.max_size)).size();
                draw_options(family.compressed_share);
            }
        }
        auto planned = plan_clothing();
        if (!planned) {
            return tarnwick_base::take_error(planned);
        }
        const std::vector<PlannedFile>& clothing = *planned;
        rng_ = start;
        std::size_t next = 0;
        std::uint64_t stored = 0;
        const auto store_due_tables = [&](std::uint64_t length) -> std::expected<void, DatError> {
            stored += length;
            while (next < clothing.size() &&
                   stored * clothing.size() >= (next + 1) * filler_total) {
                TARNWICK_TRY(store(clothing[next++]));
            }
            return {};
        };
        TARNWICK_TRY(store_fillers(store_due_tables));
        for (; next < clothing.size(); ++next) {
            TARNWICK_TRY(store(clothing[next]));
        }
        return {};
    }

    DatWriter writer_;
    Rng rng_;
    double scale_;
    SampleLayout layout_;
    std::vector<DatFileEntry> entries_;
    SampleSummary summary_;
};

std::expected<std::vector<PlannedFile>, DatError> small_sample_files(Rng& rng) {
    auto known = clothing_bytes(known_clothing_table(rng));
    auto other = clothing_bytes(random_clothing_table(rng, 0x10000002));
    if (!known || !other) {
        return std::unexpected{std::move(known ? other.error() : known.error())};
    }
    constexpr StoreOptions compressed{.compressed = true};
    constexpr StoreOptions scattered{.layout = ChainLayout::Scattered};
    std::vector<PlannedFile> files{
        {0x10000001, std::move(*known), compressed},
        {0x10000002, std::move(*other), scattered},
        {0x06000001, filler_bytes(rng, 2500), {}},
        {0x06000002, filler_bytes(rng, 2500), compressed},
        {0x0D000001, filler_bytes(rng, 2100), scattered},
    };
    // Enough entries for a second level of nodes.
    for (std::uint32_t id = 0x05000001; files.size() <= 2 * dat_node_entry_slots; ++id) {
        files.push_back({id, {}, {}});
    }
    return files;
}

}  // namespace

std::expected<SampleSummary, DatError> write_small_sample_archive(
    const std::filesystem::path& path) {
    Rng rng{1};
    auto writer = DatWriter::create(path, 1024, 1);
    auto files = small_sample_files(rng);
    if (!writer || !files) {
        return std::unexpected{std::move(writer ? files.error() : writer.error())};
    }
    std::vector<DatFileEntry> entries;
    for (const PlannedFile& file : *files) {
        auto entry = writer->store_file(file.id, file.bytes, file.options);
        if (!entry) {
            return tarnwick_base::take_error(entry);
        }
        entries.push_back(*entry);
    }
    TARNWICK_TRY(writer->write_directory(std::move(entries)));
    writer->header().file_size = static_cast<std::uint32_t>(writer->end_offset());
    TARNWICK_TRY(writer->finish());
    SampleSummary summary;
    summary.files = files->size();
    summary.archive_bytes = writer->end_offset();
    return summary;
}

std::expected<SampleSummary, DatError> write_sample_archive(const std::filesystem::path& path,
                                                            const SampleOptions& options) {
    auto writer = DatWriter::create(path, 1024, static_cast<std::uint32_t>(options.seed));
    if (!writer) {
        return tarnwick_base::take_error(writer);
    }
    DatHeader& header = writer->header();
    header.version_string.assign(sample_version_string,
                                 sample_version_string + DatHeader::version_string_length);
    header.engine_version = 1;
    header.game_version = 1;
    return SampleBuilder{std::move(*writer), options}.build();
}

}  // namespace tarnwick_forge
