// The strap version kept in the user defaults, and its comparison with another version text.

#include <cctype>

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {
namespace {

using connector::log;
using platform::UserDefaults;

/// Compares two version texts with runs of digits taken as numbers ("1.2.9" < "1.2.10").
int compareNumerically(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      std::size_t startA = i, startB = j;
      while (i < a.size() && digit(a[i])) ++i;
      while (j < b.size() && digit(b[j])) ++j;
      auto runA = a.substr(startA, i - startA), runB = b.substr(startB, j - startB);
      if (runA.size() != runB.size()) return runA.size() < runB.size() ? -1 : 1;
      if (auto order = runA.compare(runB); order != 0) return order < 0 ? -1 : 1;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    ++i, ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace

void BluetoothConnector::setDeviceVersion(const std::string& version) {
  UserDefaults::standard()->set(version, BluetoothAttrbutes::VersionDeviceKey);
}

bool BluetoothConnector::checkDeviceVersion(const std::string& version) {
  auto stored = UserDefaults::standard()->stringForKey(BluetoothAttrbutes::VersionDeviceKey);
  if (!stored) return false;
  std::string current;
  for (char c : *stored) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c != 'V') current += c;
  }
  auto order = compareNumerically(current, version);
  if (order == 0) return true;
  if (order < 0) {
    log("ask user to update");
    return false;
  }
  log("don't expect happen...");
  return true;
}

}  // namespace talvaren
