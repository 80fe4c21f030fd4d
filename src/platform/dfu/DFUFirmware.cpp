#include "talvaren/platform/dfu/DFUFirmware.hpp"

#include <zip.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>

#include "talvaren/platform/HexText.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren::platform::dfu {
namespace {

/// Parts in the order they are sent: the radio stack and bootloader before the application.
constexpr std::array<const char*, 4> kPartKinds{"softdevice_bootloader", "softdevice", "bootloader", "application"};
/// No part of a strap's flash comes near this; a larger entry is a damaged (or hostile) archive.
constexpr zip_uint64_t kMaxEntrySize = 16u * 1024 * 1024;

thread_local std::string failure;

std::shared_ptr<DFUFirmware> fail(std::string why) {
  failure = std::move(why);
  return nullptr;
}

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

/// The bytes of entry `name`, or none when it is missing, too large or cannot be read whole.
std::optional<Bytes> readEntry(zip_t* archive, const std::string& name) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat(archive, name.c_str(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) || stat.size > kMaxEntrySize) {
    return std::nullopt;
  }
  zip_file_t* file = zip_fopen(archive, name.c_str(), 0);
  if (!file) return std::nullopt;
  Bytes bytes(static_cast<std::size_t>(stat.size));
  zip_int64_t read = bytes.empty() ? 0 : zip_fread(file, bytes.data(), bytes.size());
  // One more byte must not come: the stored size is the archive's word, not the data's.
  std::uint8_t extra;
  bool overlong = zip_fread(file, &extra, 1) > 0;
  zip_fclose(file);
  if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size || overlong) return std::nullopt;
  return bytes;
}

std::shared_ptr<DFUFirmware> readArchive(zip_t* archive) {
  auto manifestBytes = readEntry(archive, "manifest.json");
  if (!manifestBytes) return fail("no manifest.json in the package");
  const auto json = Json::parse(
      std::string_view(reinterpret_cast<const char*>(manifestBytes->data()), manifestBytes->size()));
  const JSON* manifest = json ? Json::member(*json, "manifest") : nullptr;
  if (!manifest || !manifest->is_object()) return fail("manifest.json is not a manifest");
  std::vector<DFUFirmware::Part> parts;
  for (const char* kind : kPartKinds) {
    const JSON* entry = Json::member(*manifest, kind);
    if (!entry) continue;
    auto bin = Json::read<std::string>(*entry, "bin_file");
    auto dat = Json::read<std::string>(*entry, "dat_file");
    if (!bin || !dat) return fail(std::string("the manifest's ") + kind + " names no bin_file and dat_file");
    auto image = readEntry(archive, *bin);
    auto init = readEntry(archive, *dat);
    if (!image || image->empty() || !init || init->empty()) {
      return fail(std::string("the package lacks the files of its ") + kind);
    }
    parts.push_back({kind, std::move(*init), std::move(*image)});
  }
  if (parts.empty()) return fail("the manifest names no firmware part");
  failure.clear();
  return std::make_shared<DFUFirmware>(std::move(parts));
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
  std::ifstream file(*path, std::ios::binary);
  if (!file) return fail("cannot read " + *path);
  Bytes zip((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return fail("cannot read " + *path);
  return fromZipData(zip);
}

std::shared_ptr<DFUFirmware> DFUFirmware::fromZipData(const Bytes& zip) {
  if (zip.empty()) return fail("the package is empty");
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(zip.data(), zip.size(), 0, &error);
  if (!source) {
    zip_error_fini(&error);
    return fail("cannot open the package");
  }
  Archive archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
  zip_error_fini(&error);
  if (!archive) {
    zip_source_free(source);
    return fail("the package is not a zip archive");
  }
  return readArchive(archive.get());
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
