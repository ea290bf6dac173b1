// geoconv: converts points between coordinate descriptions on the WGS 84
// ellipsoid, one point per line, from files or standard input to standard
// output. Streams in constant memory; reads each input once, in order, and
// writes the results of every line read before it waits for more input.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <geoconv/lines.hpp>

#ifndef GEOCONV_VERSION
#define GEOCONV_VERSION "unknown"
#endif

namespace {

using geoconv::lines::kMaxDecimals;

std::string usage_text() {
  char text[4096];
  std::snprintf(
      text, sizeof text,
      "Usage: geoconv COMMAND [--site LAT,LON,ALT] [-p N | --precision N] [--] [FILE...]\n"
      "       geoconv --help | --version\n"
      "\n"
      "Converts one point per line on the WGS 84 ellipsoid. Reads the FILEs in\n"
      "order, or standard input when there are none or a FILE is '-'; each input\n"
      "is read once, and the results of every line read are written before more\n"
      "input is awaited.\n"
      "\n"
      "Lines: fields are separated by runs of blanks and tabs, or by one comma\n"
      "with any blanks around it (so '1,,2' has an empty second field). Every\n"
      "field must be a finite decimal number. A '\\r' before the line end and a\n"
      "UTF-8 byte-order mark at the start of an input are ignored. Blank lines\n"
      "and lines whose first non-blank character is '#' are copied unchanged. A\n"
      "line that cannot be read or converted, or whose results are not all\n"
      "finite, gives 'ERROR: reason' in its place (control bytes shown escaped,\n"
      "such as \\r or \\x00) and the run goes on. Lines longer than %zu\n"
      "characters give ERROR.\n"
      "\n"
      "Commands (x, y, z in the unit of the range):\n"
      "%s"
      "\n"
      "Options:\n"
      "  --site LAT,LON,ALT   base site (deg, deg, ft) of the commands marked\n"
      "                       'from --site'\n"
      "  -p, --precision N    decimals of lengths, 0 to %d (default 6); angles\n"
      "                       get N+3; DMS degrees and minutes are whole, and\n"
      "                       seconds are rounded to N decimals and carried\n"
      "  --                   what follows is a FILE, even if it starts with '-'\n"
      "  -h, --help           show this help\n"
      "  --version            show the version\n"
      "\n"
      "Exit status: 0 every line converted; 1 some line gave ERROR; 2 a usage\n"
      "error, a FILE missing or unreadable or also the output (nothing is\n"
      "converted), or an input or output that fails during the run (the run\n"
      "stops there, after the results of the lines before).\n",
      geoconv::lines::kMaxLineLength, geoconv::lines::command_list().c_str(), kMaxDecimals);
  return text;
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "geoconv: %s (try 'geoconv --help')\n", message.c_str());
  return 2;
}

// Writes all of data to standard output; false, with errno set, on a failed
// write (a full disk, a closed pipe when SIGPIPE is ignored, a closed file
// descriptor).
bool write_all(std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(STDOUT_FILENO, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int output_failed() {
  std::fprintf(stderr, "geoconv: cannot write the output: %s\n", std::strerror(errno));
  return 2;
}

int cannot_read(const std::string& name, int error) {
  std::fprintf(stderr, "geoconv: cannot read '%s': %s\n", name.c_str(), std::strerror(error));
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "-h" || a == "--help") return write_all(usage_text()) ? 0 : output_failed();
    if (a == "--version") {
      return write_all("geoconv " GEOCONV_VERSION "\n") ? 0 : output_failed();
    }
  }

  std::string command;
  std::vector<std::string> files;
  std::string site_text;
  bool have_site = false;
  int decimals = geoconv::lines::kDefaultDecimals;
  bool options_done = false;
  std::string why;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options_done && a == "--") {
      options_done = true;
    } else if (!options_done && a.size() > 1 && a[0] == '-') {
      std::string name = a, value;
      bool has_value = false;
      const std::size_t eq = a.find('=');
      if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
        has_value = true;
      } else if (a.compare(0, 2, "-p") == 0 && a.size() > 2) {
        name = "-p";
        value = a.substr(2);
        has_value = true;
      }
      if (name != "--site" && name != "-p" && name != "--precision") {
        return usage_error("unknown option '" + a + "'");
      }
      if (!has_value) {
        if (i + 1 == args.size()) return usage_error("option '" + name + "' needs a value");
        value = args[++i];
      }
      if (name == "--site") {
        site_text = value;
        have_site = true;
      } else if (!geoconv::lines::parse_decimals(value, &decimals, &why)) {
        return usage_error(why);
      }
    } else if (command.empty()) {
      command = a;
      if (geoconv::lines::find_command(a) == nullptr) return usage_error("unknown command '" + a + "'");
    } else {
      files.push_back(a);
    }
  }
  if (command.empty()) return usage_error("missing command");

  // The site is placed once for the whole run.
  const std::unique_ptr<geoconv::lines::Converter> converter =
      geoconv::lines::Converter::make(command, have_site ? site_text.c_str() : nullptr, decimals, &why);
  if (converter == nullptr) return usage_error(why);

  // Before anything is converted: every FILE must exist and not be a
  // directory, a regular FILE must open, and no input may be the regular
  // file standard output appends to (the run would never end). Only regular
  // files are opened here: opening a named pipe would take its data.
  if (files.empty()) files.push_back("-");
  struct stat output;
  const bool output_is_file = fstat(STDOUT_FILENO, &output) == 0 && S_ISREG(output.st_mode);
  for (const std::string& f : files) {
    struct stat info;
    if (f == "-") {
      if (fstat(STDIN_FILENO, &info) != 0) continue;
    } else {
      if (stat(f.c_str(), &info) != 0) return cannot_read(f, errno);
      if (S_ISDIR(info.st_mode)) return cannot_read(f, EISDIR);
      if (S_ISREG(info.st_mode)) {
        const int fd = open(f.c_str(), O_RDONLY);
        if (fd < 0) return cannot_read(f, errno);
        close(fd);
      }
    }
    if (output_is_file && S_ISREG(info.st_mode) && info.st_dev == output.st_dev &&
        info.st_ino == output.st_ino) {
      std::fprintf(stderr, "geoconv: input '%s' is also the output\n", f.c_str());
      return 2;
    }
  }

  static char buffer[1 << 18];
  constexpr std::size_t kSlice = 1 << 15;   // converted at a time
  constexpr std::size_t kFlush = 1 << 18;   // output written once this long
  std::string out;
  out.reserve(kFlush + 8 * kSlice);
  for (const std::string& f : files) {
    const int fd = (f == "-") ? STDIN_FILENO : open(f.c_str(), O_RDONLY);
    if (fd < 0) {
      const int error = errno;
      if (!write_all(out)) return output_failed();
      return cannot_read(f, error);
    }
    for (;;) {
      // Everything converted so far goes out before the read may wait.
      if (!write_all(out)) return output_failed();
      out.clear();
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        std::fprintf(stderr, "geoconv: error reading '%s': %s\n", f.c_str(), std::strerror(errno));
        return 2;
      }
      if (got == 0) break;
      for (std::size_t at = 0; at < static_cast<std::size_t>(got); at += kSlice) {
        const std::size_t n = std::min(kSlice, static_cast<std::size_t>(got) - at);
        converter->feed(std::string_view(buffer + at, n), &out);
        if (out.size() >= kFlush) {
          if (!write_all(out)) return output_failed();
          out.clear();
        }
      }
    }
    converter->finish(&out);
    if (fd != STDIN_FILENO) close(fd);
  }
  if (!write_all(out)) return output_failed();
  return converter->errors() > 0 ? 1 : 0;
}
