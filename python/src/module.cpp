// The extension module tarnwick_dat._tarnwick_dat: the archive library's reading, and the
// tool's clothing and verify shapes, for Python. Reads run with the GIL released; every library
// error becomes a tarnwick_dat.DatError (defined in Python, _errors.py).

#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "json_to_python.hpp"
#include "tarnwick_dat_tool/archive.hpp"
#include "tarnwick_dat_tool/clothing_file.hpp"
#include "tarnwick_dat_tool/clothing_json.hpp"
#include "tarnwick_dat_tool/ids.hpp"
#include "tarnwick_dat_tool/ordered_reads.hpp"
#include "tarnwick_dat_tool/verify.hpp"

namespace tarnwick_python {

namespace py = pybind11;
namespace dat = tarnwick_dat;
namespace tool = tarnwick_tool;

namespace {

// Runs `work` with the GIL released, so that other threads run meanwhile.
template <class Work>
auto without_gil(Work&& work) {
    py::gil_scoped_release release;
    return work();
}

struct KindName {
    std::string_view operator()(const dat::DatError::Io&) const { return "Io"; }
    std::string_view operator()(const dat::DatError::BinRead&) const { return "BinRead"; }
    std::string_view operator()(const dat::DatError::NotFound&) const { return "NotFound"; }
    std::string_view operator()(const dat::DatError::DuplicateId&) const { return "DuplicateId"; }
    std::string_view operator()(const dat::DatError::DuplicateNamespacedId&) const {
        return "DuplicateNamespacedId";
    }
    std::string_view operator()(const dat::DatError::InvalidMagic&) const { return "InvalidMagic"; }
    std::string_view operator()(const dat::DatError::UnsupportedVersion&) const {
        return "UnsupportedVersion";
    }
    std::string_view operator()(const dat::DatError::InvalidNamespace&) const {
        return "InvalidNamespace";
    }
    std::string_view operator()(const dat::DatError::Corruption&) const { return "Corruption"; }
    std::string_view operator()(const dat::DatError::DecompressionFailed&) const {
        return "DecompressionFailed";
    }
    std::string_view operator()(const dat::DatError::PathError&) const { return "PathError"; }
    std::string_view operator()(const dat::DatError::Other&) const { return "Other"; }
};

[[noreturn]] void raise_dat_error(std::string_view kind, const std::string& message,
                                  bool not_found = false) {
    const py::module_ errors = py::module_::import("tarnwick_dat._errors");
    const py::object type = errors.attr(not_found ? "NotFoundError" : "DatError");
    const py::object error = type(py::str{kind.data(), kind.size()}, message);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raise_dat_error(const dat::DatError& error) {
    raise_dat_error(std::visit(KindName{}, error.kind()), error.message(),
                    error.is<dat::DatError::NotFound>());
}

template <class T>
T value_or_raise(std::expected<T, dat::DatError>&& result) {
    if (!result) {
        raise_dat_error(result.error());
    }
    return std::move(*result);
}

// The id that a Python integer names, or nothing when it is not one of 32 bits; raises
// TypeError for what is not an integer.
std::optional<std::uint32_t> as_id(py::handle value) {
    const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) {
        throw py::error_already_set();
    }
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0 || number < 0 || number > 0xFFFFFFFFLL) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(number);
}

std::uint32_t expanded_size(const dat::DatDatabase& database, std::uint32_t id) {
    return value_or_raise(without_gil([&] { return database.expanded_size(id); }));
}

// What one read works with: a read-ahead window, which carries on from where the last read
// through it stopped (files read in id order mostly lie one after another), and the buffer the
// stored bytes are gathered into, kept for the next read.
struct Reader {
    dat::ReadWindow window{tool::ordered_read_span};
    std::vector<std::uint8_t> stored;
};

// A stored buffer grown past this by a large file is let go after the read rather than kept.
constexpr std::size_t kept_stored_capacity = std::size_t{1} << 20;

// Readers lent out for one read each, so that threads read at once, each through its own, and a
// read goes on from where an earlier one stopped; one is made when all are lent.
class ReaderPool {
  public:
    class Lease {
      public:
        Lease(ReaderPool& pool, std::unique_ptr<Reader> reader)
            : pool_{pool}, reader_{std::move(reader)} {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() { pool_.give_back(std::move(reader_)); }
        Reader& operator*() const { return *reader_; }

      private:
        ReaderPool& pool_;
        std::unique_ptr<Reader> reader_;
    };

    Lease take() {
        const std::lock_guard lock{mutex_};
        if (idle_.empty()) {
            return Lease{*this, std::make_unique<Reader>()};
        }
        auto reader = std::move(idle_.back());
        idle_.pop_back();
        return Lease{*this, std::move(reader)};
    }

  private:
    void give_back(std::unique_ptr<Reader> reader) {
        if (reader->stored.capacity() > kept_stored_capacity) {
            reader->stored = {};
        }
        const std::lock_guard lock{mutex_};
        idle_.push_back(std::move(reader));
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<Reader>> idle_;
};

// An open archive and the readers its reads go through, let go together when the last read in
// flight ends after the archive was closed.
struct OpenArchive {
    explicit OpenArchive(dat::DatDatabase opened) : database{std::move(opened)} {}
    const dat::DatDatabase database;
    ReaderPool readers;
};

// A file's stored bytes, read into the reader's buffer, and the length they expand to.
struct StoredFile {
    bool compressed = false;
    std::size_t length = 0;
};

// Reads the stored bytes of file `id` into `reader`. A compressed stream that cannot give the
// length it declares is refused here, before room is made for it.
std::expected<StoredFile, dat::DatError> read_stored_file(const dat::DatDatabase& database,
                                                          std::uint32_t id, Reader& reader) {
    const auto found = database.files().find(id);
    if (found == database.files().end()) {
        return std::unexpected{dat::DatError{dat::DatError::NotFound{id}}};
    }
    const dat::DatFileEntry& entry = found->second;
    TARNWICK_TRY(tool::read_stored(database, entry, reader.window, reader.stored));
    if (!entry.is_compressed()) {
        return StoredFile{false, reader.stored.size()};
    }
    const std::uint32_t declared = dat::declared_lrs_size(reader.stored);
    if (dat::lrs_output_limit(reader.stored) < declared) {
        return std::unexpected{dat::DatError{dat::DatError::DecompressionFailed{id}}};
    }
    return StoredFile{true, declared};
}

// Puts the bytes of the file that `read_stored_file` read into `reader` in `out`, `stored.length`
// of them; false when a compressed file expands to fewer bytes than its stream declares.
bool expand(const StoredFile& stored, const Reader& reader, std::span<std::uint8_t> out) {
    if (!stored.compressed) {
        if (!out.empty()) {
            std::memcpy(out.data(), reader.stored.data(), out.size());
        }
        return true;
    }
    return dat::decompress_lrs_into(reader.stored, out) == stored.length;
}

// A bytes object of `length` bytes, to be filled before any other thread sees it.
py::bytes unfilled_bytes(std::size_t length) {
    auto bytes = py::reinterpret_steal<py::bytes>(
        PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(length)));
    if (!bytes) {
        throw py::error_already_set();
    }
    return bytes;
}

std::span<std::uint8_t> room_of(const py::bytes& bytes) {
    return {reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(bytes.ptr())),
            static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr()))};
}

// The file's bytes, expanded, made straight in a bytes object. A compressed file that expands to
// fewer bytes than its stream declares is an error, as for the tool's cat, never a short
// result.
py::bytes read_file(OpenArchive& archive, std::uint32_t id) {
    const dat::DatDatabase& database = archive.database;
    const auto reader = archive.readers.take();
    // A plain file's size is known before it is read: its chain goes straight into the object
    // when the archive is long enough to hold it (a longer one fails below, as any read).
    const auto found = database.files().find(id);
    if (found != database.files().end() && !found->second.is_compressed() &&
        found->second.size <= database.file_length()) {
        const dat::DatFileEntry& entry = found->second;
        auto bytes = unfilled_bytes(entry.size);
        const auto room = room_of(bytes);
        const auto read =
            without_gil([&] { return tool::read_stored(database, entry, (*reader).window, room); });
        if (!read) {
            raise_dat_error(read.error());
        }
        return bytes;
    }
    const StoredFile stored =
        value_or_raise(without_gil([&] { return read_stored_file(database, id, *reader); }));
    auto bytes = unfilled_bytes(stored.length);
    const auto room = room_of(bytes);
    if (!without_gil([&] { return expand(stored, *reader, room); })) {
        raise_dat_error(dat::DatError{dat::DatError::DecompressionFailed{id}});
    }
    return bytes;
}

class Archive {
  public:
    Archive(dat::DatDatabase database, std::string path)
        : open_{std::make_shared<OpenArchive>(std::move(database))}, path_{std::move(path)} {}

    // The open archive, kept alive by the caller for the length of a read even when another
    // thread closes it meanwhile.
    std::shared_ptr<OpenArchive> opened() const {
        if (!open_) {
            throw py::value_error("I/O operation on a closed archive");
        }
        return open_;
    }
    std::shared_ptr<const dat::DatDatabase> database() const {
        auto open = opened();
        return {open, &open->database};
    }
    void close() { open_.reset(); }
    bool closed() const { return !open_; }
    const std::string& file_name() const { return path_; }
    // As given to open(), bytes that are not UTF-8 escaped as os.fsdecode escapes them.
    py::object path() const { return py::module_::import("os").attr("fsdecode")(py::bytes{path_}); }

  private:
    std::shared_ptr<OpenArchive> open_;
    std::string path_;
};

// A directory entry, with the archive that holds it for the expanded size, read when asked.
class Entry {
  public:
    Entry(dat::DatFileEntry entry, dat::DatFileType type, std::shared_ptr<const Archive> archive)
        : entry_{entry}, type_{type}, archive_{std::move(archive)} {}

    const dat::DatFileEntry& entry() const { return entry_; }
    std::string_view type_name() const { return dat::file_type_name(type_); }

    std::uint32_t size() {
        if (!entry_.is_compressed()) {
            return entry_.size;
        }
        if (!expanded_size_) {
            expanded_size_ = expanded_size(*archive_->database(), entry_.id);
        }
        return *expanded_size_;
    }

    py::object timestamp() const {
        const py::module_ datetime = py::module_::import("datetime");
        return datetime.attr("datetime")
            .attr("fromtimestamp")(entry_.modified_time().time_since_epoch().count(),
                                   datetime.attr("timezone").attr("utc"));
    }

    std::string repr() const {
        return "<tarnwick_dat.Entry " + tool::format_id(entry_.id) + " " +
               std::string{type_name()} + ", " + std::to_string(entry_.size) + " bytes stored" +
               (entry_.is_compressed() ? " compressed" : "") + ", " +
               tool::iso_timestamp(entry_.timestamp) + ">";
    }

  private:
    dat::DatFileEntry entry_;
    dat::DatFileType type_;
    std::shared_ptr<const Archive> archive_;
    std::optional<std::uint32_t> expanded_size_;
};

std::shared_ptr<Archive> open_archive(const py::object& path) {
    const py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
    std::string name = encoded;
    auto database = without_gil([&] { return dat::DatDatabase::open(name); });
    return std::make_shared<Archive>(value_or_raise(std::move(database)), std::move(name));
}

// Entries in ascending id order, each made into an Entry only when it is reached, so that a loop
// over a large archive holds one at a time.
class EntryIterator {
  public:
    EntryIterator(std::vector<dat::DatFileEntry> entries, const dat::DatDatabase& database,
                  std::shared_ptr<const Archive> archive)
        : entries_{std::move(entries)}, archive_{std::move(archive)} {
        types_.reserve(entries_.size());
        for (const dat::DatFileEntry& entry : entries_) {
            types_.push_back(database.type_of(entry.id));
        }
    }

    Entry next() {
        if (next_ == entries_.size()) {
            throw py::stop_iteration();
        }
        const std::size_t at = next_++;
        return Entry{entries_[at], types_[at], archive_};
    }

  private:
    std::vector<dat::DatFileEntry> entries_;
    std::vector<dat::DatFileType> types_;
    std::size_t next_ = 0;
    std::shared_ptr<const Archive> archive_;
};

EntryIterator entries(const std::shared_ptr<const Archive>& archive, const py::object& type_name,
                      const py::object& ids) {
    const auto database = archive->database();
    std::optional<dat::DatFileType> type;
    if (!type_name.is_none()) {
        const auto name = type_name.cast<std::string>();
        type = dat::file_type_by_name(name);
        if (!type) {
            throw py::value_error("no file type named " + name);
        }
    }
    std::vector<dat::DatFileEntry> listed = database->entries(type);
    if (!ids.is_none()) {
        std::unordered_set<std::uint32_t> wanted;
        for (const py::handle id : py::iter(ids)) {
            if (const auto number = as_id(id)) {
                wanted.insert(*number);
            }
        }
        std::erase_if(listed,
                      [&](const dat::DatFileEntry& entry) { return !wanted.contains(entry.id); });
    }
    return EntryIterator{std::move(listed), *database, archive};
}

py::object entry(const std::shared_ptr<const Archive>& archive, std::uint32_t id) {
    const auto database = archive->database();
    const auto found = database->files().find(id);
    if (found == database->files().end()) {
        raise_dat_error(dat::DatError{dat::DatError::NotFound{id}});
    }
    return py::cast(Entry{found->second, database->type_of(id), archive});
}

py::bytes read(const Archive& archive, std::uint32_t id) {
    const auto open = archive.opened();
    return read_file(*open, id);
}

py::object clothing(const Archive& archive, std::uint32_t id) {
    const auto open = archive.opened();
    const dat::DatDatabase& database = open->database;
    struct Outcome {
        std::optional<std::string> wrong_type;
        tool::ClothingReading reading;
        nlohmann::json table;
    };
    auto outcome = without_gil([&]() -> std::expected<Outcome, dat::DatError> {
        const auto reader = open->readers.take();
        auto stored = read_stored_file(database, id, *reader);
        if (!stored) {
            return std::unexpected{std::move(stored.error())};
        }
        std::vector<std::uint8_t> bytes(stored->length);
        if (!expand(*stored, *reader, bytes)) {
            return std::unexpected{dat::DatError{dat::DatError::DecompressionFailed{id}}};
        }
        Outcome result;
        const dat::DatFileType type = database.type_of(id);
        if (type != dat::DatFileType::Clothing) {
            result.wrong_type = tool::format_id(id) + " is a " +
                                std::string{dat::file_type_name(type)} +
                                " file, not a clothing table";
            return result;
        }
        result.reading = tool::read_clothing_file(bytes, id);
        if (result.reading.table && !result.reading.problem) {
            result.table = tool::clothing_json(*result.reading.table);
        }
        return result;
    });
    const Outcome result = value_or_raise(std::move(outcome));
    if (result.wrong_type) {
        raise_dat_error("Other", *result.wrong_type);
    }
    if (result.reading.problem) {
        raise_dat_error(result.reading.table ? "Other" : "BinRead", result.reading.problem->text);
    }
    return json_to_python(result.table);
}

py::list verify(const Archive& archive) {
    // Holds the archive open while it is checked.
    const auto database = archive.database();
    std::vector<nlohmann::json> problems;
    without_gil([&] {
        tool::verify_archive(archive.file_name(),
                             [&](const nlohmann::json& problem) { problems.push_back(problem); });
    });
    py::list listed;
    for (const nlohmann::json& problem : problems) {
        listed.append(json_to_python(problem));
    }
    return listed;
}

py::object header_object(const dat::DatHeader& header) {
    return py::cast(header);
}

}  // namespace

PYBIND11_MODULE(_tarnwick_dat, module) {
    module.doc() = "The compiled part of tarnwick_dat; import tarnwick_dat instead.";
    // The exceptions are raised from here; importing them first makes a broken install fail at
    // import rather than at the first error.
    py::module_::import("tarnwick_dat._errors");

    py::class_<dat::DatHeader>(module, "Header")
        .def_readonly("magic", &dat::DatHeader::magic)
        .def_readonly("block_size", &dat::DatHeader::block_size)
        .def_readonly("file_size", &dat::DatHeader::file_size)
        .def_readonly("dataset", &dat::DatHeader::dataset)
        .def_readonly("subset", &dat::DatHeader::subset)
        .def_readonly("free_head", &dat::DatHeader::free_head)
        .def_readonly("free_tail", &dat::DatHeader::free_tail)
        .def_readonly("free_count", &dat::DatHeader::free_count)
        .def_readonly("root_offset", &dat::DatHeader::root_offset)
        .def_readonly("new_lru", &dat::DatHeader::new_lru)
        .def_readonly("old_lru", &dat::DatHeader::old_lru)
        .def_readonly("use_lru", &dat::DatHeader::use_lru)
        .def_readonly("master_map_id", &dat::DatHeader::master_map_id)
        .def_readonly("engine_version", &dat::DatHeader::engine_version)
        .def_readonly("game_version", &dat::DatHeader::game_version)
        .def_property_readonly(
            "version_string",
            [](const dat::DatHeader& header) {
                const auto& text = header.version_string;
                return py::bytes{reinterpret_cast<const char*>(text.data()), text.size()};
            })
        .def_readonly("version_minor", &dat::DatHeader::version_minor)
        .def("__repr__", [](const dat::DatHeader& header) {
            return "<tarnwick_dat.Header magic=0x" + tarnwick_base::hex_upper(header.magic) +
                   " block_size=" + std::to_string(header.block_size) +
                   " file_size=" + std::to_string(header.file_size) +
                   " root_offset=" + std::to_string(header.root_offset) + ">";
        });

    // The classes are local to the module, as no other extension takes them: a call then finds
    // its class in one look rather than two, for the many entries and reads of a loop.
    py::class_<Entry>(module, "Entry", py::module_local())
        .def_property_readonly("id", [](const Entry& entry) { return entry.entry().id; })
        .def_property_readonly("type", &Entry::type_name)
        .def_property_readonly("size", &Entry::size)
        .def_property_readonly("stored_size", [](const Entry& entry) { return entry.entry().size; })
        .def_property_readonly("compressed",
                               [](const Entry& entry) { return entry.entry().is_compressed(); })
        .def_property_readonly("bit_flags",
                               [](const Entry& entry) { return entry.entry().bit_flags; })
        .def_property_readonly("timestamp", &Entry::timestamp)
        .def_property_readonly("version", [](const Entry& entry) { return entry.entry().version; })
        .def_property_readonly("offset", [](const Entry& entry) { return entry.entry().offset; })
        .def("__repr__", &Entry::repr);

    py::class_<EntryIterator>(module, "EntryIterator", py::module_local())
        .def("__iter__", [](const py::object& self) { return self; })
        .def("__next__", &EntryIterator::next);

    py::class_<Archive, std::shared_ptr<Archive>>(module, "Archive", py::module_local())
        .def_property_readonly(
            "header",
            [](const Archive& archive) { return header_object(archive.database()->header()); })
        .def_property_readonly("kind",
                               [](const Archive& archive) {
                                   return dat::dat_kind_name(archive.database()->dat_kind());
                               })
        .def_property_readonly("path", &Archive::path)
        .def_property_readonly("closed", &Archive::closed)
        .def("close", &Archive::close)
        .def("__enter__", [](const std::shared_ptr<Archive>& archive) { return archive; })
        .def("__exit__", [](Archive& archive, const py::args&) { archive.close(); })
        .def("__len__", [](const Archive& archive) { return archive.database()->files().size(); })
        .def("__contains__",
             [](const Archive& archive, const py::handle id) {
                 const auto database = archive.database();
                 if (!PyIndex_Check(id.ptr())) {
                     return false;
                 }
                 const auto number = as_id(id);
                 return number && database->files().contains(*number);
             })
        .def("__iter__",
             [](const std::shared_ptr<Archive>& archive) {
                 return entries(archive, py::none(), py::none());
             })
        .def("entries", &entries, py::arg("type") = py::none(), py::arg("ids") = py::none())
        .def("entry", &entry, py::arg("id"))
        .def("read", &read, py::arg("id"))
        .def(
            "expanded_size",
            [](const Archive& archive, std::uint32_t id) {
                return expanded_size(*archive.database(), id);
            },
            py::arg("id"))
        .def("clothing", &clothing, py::arg("id"))
        .def("verify", &verify)
        .def("__repr__", [](const Archive& archive) {
            return std::string{"<tarnwick_dat.Archive "} + (archive.closed() ? "closed " : "") +
                   py::repr(archive.path()).cast<std::string>() + ">";
        });

    module.def("open", &open_archive, py::arg("path"));
    module.def("file_types", [] {
        py::list names;
        for (const dat::DatFileType type : dat::all_file_types()) {
            const std::string_view name = dat::file_type_name(type);
            names.append(py::str{name.data(), name.size()});
        }
        return names;
    });
}

}  // namespace tarnwick_python
