#pragma once
// What every example host program shares: its options, its application home, its recordings, its output
// and a real-time main-queue loop. Copy this header along with the example you start from.
//
//   program [--help] [--quiet] [--home FOLDER] [recordings...]
//
// --help prints the usage and exits 0. An unknown option, --home without a folder or a surplus recording
// says which ("unknown option: --bogus") on standard error, then prints the usage there and exits 2.
// --home keeps the kit's files in FOLDER, which must be an existing folder in which the program can make
// and remove a file (a missing or unwritable one is refused: the program ends with status 1 before any
// output, leaving nothing behind); without it they go to TALVAREN_HOME when set, else to a fresh
// temporary folder removed at the end. --quiet silences the kit's console (console::setSink) and the
// program's own progress: only its one result line is printed, "<program>: <result>".
//
// A program that reads recordings reads every one of them before it does anything else: a recording
// not named on the command line is the file of that name beside the program's executable (the build
// copies them there), so a built copy can move. One that cannot be read ends the program with
// "cannot open <path>: <reason>" and status 1 before any other output or file is written.
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
  /// The recordings it takes after the options, for the usage ("" for none).
  const char* inputs = "";
  /// The file names of the recordings it reads when none is named, in order; it takes at most as many.
  std::vector<std::string> recordings = {};
};

/// A recording read whole: one hex value per line, comments and blank lines dropped.
struct Recording {
  std::string path;
  std::vector<std::string> lines;
};

struct Options {
  bool quiet = false;
  /// The program's recordings, one for each of Program::recordings, read before the program runs.
  std::vector<Recording> recordings;
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

/// Says what is wrong with the command line, then the usage, on standard error; answers 2.
inline int usageError(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program()->name, what.c_str());
  usage(stderr);
  return 2;
}

/// The folder of the running executable (where the build puts the recordings), or none.
inline std::optional<std::filesystem::path> executableFolder() {
  std::error_code error;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  return executable.parent_path();
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

/// Why `folder` cannot hold the kit's files; none when it can. A missing folder is not made: a mistyped
/// --home would otherwise leave a stray folder wherever it pointed. Whether the kit can write there is
/// found out by doing what it will do, making a file and removing it: permission bits alone say yes to
/// root in /proc or /sys, and on a read-only mount.
inline std::optional<std::string> unusableHome(const std::filesystem::path& folder) {
  std::error_code error;
  const auto status = std::filesystem::status(folder, error);
  if (status.type() == std::filesystem::file_type::not_found) return "no such folder";
  if (error) return error.message();
  if (status.type() != std::filesystem::file_type::directory) return "not a folder";
  std::string probe = (folder / ".talvaren-home-check-XXXXXX").string();
  const int descriptor = ::mkstemp(probe.data());
  if (descriptor < 0) return std::string("cannot make a file in it: ") + std::strerror(errno);
  ::close(descriptor);
  if (::unlink(probe.c_str()) != 0) return std::string("cannot remove a file from it: ") + std::strerror(errno);
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
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    fail("cannot open %s: %s", path.c_str(), std::strerror(EISDIR));
    return std::nullopt;
  }
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

/// The program's main: handles the options as above, checks the home and reads the recordings, sets up
/// the application home, then answers what `run` answers.
inline int main(const Program& program, int argc, char** argv, const std::function<int(const Options&)>& run) {
  detail::program() = &program;
  Options options;
  std::optional<std::filesystem::path> home;
  std::vector<std::string> named;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") {
      detail::usage(stdout);
      return 0;
    } else if (argument == "--quiet") {
      options.quiet = true;
    } else if (argument == "--home") {
      if (i + 1 == argc) return detail::usageError("--home needs a folder");
      home = argv[++i];
    } else if (argument.starts_with("-") && argument != "-") {
      return detail::usageError("unknown option: " + std::string(argument));
    } else if (named.size() == program.recordings.size()) {
      return detail::usageError("unexpected argument: " + std::string(argument));
    } else {
      named.emplace_back(argument);
    }
  }
  detail::quiet() = options.quiet;

  // Every input is checked before anything is printed or written.
  if (home) {
    if (auto reason = detail::unusableHome(*home)) return fail("cannot use %s as the home: %s", home->c_str(), reason->c_str());
  }
  const auto besideProgram = detail::executableFolder();
  for (std::size_t i = 0; i < program.recordings.size(); ++i) {
    std::string path = i < named.size() ? named[i]
                       : besideProgram  ? (*besideProgram / program.recordings[i]).string()
                                        : program.recordings[i];
    auto lines = readRecording(path);
    if (!lines) return 1;
    options.recordings.push_back({std::move(path), std::move(*lines)});
  }

  detail::TemporaryHome temporary;
  const char* environmentHome = std::getenv("TALVAREN_HOME");
  if (home) {
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
