#pragma once

// tarnwick_dat reads portal.dat game archives: it opens an archive, lists its directory, gives
// each file's bytes (expanded when stored compressed) and parses clothing tables. It never
// writes or prints; every failure is a value, `std::expected<T, DatError>`, and no exception
// crosses its interface. C++23; link `tarnwick_dat::tarnwick_dat` (CMake) or `pkg-config
// tarnwick_dat`.
//
//   #include <tarnwick_dat/tarnwick_dat.hpp>
//
//   using namespace tarnwick_dat;
//   auto dat = DatDatabase::open("portal.dat");   // or open(*get_portal_dat_path())
//   if (!dat) {
//       std::cerr << dat.error().display() << "\n";
//       return 1;
//   }
//   for (const DatFileEntry& entry : dat->entries(DatFileType::Clothing)) {   // ascending ids
//       auto bytes = dat->get_file(entry.id);
//       if (!bytes) { ...; continue; }
//       auto table = read_clothing_table(*bytes);
//       std::cout << entry.id << " " << entry.size << " " << bytes->size() << " "
//                 << (table ? table->clothing_base_effects.size() : 0) << "\n";
//   }
//
// What each header holds:
// - lib.hpp: `DatDatabase` (open by path or over your own positioned reads, whole or keeping
//   one type's entries, `header()`,
//   `files()`, `entries(type)`, `type_of(id)`, `get_file(id)`), `DatDirectory` (what `files()`
//   gives: (id, entry) pairs in ascending id order, `find`, `contains`), `DatHeader`,
//   `DatFileEntry`;
// - file_type.hpp: `DatFileType` and `DatKind`, their names, and what an id's type is;
// - file_type/clothing.hpp: the clothing records and `read_clothing_table`;
// - error.hpp: `DatError`, its kinds and its texts; io_error.hpp and read_error.hpp: the I/O
//   and record-reading failures it wraps;
// - utils/positioned_read.hpp: `FileExtPolyfill`, the positioned reads an archive is opened
//   over; record_reader.hpp: reading records from bytes or a `Reader`;
// - utils/portal_dat_path.hpp: where the archive is looked for (TARNWICK_PORTAL_DAT);
// - layout.hpp: the on-disk layout (header fields, directory nodes, link words);
// - version.hpp: TARNWICK_DAT_VERSION_MAJOR, _MINOR, _PATCH and _STRING.

#include "tarnwick_dat/version.hpp"

#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/layout.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/record_reader.hpp"
#include "tarnwick_dat/utils/portal_dat_path.hpp"
#include "tarnwick_dat/utils/positioned_read.hpp"
