// geoconv: converts points between coordinate descriptions on the WGS 84
// ellipsoid, one point per line, from files or standard input to standard
// output. Streams in constant memory.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "convert.hpp"

#ifndef GEOCONV_VERSION
#define GEOCONV_VERSION "unknown"
#endif

namespace {

using geoconv_tool::Converter;

constexpr int kMaxDecimals = 20;

void usage_text(std::FILE* out) {
  std::fprintf(out,
               "Usage: geoconv COMMAND [--site LAT,LON,ALT] [-p N | --precision N] [FILE...]\n"
               "       geoconv --help | --version\n"
               "\n"
               "Converts one point per line on the WGS 84 ellipsoid. Reads the FILEs in\n"
               "order, or standard input when there are none or a FILE is '-'. Fields are\n"
               "separated by blanks, tabs and/or commas; blank lines and lines whose first\n"
               "non-blank character is '#' are copied unchanged. A line that cannot be read\n"
               "or converted gives 'ERROR: reason' in its place.\n"
               "\n"
               "Commands (angles in degrees, altitudes and ranges in feet):\n"
               "%s"
               "\n"
               "Options:\n"
               "  --site LAT,LON,ALT   base site of aer2lla, aer2efg and efg2aer\n"
               "                       (deg, deg, ft)\n"
               "  -p, --precision N    decimals of lengths, 0 to %d (default 6); angles\n"
               "                       get N+3, DMS degrees and minutes are whole\n"
               "  -h, --help           show this help\n"
               "  --version            show the version\n"
               "\n"
               "Exit status: 0 every line converted, 1 some line gave ERROR, 2 usage or\n"
               "input/output error.\n",
               geoconv_tool::command_list().c_str(), kMaxDecimals);
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "geoconv: %s (try 'geoconv --help')\n", message.c_str());
  return 2;
}

// Buffered standard output; remembers a failed write.
class Output {
 public:
  char* reserve() {
    if (size_ + Converter::kMaxOutputLine > sizeof buffer_) flush();
    return buffer_ + size_;
  }
  void commit(std::size_t n) { size_ += n; }
  bool flush() {
    if (size_ > 0 && std::fwrite(buffer_, 1, size_, stdout) != size_) ok_ = false;
    size_ = 0;
    return ok_;
  }
  bool finish() { return flush() && std::fflush(stdout) == 0 && ok_; }

 private:
  char buffer_[1 << 18];
  std::size_t size_ = 0;
  bool ok_ = true;
};

// Converts every line of one input. Returns false on a read error.
bool convert_stream(std::FILE* in, Converter& converter, Output& out, bool* any_failed) {
  static char buffer[1 << 18];
  static_assert(sizeof buffer > Converter::kMaxLineLength + 1, "a whole line must fit");
  std::size_t begin = 0, end = 0;
  bool skipping = false;  // discarding the rest of an over-long line
  auto emit = [&](std::string_view line) {
    bool failed = false;
    char* p = out.reserve();
    if (line.size() > Converter::kMaxLineLength) {
      static const char kTooLong[] = "ERROR: line longer than 65536 characters\n";
      std::memcpy(p, kTooLong, sizeof kTooLong - 1);
      out.commit(sizeof kTooLong - 1);
      failed = true;
    } else {
      out.commit(converter.convert_line(line, p, &failed));
    }
    if (failed) *any_failed = true;
  };
  for (;;) {
    const char* nl = static_cast<const char*>(std::memchr(buffer + begin, '\n', end - begin));
    if (nl != nullptr) {
      const std::size_t stop = static_cast<std::size_t>(nl - buffer);
      if (!skipping) emit(std::string_view(buffer + begin, stop - begin));
      skipping = false;
      begin = stop + 1;
      continue;
    }
    if (end - begin > Converter::kMaxLineLength) {
      if (!skipping) emit(std::string_view(buffer + begin, end - begin));
      skipping = true;
      begin = end;
    }
    std::memmove(buffer, buffer + begin, end - begin);
    end -= begin;
    begin = 0;
    const std::size_t got = std::fread(buffer + end, 1, sizeof buffer - end, in);
    if (got == 0) {
      if (std::ferror(in)) return false;
      if (end > 0 && !skipping) emit(std::string_view(buffer, end));
      return true;
    }
    end += got;
  }
}

bool parse_decimals(const std::string& text, int* decimals) {
  if (text.empty() || text.size() > 2) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > kMaxDecimals) return false;
  *decimals = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "-h" || a == "--help") {
      usage_text(stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("geoconv %s\n", GEOCONV_VERSION);
      return 0;
    }
  }

  const geoconv_tool::Command* command = nullptr;
  std::vector<std::string> files;
  std::string site_text;
  bool have_site = false;
  int decimals = 6;
  bool options_done = false;
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
      } else if (!parse_decimals(value, &decimals)) {
        return usage_error("bad precision '" + value + "': expected a whole number from 0 to " +
                           std::to_string(kMaxDecimals));
      }
    } else if (command == nullptr) {
      command = geoconv_tool::find_command(a);
      if (command == nullptr) return usage_error("unknown command '" + a + "'");
    } else {
      files.push_back(a);
    }
  }
  if (command == nullptr) return usage_error("missing command");

  double site[3] = {0.0, 0.0, 0.0};
  if (geoconv_tool::needs_site(*command)) {
    if (!have_site) return usage_error("this command needs --site LAT,LON,ALT");
    std::string_view bad;
    const char* why = nullptr;
    if (geoconv_tool::parse_fields(site_text, site, 3, &bad, &why) != 3) {
      return usage_error("malformed --site '" + site_text + "': expected LAT,LON,ALT");
    }
  } else if (have_site) {
    return usage_error("--site applies only to aer2lla, aer2efg and efg2aer");
  }

  // Every file must be readable before anything is converted.
  if (files.empty()) files.push_back("-");
  for (const std::string& f : files) {
    if (f == "-") continue;
    struct stat info;
    std::FILE* probe = std::fopen(f.c_str(), "rb");
    if (probe == nullptr) {
      std::fprintf(stderr, "geoconv: cannot read '%s': %s\n", f.c_str(), std::strerror(errno));
      return 2;
    }
    const bool directory = fstat(fileno(probe), &info) == 0 && S_ISDIR(info.st_mode);
    std::fclose(probe);
    if (directory) {
      std::fprintf(stderr, "geoconv: cannot read '%s': %s\n", f.c_str(), std::strerror(EISDIR));
      return 2;
    }
  }

  Converter converter(*command, geoconv::Site(site[0], site[1], site[2]), decimals);
  static Output out;
  bool any_failed = false;
  for (const std::string& f : files) {
    std::FILE* in = (f == "-") ? stdin : std::fopen(f.c_str(), "rb");
    if (in == nullptr) {
      out.finish();
      std::fprintf(stderr, "geoconv: cannot read '%s': %s\n", f.c_str(), std::strerror(errno));
      return 2;
    }
    const bool ok = convert_stream(in, converter, out, &any_failed);
    const int read_errno = errno;
    if (in != stdin) std::fclose(in);
    if (!ok) {
      out.finish();
      std::fprintf(stderr, "geoconv: error reading '%s': %s\n", f.c_str(),
                   std::strerror(read_errno));
      return 2;
    }
  }
  if (!out.finish()) {
    std::fprintf(stderr, "geoconv: cannot write the output: %s\n", std::strerror(errno));
    return 2;
  }
  return any_failed ? 1 : 0;
}
