#pragma once
// What every example host program shares: its options, its application home, its output and a real-time
// main-queue loop. Copy this header along with the example you start from.
//
//   program [--help] [--quiet] [--home FOLDER] [inputs...]
//
// --help prints the usage and exits 0; an unknown option or a surplus input prints the usage on standard
// error and exits 2. --home keeps the kit's files in FOLDER (made when missing; a folder that cannot be
// used ends the program with status 1); without it they go to TALVAREN_HOME when set, else to a fresh
// temporary folder removed at the end. --quiet silences the kit's console (console::setSink) and the
// program's own progress: only its one result line is printed, "<program>: <result>". An input that
// cannot be opened ends the program with "cannot open <path>: <reason>" and status 1.
//
// The program's thread is the main queue's: between its steps it drains the main queue in real time
// (waitUntil, runFor), as a host's own loop does, while the kit's queues run on their own threads.

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"

namespace examples {

struct Program {
  /// The program's name, as it is built.
  const char* name;
  /// What it shows, one line, for --help.
  const char* about;
  /// The inputs it takes after the options, for the usage ("" for none), and how many at most.
  const char* inputs = "";
  std::size_t maxInputs = 0;
};

struct Options {
  bool quiet = false;
  std::vector<std::string> inputs;
};

namespace detail {

inline const Program*& program() {
  static const Program* current = nullptr;
  return current;
}
inline bool& quiet() {
  static bool value = false;
  return value;
}

inline void vprint(FILE* stream, bool named, const char* format, va_list arguments) {
  if (named) std::fprintf(stream, "%s: ", program()->name);
  std::vfprintf(stream, format, arguments);
  std::fputc('\n', stream);
  std::fflush(stream);
}

inline void usage(FILE* stream) {
  const auto& p = *program();
  std::fprintf(stream, "usage: %s [--help] [--quiet] [--home FOLDER]%s%s\n%s\n", p.name, *p.inputs ? " " : "",
               p.inputs, p.about);
}

/// A fresh temporary folder, removed with everything in it when the program ends.
class TemporaryHome {
 public:
  std::optional<std::string> make() {
    std::error_code error;
    auto base = std::filesystem::temp_directory_path(error);
    std::string pattern = ((error ? std::filesystem::path("/tmp") : base) / "talvaren-example-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return std::string(std::strerror(errno));
    path_ = pattern;
    return std::nullopt;
  }
  ~TemporaryHome() {
    if (path_.empty()) return;
    talvaren::platform::AppHome::setPath({});
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// Why `folder` cannot hold the kit's files; none when it can (it is made when missing).
inline std::optional<std::string> unusableHome(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return error.message();
  if (!std::filesystem::is_directory(folder, error)) return "not a folder";
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  return std::nullopt;
}

}  // namespace detail

/// A progress line of the program: printed unless --quiet.
[[gnu::format(printf, 1, 2)]] inline void say(const char* format, ...) {
  if (detail::quiet()) return;
  va_list arguments;
  va_start(arguments, format);
  detail::vprint(stdout, false, format, arguments);
  va_end(arguments);
}

/// The program's one result line, "<program>: <result>", always printed.
[[gnu::format(printf, 1, 2)]] inline void result(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  detail::vprint(stdout, true, format, arguments);
  va_end(arguments);
}

/// Prints "<program>: <message>" on standard error; answers 1, the status of a failed run.
[[gnu::format(printf, 1, 2)]] inline int fail(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  detail::vprint(stderr, true, format, arguments);
  va_end(arguments);
  return 1;
}

/// The lines of a recording, one hex value per line ("#" starts a comment, blank lines are skipped), or
/// none, with "cannot open <path>: <reason>", when the file cannot be read.
inline std::optional<std::vector<std::string>> readRecording(const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    fail("cannot open %s: %s", path.c_str(), std::strerror(errno));
    return std::nullopt;
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    const auto end = line.find_last_not_of(" \t\r");
    if (end == std::string::npos) continue;
    line.erase(end + 1);
    if (line.front() != '#') lines.push_back(line);
  }
  if (file.bad()) {
    fail("cannot open %s: %s", path.c_str(), std::strerror(errno));
    return std::nullopt;
  }
  return lines;
}

/// Drains the main queue on this thread until `done` holds or `seconds` have passed; whether it holds.
inline bool waitUntil(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    talvaren::platform::drainMainQueue();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

/// Drains the main queue on this thread for `seconds`.
inline void runFor(double seconds) {
  waitUntil([] { return false; }, seconds);
}

/// The program's main: handles the options as above, sets up the application home, then answers what
/// `run` answers.
inline int main(const Program& program, int argc, char** argv, const std::function<int(const Options&)>& run) {
  detail::program() = &program;
  Options options;
  std::optional<std::filesystem::path> home;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") {
      detail::usage(stdout);
      return 0;
    } else if (argument == "--quiet") {
      options.quiet = true;
    } else if (argument == "--home" && i + 1 < argc) {
      home = argv[++i];
    } else if ((argument.starts_with("-") && argument != "-") || options.inputs.size() == program.maxInputs) {
      detail::usage(stderr);
      return 2;
    } else {
      options.inputs.emplace_back(argument);
    }
  }
  detail::quiet() = options.quiet;

  detail::TemporaryHome temporary;
  const char* environmentHome = std::getenv("TALVAREN_HOME");
  if (home) {
    if (auto reason = detail::unusableHome(*home)) return fail("cannot use %s as the home: %s", home->c_str(), reason->c_str());
    talvaren::platform::AppHome::setPath(*home);
  } else if (environmentHome == nullptr || *environmentHome == '\0') {
    if (auto reason = temporary.make()) return fail("cannot make a temporary home: %s", reason->c_str());
    talvaren::platform::AppHome::setPath(temporary.path());
  }
  // The kit's own log lines go to standard output, unless the host routes them: --quiet drops them.
  if (options.quiet) talvaren::console::setSink([](std::string_view) {});
  return run(options);
}

}  // namespace examples
