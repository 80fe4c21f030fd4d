#pragma once
// A "multipart/form-data" body (RFC 7578), built part by part and encoded in memory.

#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/Result.hpp"

namespace talvaren::platform::http {

class MultipartFormData {
 public:
  /// A form with a fresh random boundary.
  MultipartFormData();
  /// A form with the given boundary (tests); it is still replaced if a part happens to contain it.
  explicit MultipartFormData(std::string boundary);

  /// A plain field.
  void append(Bytes data, std::string name);
  /// A field with its own content type.
  void append(Bytes data, std::string name, std::string mimeType);
  /// A file field: name, file name and content type.
  void append(Bytes data, std::string name, std::string fileName, std::string mimeType);

  const std::string& boundary() const { return boundary_; }
  /// "multipart/form-data; boundary=" and the boundary; read it after `encode()`.
  std::string contentType() const;
  /// The whole body. Should a part contain the boundary, a new boundary is chosen first. Names and file
  /// names have '"', CR and LF escaped as %22, %0D and %0A; a content type holding a line break fails
  /// with (HTTPRequestErrorDomain, 4).
  Result<Bytes> encode();

 private:
  struct Part {
    Bytes data;
    std::string name;
    std::optional<std::string> fileName;
    std::optional<std::string> mimeType;
  };
  std::string boundary_;
  std::vector<Part> parts_;
};

}  // namespace talvaren::platform::http
