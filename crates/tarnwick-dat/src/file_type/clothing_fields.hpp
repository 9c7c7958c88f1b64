#pragma once

// Each clothing record's stored fields, in stored order: the one list that the record reader
// (clothing.cpp), the in-memory decoder (clothing_in_memory.cpp) and the writer
// (clothing_writer) walk. A field added to a record is declared in clothing.hpp, on a line of
// its own below the others, and listed here; the decoders and the writer follow.
//
// The lists live here rather than beside the structs because the declarations' line numbers
// are printed in failure frames, and because they are the library's insides, not its interface.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "tarnwick_dat/file_type/clothing.hpp"

namespace tarnwick_dat {

// A 32-bit number kept in the record. `site` is null for the table's own numbers, which are
// read outside any record and get no frame.
template <class Record>
struct NumberField {
    std::uint32_t Record::*member;
    const FieldSite* site;
};

// A 32-bit count, read and not kept, then that many records.
template <class Record, class Element>
struct ListField {
    RecordList<Element> Record::*member;
    const FieldSite* count_site;
    const FieldSite* site;
};

// A packed hash table of records (its layout is in clothing.hpp).
template <class Record, class Value>
struct TableField {
    PackableHashTable<Value> Record::*member;
};

template <class Record>
constexpr NumberField<Record> number_field(std::uint32_t Record::*member,
                                           const FieldSite* site = nullptr) {
    return {member, site};
}

template <class Record, class Element>
constexpr ListField<Record, Element> list_field(RecordList<Element> Record::*member,
                                                const FieldSite& count_site,
                                                const FieldSite& site) {
    return {member, &count_site, &site};
}

template <class Record, class Value>
constexpr TableField<Record, Value> table_field(PackableHashTable<Value> Record::*member) {
    return {member};
}

// `StoredFields<Record>::list`: the record's fields in stored order. A record without a list
// does not compile where it is read or written.
template <class Record>
struct StoredFields;

template <>
struct StoredFields<CloSubPaletteRange> {
    using R = CloSubPaletteRange;
    static constexpr auto list = std::tuple{number_field(&R::offset, &R::offset_site),
                                            number_field(&R::num_colors, &R::num_colors_site)};
};

template <>
struct StoredFields<CloSubPalette> {
    using R = CloSubPalette;
    static constexpr auto list =
        std::tuple{list_field(&R::ranges, R::num_ranges_site, R::ranges_site),
                   number_field(&R::palette_set, &R::palette_set_site)};
};

template <>
struct StoredFields<CloSubPalEffect> {
    using R = CloSubPalEffect;
    static constexpr auto list = std::tuple{
        number_field(&R::icon, &R::icon_site),
        list_field(&R::clo_sub_palettes, R::num_clo_sub_palettes_site, R::clo_sub_palettes_site)};
};

template <>
struct StoredFields<CloTextureEffect> {
    using R = CloTextureEffect;
    static constexpr auto list = std::tuple{number_field(&R::old_texture, &R::old_texture_site),
                                            number_field(&R::new_texture, &R::new_texture_site)};
};

template <>
struct StoredFields<CloObjectEffect> {
    using R = CloObjectEffect;
    static constexpr auto list = std::tuple{
        number_field(&R::index, &R::index_site), number_field(&R::model_id, &R::model_id_site),
        list_field(&R::clo_texture_effects, R::num_clo_texture_effects_site,
                   R::clo_texture_effects_site)};
};

template <>
struct StoredFields<ClothingBaseEffect> {
    using R = ClothingBaseEffect;
    static constexpr auto list = std::tuple{list_field(
        &R::clo_object_effects, R::num_clo_object_effects_site, R::clo_object_effects_site)};
};

template <>
struct StoredFields<ClothingTable> {
    using R = ClothingTable;
    static constexpr auto list =
        std::tuple{number_field(&R::id), table_field(&R::clothing_base_effects),
                   table_field(&R::clothing_sub_pal_effects)};
};

template <class Record, class Owner, class Visitor>
constexpr bool visit_field(Record& record, const NumberField<Owner>& field, Visitor& visitor) {
    return visitor.number(record.*field.member, field.site);
}

template <class Record, class Owner, class Element, class Visitor>
constexpr bool visit_field(Record& record, const ListField<Owner, Element>& field,
                           Visitor& visitor) {
    return visitor.list(record.*field.member, *field.count_site, *field.site);
}

template <class Record, class Owner, class Value, class Visitor>
constexpr bool visit_field(Record& record, const TableField<Owner, Value>& field,
                           Visitor& visitor) {
    return visitor.table(record.*field.member);
}

// Hands `record`'s fields (const or not) to `visitor` in stored order, as
// `number(value, site pointer)`, `list(list, count site, site)` and `table(table)`, each giving
// whether to go on. False where the visitor stopped.
template <class Record, class Visitor>
constexpr bool visit_fields(Record& record, Visitor& visitor) {
    return std::apply(
        [&](const auto&... field) { return (visit_field(record, field, visitor) && ...); },
        StoredFields<std::remove_const_t<Record>>::list);
}

// The fewest bytes a record's stored form takes: four for each number and each count, four for
// an empty packed table.
template <class Record>
inline constexpr std::size_t smallest_stored_size =
    4 * std::tuple_size_v<std::remove_const_t<decltype(StoredFields<Record>::list)>>;

namespace fields_detail {

template <class Field>
inline constexpr bool is_number_field = false;
template <class Record>
inline constexpr bool is_number_field<NumberField<Record>> = true;

// Whether a record of numbers only lies in memory, on this machine, exactly as it is stored:
// its fields one after another in stored order, four bytes each, little-endian, nothing between.
template <class Record>
constexpr bool laid_out_as_stored() {
    constexpr auto fields = StoredFields<Record>::list;
    constexpr std::size_t count = std::tuple_size_v<decltype(fields)>;
    if constexpr (std::endian::native != std::endian::little ||
                  !std::is_trivially_copyable_v<Record> || sizeof(Record) != 4 * count ||
                  !std::apply(
                      [](const auto&... field) {
                          return (is_number_field<std::remove_cvref_t<decltype(field)>> && ...);
                      },
                      fields)) {
        return false;
    } else {
        Record record{};
        std::uint32_t next = 1;
        std::apply([&](const auto&... field) { ((record.*field.member = next++), ...); }, fields);
        const auto words = std::bit_cast<std::array<std::uint32_t, count>>(record);
        for (std::size_t i = 0; i < count; ++i) {
            if (words[i] != i + 1) {
                return false;
            }
        }
        return true;
    }
}

// Stands for any member in a brace initialisation; never called.
struct AnyMember {
    template <class T>
    operator T() const;
};

template <class Record, std::size_t... I>
constexpr bool initialisable_from(std::index_sequence<I...>) {
    return requires {
        Record{(void(I), AnyMember{})...};
    };
}

// The number of data members of an aggregate: the most initialisers it takes.
template <class Record, std::size_t count = 0>
constexpr std::size_t member_count() {
    if constexpr (initialisable_from<Record>(std::make_index_sequence<count + 1>{})) {
        return member_count<Record, count + 1>();
    } else {
        return count;
    }
}

template <class Record>
constexpr bool lists_every_member =
    member_count<Record>() ==
    std::tuple_size_v<std::remove_const_t<decltype(StoredFields<Record>::list)>>;

}  // namespace fields_detail

// A record whose list can be copied from its stored bytes whole.
template <class Record>
inline constexpr bool stored_as_in_memory = fields_detail::laid_out_as_stored<Record>();

// A member declared in a record but not listed above would be neither read nor written.
static_assert(fields_detail::lists_every_member<CloSubPaletteRange>);
static_assert(fields_detail::lists_every_member<CloSubPalette>);
static_assert(fields_detail::lists_every_member<CloSubPalEffect>);
static_assert(fields_detail::lists_every_member<CloTextureEffect>);
static_assert(fields_detail::lists_every_member<CloObjectEffect>);
static_assert(fields_detail::lists_every_member<ClothingBaseEffect>);
static_assert(fields_detail::lists_every_member<ClothingTable>);

// The lists most numerous in real tables, copied whole on a little-endian machine.
static_assert(std::endian::native != std::endian::little ||
              (stored_as_in_memory<CloTextureEffect> && stored_as_in_memory<CloSubPaletteRange>));

}  // namespace tarnwick_dat
