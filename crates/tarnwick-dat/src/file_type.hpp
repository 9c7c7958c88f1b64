#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "tarnwick_base/export.hpp"

namespace tarnwick_dat {

// The kind of archive, as its header describes it.
enum class DatKind : std::uint8_t {
    Portal = 0,
    Cell = 1,
    Local = 2,
    Unknown = 3,
};

// File types named by the top byte of a portal identifier; the value is that byte.
#define TARNWICK_PORTAL_FILE_TYPES(X) \
    X(Model, 0x01)                    \
    X(SetupModel, 0x02)               \
    X(Animation, 0x03)                \
    X(Palette, 0x04)                  \
    X(SurfaceTexture, 0x05)           \
    X(Texture, 0x06)                  \
    X(Surface, 0x08)                  \
    X(MotionTable, 0x09)              \
    X(Audio, 0x0A)                    \
    X(EnvCell, 0x0D)                  \
    X(Table, 0x0E)                    \
    X(PaletteSet, 0x0F)               \
    X(Clothing, 0x10)                 \
    X(DegradeInfo, 0x11)              \
    X(Scene, 0x12)                    \
    X(Region, 0x13)                   \
    X(Keymap, 0x14)                   \
    X(RenderTexture, 0x15)            \
    X(RenderMaterial, 0x16)           \
    X(MaterialModifier, 0x17)         \
    X(MaterialInstance, 0x18)         \
    X(RenderMesh, 0x19)               \
    X(SoundTable, 0x20)               \
    X(Layout, 0x21)                   \
    X(EnumMapper, 0x22)               \
    X(StringTable, 0x23)              \
    X(StringTableString, 0x24)        \
    X(DataIDMapper, 0x25)             \
    X(ActionMap, 0x26)                \
    X(DualDataIDMapper, 0x27)         \
    X(CombatManeuverTable, 0x30)      \
    X(LanguageString, 0x31)           \
    X(ParticleEmitter, 0x32)          \
    X(PhysicsScript, 0x33)            \
    X(PhysicsScriptTable, 0x34)       \
    X(MutateFilter, 0x38)             \
    X(MasterProperty, 0x39)           \
    X(Font, 0x40)                     \
    X(StringState, 0x41)              \
    X(BSPNodeType, 0x42)              \
    X(DatabaseProperties, 0x78)

// File types not named by a top byte. Custom and MotionKinematics are never derived from an
// identifier.
#define TARNWICK_OTHER_FILE_TYPES(X) \
    X(Custom, 0xFFFFFF00)            \
    X(MotionKinematics, 0xFFFFFF01)  \
    X(Landblock, 0xFE)               \
    X(LandblockInfo, 0xFF)           \
    X(IndoorCell, 0xFD)              \
    X(Iteration, 0xFE01)             \
    X(Unknown, 0x00)

#define TARNWICK_FILE_TYPE_ENUMERATOR(name, value) name = value,

// What a file holds, as its identifier tells.
enum class DatFileType : std::uint32_t {
    TARNWICK_PORTAL_FILE_TYPES(TARNWICK_FILE_TYPE_ENUMERATOR)
        TARNWICK_OTHER_FILE_TYPES(TARNWICK_FILE_TYPE_ENUMERATOR)
};

#undef TARNWICK_FILE_TYPE_ENUMERATOR

// The archive kind's name ("Portal").
TARNWICK_DAT_API std::string_view dat_kind_name(DatKind kind);

// The type's name as declared ("Clothing").
TARNWICK_DAT_API std::string_view file_type_name(DatFileType type);
// The type of that name, in any case ("clothing", "CLOTHING").
TARNWICK_DAT_API std::optional<DatFileType> file_type_by_name(std::string_view name);
// Every type, in the order declared above.
TARNWICK_DAT_API std::span<const DatFileType> all_file_types();

// The type that a portal identifier's top byte names; 0x07 is a second prefix for Texture.
TARNWICK_DAT_API DatFileType classify_portal_prefix(std::uint8_t prefix);

// The type of a file identifier when the archive kind is not known: the landblock patterns of
// the low 16 bits come before the top byte.
TARNWICK_DAT_API DatFileType from_id(std::uint32_t id);

// The type of a file identifier in an archive of the given kind: a cell archive looks only at
// the low 16 bits, a portal or local archive only at the top byte.
TARNWICK_DAT_API DatFileType from_id_in_dat(std::uint32_t id, DatKind dat_kind);

}  // namespace tarnwick_dat
