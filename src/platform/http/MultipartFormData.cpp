#include "talvaren/platform/http/MultipartFormData.hpp"

#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string_view>

#include "talvaren/platform/HexText.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http {
namespace {

std::string randomBoundary() {
  unsigned char bytes[8];
  if (RAND_bytes(bytes, sizeof bytes) != 1) {
    std::mt19937_64 fallback(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (auto& b : bytes) b = static_cast<unsigned char>(fallback());
  }
  return "talvaren.boundary." + platform::hexText(bytes);
}

std::string escapeFieldText(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '"') {
      result += "%22";
    } else if (c == '\r') {
      result += "%0D";
    } else if (c == '\n') {
      result += "%0A";
    } else {
      result += c;
    }
  }
  return result;
}

bool contains(const Bytes& data, std::string_view needle) {
  return std::search(data.begin(), data.end(), needle.begin(), needle.end()) != data.end();
}

void appendText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace

MultipartFormData::MultipartFormData() : boundary_(randomBoundary()) {}

MultipartFormData::MultipartFormData(std::string boundary) : boundary_(std::move(boundary)) {
  if (boundary_.empty()) boundary_ = randomBoundary();
}

void MultipartFormData::append(Bytes data, std::string name) {
  parts_.push_back(Part{std::move(data), std::move(name), std::nullopt, std::nullopt});
}

void MultipartFormData::append(Bytes data, std::string name, std::string mimeType) {
  parts_.push_back(Part{std::move(data), std::move(name), std::nullopt, std::move(mimeType)});
}

void MultipartFormData::append(Bytes data, std::string name, std::string fileName, std::string mimeType) {
  parts_.push_back(Part{std::move(data), std::move(name), std::move(fileName), std::move(mimeType)});
}

std::string MultipartFormData::contentType() const { return "multipart/form-data; boundary=" + boundary_; }

Result<Bytes> MultipartFormData::encode() {
  for (const auto& part : parts_) {
    if (part.mimeType && part.mimeType->find_first_of("\r\n") != std::string::npos) {
      return Result<Bytes>::failure(Error::withDescription(HTTPRequestErrorDomain, HTTPRequestError::multipartEncodingFailed,
                                                           "A form part's content type holds a line break."));
    }
  }
  auto collides = [&] {
    return std::any_of(parts_.begin(), parts_.end(), [&](const Part& p) { return contains(p.data, "--" + boundary_); });
  };
  for (int attempt = 0; collides(); ++attempt) {
    if (attempt == 8) {
      return Result<Bytes>::failure(Error::withDescription(HTTPRequestErrorDomain, HTTPRequestError::multipartEncodingFailed,
                                                           "No boundary could be found for the form."));
    }
    boundary_ = randomBoundary();
  }

  Bytes body;
  for (const auto& part : parts_) {
    appendText(body, "--" + boundary_ + "\r\n");
    std::string disposition = "Content-Disposition: form-data; name=\"" + escapeFieldText(part.name) + "\"";
    if (part.fileName) disposition += "; filename=\"" + escapeFieldText(*part.fileName) + "\"";
    appendText(body, disposition + "\r\n");
    if (part.mimeType) appendText(body, "Content-Type: " + *part.mimeType + "\r\n");
    appendText(body, "\r\n");
    body.insert(body.end(), part.data.begin(), part.data.end());
    appendText(body, "\r\n");
  }
  appendText(body, "--" + boundary_ + "--\r\n");
  return Result<Bytes>::success(std::move(body));
}

}  // namespace talvaren::platform::http
