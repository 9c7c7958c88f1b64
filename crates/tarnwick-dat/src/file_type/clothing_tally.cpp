#include "tarnwick_dat/file_type/clothing_tally.hpp"

namespace tarnwick_dat {

void ClothingTally::add(const ClothingTable& table) {
    base_effects += table.clothing_base_effects.size();
    sub_pal_effects += table.clothing_sub_pal_effects.size();
    for (const auto& [key, base_effect] : table.clothing_base_effects) {
        object_effects += base_effect.clo_object_effects.size();
        for (const CloObjectEffect& object_effect : base_effect.clo_object_effects) {
            texture_swaps += object_effect.clo_texture_effects.size();
        }
    }
    for (const auto& [key, sub_pal_effect] : table.clothing_sub_pal_effects) {
        sub_palettes += sub_pal_effect.clo_sub_palettes.size();
    }
}

void ClothingTally::add(const ClothingTally& other) {
    base_effects += other.base_effects;
    sub_pal_effects += other.sub_pal_effects;
    object_effects += other.object_effects;
    texture_swaps += other.texture_swaps;
    sub_palettes += other.sub_palettes;
}

}  // namespace tarnwick_dat
