#include "clothing_json.hpp"

#include "ids.hpp"

namespace tarnwick_tool {

namespace {

using nlohmann::json;

template <class Record, class ToJson>
json list(const dat::RecordList<Record>& records, ToJson to_json) {
    json array = json::array();
    for (const Record& record : records) {
        array.push_back(to_json(record));
    }
    return array;
}

template <class Value, class ToJson>
json keyed(const dat::PackableHashTable<Value>& table, ToJson to_json) {
    json object = json::object();
    for (const auto& [key, value] : table) {
        object[format_id(key)] = to_json(value);
    }
    return object;
}

json texture_effect(const dat::CloTextureEffect& effect) {
    json object = json::object();
    object["old_texture"] = format_id(effect.old_texture);
    object["new_texture"] = format_id(effect.new_texture);
    return object;
}

json object_effect(const dat::CloObjectEffect& effect) {
    json object = json::object();
    object["index"] = effect.index;
    object["model_id"] = format_id(effect.model_id);
    object["clo_texture_effects"] = list(effect.clo_texture_effects, texture_effect);
    return object;
}

json base_effect(const dat::ClothingBaseEffect& effect) {
    json object = json::object();
    object["clo_object_effects"] = list(effect.clo_object_effects, object_effect);
    return object;
}

json sub_palette_range(const dat::CloSubPaletteRange& range) {
    json object = json::object();
    object["offset"] = range.offset;
    object["num_colors"] = range.num_colors;
    return object;
}

json sub_palette(const dat::CloSubPalette& palette) {
    json object = json::object();
    object["ranges"] = list(palette.ranges, sub_palette_range);
    object["palette_set"] = format_id(palette.palette_set);
    return object;
}

json sub_pal_effect(const dat::CloSubPalEffect& effect) {
    json object = json::object();
    object["icon"] = format_id(effect.icon);
    object["clo_sub_palettes"] = list(effect.clo_sub_palettes, sub_palette);
    return object;
}

}  // namespace

json clothing_json(const dat::ClothingTable& table) {
    json object = json::object();
    object["id"] = format_id(table.id);
    object["clothing_base_effects"] = keyed(table.clothing_base_effects, base_effect);
    object["clothing_sub_pal_effects"] = keyed(table.clothing_sub_pal_effects, sub_pal_effect);
    return object;
}

}  // namespace tarnwick_tool
