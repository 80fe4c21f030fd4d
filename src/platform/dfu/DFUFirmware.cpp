#include "talvaren/platform/dfu/DFUFirmware.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "talvaren/platform/HexText.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren::platform::dfu {
namespace {

/// Parts in the order they are sent: the radio stack and bootloader before the application.
constexpr std::array<const char*, 4> kPartKinds{"softdevice_bootloader", "softdevice", "bootloader", "application"};
/// What one update can carry: the images of every part of a package end up in one target's flash, and
/// the chips that run this bootloader have at most 1 MiB of it.
constexpr zip_uint64_t kMaxImageBytes = 1u << 20;
/// The largest package: its images (stored or deflated, never much more than their own size), with as
/// much again for the init packets, the manifest, the zip's headers and entries the package carries
/// besides. Also the most that all the entries read from one package may hold together once inflated.
constexpr zip_uint64_t kMaxPackageBytes = 2u << 20;

thread_local std::string failure;

std::shared_ptr<DFUFirmware> fail(std::string why) {
  failure = std::move(why);
  return nullptr;
}

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

/// Reads the entries of one archive, together at most what a package may hold.
class EntryReader {
 public:
  explicit EntryReader(zip_t* archive) : archive_(archive) {}

  /// The bytes of entry `name`, or none with the reason in `why`: missing, more than `limit` or than
  /// what is left of the package's budget, or not readable whole (a damaged entry fails its CRC here).
  std::optional<Bytes> read(const std::string& name, zip_uint64_t limit, std::string& why) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(archive_, name.c_str(), 0, &stat) != 0) {
      why = "the package has no " + name;
      return std::nullopt;
    }
    if (!(stat.valid & ZIP_STAT_SIZE)) {
      why = "the package does not tell the size of " + name;
      return std::nullopt;
    }
    if (stat.size > std::min(limit, budget_)) {
      why = name + " holds " + std::to_string(stat.size) + " bytes, more than an update can carry";
      return std::nullopt;
    }
    std::unique_ptr<zip_file_t, EntryCloser> file(zip_fopen(archive_, name.c_str(), 0));
    if (!file) {
      why = name + " cannot be opened: " + zip_strerror(archive_);
      return std::nullopt;
    }
    Bytes bytes(static_cast<std::size_t>(stat.size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const zip_int64_t read = zip_fread(file.get(), bytes.data() + done, bytes.size() - done);
      if (read < 0) return unreadable(name, file.get(), why);
      if (read == 0) {
        why = name + " holds fewer bytes than the package states";
        return std::nullopt;
      }
      done += static_cast<std::size_t>(read);
    }
    // Only the end of the entry checks its CRC; and no byte may follow the size the archive states.
    std::uint8_t extra;
    const zip_int64_t more = zip_fread(file.get(), &extra, 1);
    if (more < 0) return unreadable(name, file.get(), why);
    if (more > 0) {
      why = name + " holds more bytes than the package states";
      return std::nullopt;
    }
    budget_ -= stat.size;
    return bytes;
  }

 private:
  static std::optional<Bytes> unreadable(const std::string& name, zip_file_t* file, std::string& why) {
    why = name + " cannot be read: " + zip_file_strerror(file);
    return std::nullopt;
  }

  zip_t* archive_;
  zip_uint64_t budget_ = kMaxPackageBytes;
};

std::shared_ptr<DFUFirmware> readArchive(zip_t* archive) {
  EntryReader reader(archive);
  std::string why;
  auto manifestBytes = reader.read("manifest.json", kMaxPackageBytes, why);
  if (!manifestBytes) return fail(why);
  const auto json =
      Json::parse(std::string_view(reinterpret_cast<const char*>(manifestBytes->data()), manifestBytes->size()));
  const JSON* manifest = json ? Json::member(*json, "manifest") : nullptr;
  if (!manifest || !manifest->is_object()) return fail("manifest.json is not a manifest");
  std::vector<DFUFirmware::Part> parts;
  zip_uint64_t imageBytes = 0;
  for (const char* kind : kPartKinds) {
    const JSON* entry = Json::member(*manifest, kind);
    if (!entry) continue;
    auto bin = Json::read<std::string>(*entry, "bin_file");
    auto dat = Json::read<std::string>(*entry, "dat_file");
    if (!bin || !dat) return fail(std::string("the manifest's ") + kind + " names no bin_file and dat_file");
    auto image = reader.read(*bin, kMaxImageBytes - imageBytes, why);
    if (!image) return fail(why);
    imageBytes += image->size();
    auto init = reader.read(*dat, kMaxPackageBytes, why);
    if (!init) return fail(why);
    if (image->empty() || init->empty()) return fail(std::string("the package lacks the files of its ") + kind);
    parts.push_back({kind, std::move(*init), std::move(*image)});
  }
  if (parts.empty()) return fail("the manifest names no firmware part");
  failure.clear();
  return std::make_shared<DFUFirmware>(std::move(parts));
}

/// The firmware in the archive `source` reads; frees the source when it cannot be opened.
std::shared_ptr<DFUFirmware> readSource(zip_source_t* source) {
  zip_error_t error;
  zip_error_init(&error);
  Archive archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
  zip_error_fini(&error);
  if (!archive) {
    zip_source_free(source);
    return fail("the package is not a zip archive");
  }
  return readArchive(archive.get());
}

std::string tooLarge(std::uint64_t size) {
  return "the package holds " + std::to_string(size) + " bytes, more than the " + std::to_string(kMaxPackageBytes) +
         " an update can carry";
}

/// The file path of a "file:" URL text or of an absolute path; none for anything else.
std::optional<std::string> pathOf(const std::string& text) {
  if (!text.empty() && text.front() == '/') return text;
  constexpr std::string_view scheme = "file://";
  if (text.size() <= scheme.size() || text.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
  std::string path;
  for (std::size_t i = scheme.size(); i < text.size(); ++i) {
    if (text[i] != '%') {
      path += text[i];
      continue;
    }
    if (i + 2 >= text.size() || hexDigitValue(text[i + 1]) < 0 || hexDigitValue(text[i + 2]) < 0) return std::nullopt;
    path += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
    i += 2;
  }
  // "file://localhost/x" and "file:///x" both name /x.
  if (path.rfind("localhost/", 0) == 0) path.erase(0, 9);
  if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

}  // namespace

std::string DFUFirmware::lastFailure() { return failure; }

std::size_t DFUFirmware::size() const {
  std::size_t total = 0;
  for (const auto& part : parts_) total += part.image.size();
  return total;
}

std::shared_ptr<DFUFirmware> DFUFirmware::make(const std::string& urlToZipFile) {
  auto path = pathOf(urlToZipFile);
  if (!path) return fail("not a file URL: " + urlToZipFile);
  // Not blocking on a FIFO; the size is that of the file opened, taken before a byte of it is read, and
  // the archive reads no further than it.
  const int fd = ::open(path->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail("cannot read " + *path);
  std::FILE* file = ::fdopen(fd, "rb");
  if (!file) {
    ::close(fd);
    return fail("cannot read " + *path);
  }
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    std::fclose(file);
    return fail("cannot read " + *path + ": not a file");
  }
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size == 0 || size > kMaxPackageBytes) {
    std::fclose(file);
    return fail(size == 0 ? std::string("the package is empty") : tooLarge(size));
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_filep_create(file, 0, static_cast<zip_int64_t>(size), &error);
  zip_error_fini(&error);
  if (!source) {
    std::fclose(file);
    return fail("cannot read " + *path);
  }
  return readSource(source);  // the source owns the file from here
}

std::shared_ptr<DFUFirmware> DFUFirmware::fromZipData(const Bytes& zip) {
  if (zip.empty()) return fail("the package is empty");
  if (zip.size() > kMaxPackageBytes) return fail(tooLarge(zip.size()));
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(zip.data(), zip.size(), 0, &error);
  zip_error_fini(&error);
  if (!source) return fail("cannot open the package");
  return readSource(source);
}

bool writeFirmwarePackage(const std::string& path, const std::vector<DFUFirmware::Part>& parts) {
  JSON manifest = JSON::object();
  for (const auto& part : parts) {
    if (std::find(kPartKinds.begin(), kPartKinds.end(), part.kind) == kPartKinds.end()) return false;
    manifest[part.kind] = {{"bin_file", part.kind + ".bin"}, {"dat_file", part.kind + ".dat"}};
  }
  const std::string manifestText = JSON{{"manifest", manifest}}.dump(2);
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  auto add = [&](const std::string& name, const void* data, std::size_t size) {
    zip_source_t* source = zip_source_buffer(archive, data, size, 0);
    if (!source) return false;
    if (zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
      zip_source_free(source);
      return false;
    }
    return true;
  };
  bool ok = add("manifest.json", manifestText.data(), manifestText.size());
  for (const auto& part : parts) {
    ok = ok && add(part.kind + ".bin", part.image.data(), part.image.size()) &&
         add(part.kind + ".dat", part.initPacket.data(), part.initPacket.size());
  }
  // The buffers above must outlive zip_close, which writes them.
  if (!ok) {
    zip_discard(archive);
    return false;
  }
  return zip_close(archive) == 0;
}

}  // namespace talvaren::platform::dfu
