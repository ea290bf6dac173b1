// Checks every routine against the table of expected results
// (tests/data/expected.txt; its header gives the format), bit for bit: each
// row through the free function with a diagnostic stream, with a null stream
// (nothing may reach standard error) and, for the site-relative routines,
// through a Site, and through the converter's line engine at its most
// decimals; then each routine's checksum over its rows' nudged inputs,
// through the same paths.
//
//   geoconv-table FILE            check; exit status 1 on any difference
//   geoconv-table --update FILE   rewrite every result and checksum

#include <geoconv/geoconv.hpp>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "convert.hpp"

using namespace geoconv;

// The constants no routine reads, so that no row can check them.
static_assert(WGS72_E2 == 0.006694317778 && WGS72_A == 6378135.0, "WGS 72 constants");
static_assert(EARTH_EQ_RADIUS == 6378137.0 && WGS84_B == 6356752.0, "WGS 84 axes");
static_assert(WGS72_HEIGHT_OFFSET == -28.764 && PI == 3.14159265359, "offset and pi");

namespace {

using Run = int (*)(std::FILE* stream, const double* in, double* out);
using SiteRun = int (*)(std::FILE* built, std::FILE* stream, const double* in, double* out);

template <double (*f)(double)> int one(std::FILE*, const double* in, double* out) {
  return out[0] = f(in[0]), 0;
}
template <int (*f)(std::FILE*, double, double, double, double*, double*, double*)>
int three(std::FILE* s, const double* in, double* out) {
  return f(s, in[0], in[1], in[2], out, out + 1, out + 2);
}
template <void (*f)(std::FILE*, double, double, double, double*, double*, double*)>
int local(std::FILE* s, const double* in, double* out) {
  return f(s, in[0], in[1], in[2], out, out + 1, out + 2), 0;
}
template <int (*f)(std::FILE*, double, double, double, double, double, double, double*, double*,
                   double*)>
int six(std::FILE* s, const double* in, double* out) {
  return f(s, in[0], in[1], in[2], in[3], in[4], in[5], out, out + 1, out + 2);
}
template <int (Site::*f)(std::FILE*, double, double, double, double*, double*, double*) const>
int site(std::FILE* built, std::FILE* s, const double* in, double* out) {
  return (Site(built, in[3], in[4], in[5]).*f)(s, in[0], in[1], in[2], out, out + 1, out + 2);
}
double square(double x) { return sqr(x); }
double third(double x) { return cube(x); }

struct Routine {
  const char* name;
  int inputs, outputs;
  bool status;  // returns a status and may write a message
  Run run;
  SiteRun via_site;
  const char* command = nullptr;  // the converter's command, if it has one
  const char* units = nullptr;    // its results: L a length, A an angle
};

const Routine kRoutines[] = {
    {"sind", 1, 1, false, one<sind>, nullptr},
    {"cosd", 1, 1, false, one<cosd>, nullptr},
    {"tand", 1, 1, false, one<tand>, nullptr},
    {"asind", 1, 1, false, one<asind>, nullptr},
    {"acosd", 1, 1, false, one<acosd>, nullptr},
    {"atand", 1, 1, false, one<atand>, nullptr},
    {"atan2d", 2, 1, false, [](std::FILE*, const double* in, double* out) {
       return out[0] = atan2d(in[0], in[1]), 0;
     }, nullptr},
    {"sqr", 1, 1, false, one<square>, nullptr},
    {"cube", 1, 1, false, one<third>, nullptr},
    {"LLA84toEFG84", 3, 3, true, three<LLA84toEFG84>, nullptr, "lla2efg", "LLL"},
    {"EFG84toLLA84", 3, 3, true, three<EFG84toLLA84>, nullptr, "efg2lla", "AAL"},
    {"AERtoXYZ", 3, 3, false, local<AERtoXYZ>, nullptr, "aer2xyz", "LLL"},
    {"XYZtoAER", 3, 3, false, local<XYZtoAER>, nullptr, "xyz2aer", "AAL"},
    {"AERtoLLA84", 6, 3, true, six<AERtoLLA84>, site<&Site::AERtoLLA84>, "aer2lla", "AAL"},
    {"AERtoEFG84", 6, 3, true, six<AERtoEFG84>, site<&Site::AERtoEFG84>, "aer2efg", "LLL"},
    {"EFG84toAER", 6, 3, true, six<EFG84toAER>, site<&Site::EFG84toAER>, "efg2aer", "AAL"},
    {"EFG84toEFG72", 3, 3, true, three<EFG84toEFG72>, nullptr, "efg84to72", "LLL"},
    {"DEGtoDMS", 1, 3, false, [](std::FILE*, const double* in, double* out) {
       return DEGtoDMS(in[0], out, out + 1, out + 2), 0;
     }, nullptr},
};

constexpr std::uint64_t kUnwritten = 0x7ff4dead0000beefULL;  // a NaN no routine makes
constexpr char kLatitude[] = "(LLA84toEFG84) problem: lat>90 \n";

// A message as a row shows it: quoted, its line end written \n.
std::string quote(const std::string& message) {
  std::string q = "\"";
  for (char c : message) q += c == '\n' ? std::string("\\n") : std::string(1, c);
  return q + "\"";
}

std::string unquote(const std::string& token) {
  std::string s;
  for (std::size_t i = 1; i + 1 < token.size(); ++i) {
    if (token[i] != '\\') {
      s += token[i];
    } else if (token[++i] == 'x') {
      s += static_cast<char>(std::stoi(token.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      s += token[i] == 'n' ? '\n' : token[i];
    }
  }
  return s;
}

// Splits a row into tokens: runs of non-blanks, or quoted texts.
std::vector<std::string> tokens(const std::string& line) {
  std::vector<std::string> t;
  for (std::size_t i = line.find_first_not_of(" \t"); i != std::string::npos;
       i = line.find_first_not_of(" \t", i)) {
    std::size_t j = i + 1;
    if (line[i] == '"') {
      while (j < line.size() && line[j] != '"') j += line[j] == '\\' ? 2 : 1;
      ++j;
    } else {
      j = std::min(line.find_first_of(" \t", i), line.size());
    }
    t.push_back(line.substr(i, j - i));
    i = j;
  }
  return t;
}

// A diagnostic stream whose text can be taken back.
struct Capture {
  char buffer[4096];
  std::FILE* file = fmemopen(buffer, sizeof buffer, "w");
  std::string take() {
    std::fflush(file);
    const std::string text(buffer, static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    return text;
  }
};

// One call's results, written as in a row: through the free function with a
// stream (mode 0), with a null stream (1), or through a Site (2).
std::string call(const Routine& r, const double* in, int mode) {
  static Capture log, built;
  double out[3];
  for (double& o : out) std::memcpy(&o, &kUnwritten, sizeof o);
  const int status = mode == 2 ? r.via_site(built.file, log.file, in, out)
                               : r.run(mode == 0 ? log.file : nullptr, in, out);
  std::string text = r.status ? std::to_string(status) + " " + quote(log.take()) : "";
  // A Site reports a rejected latitude once when it is built, and only then.
  const std::string construction = built.take();
  if (mode == 2 && construction != (Site(in[3], in[4], in[5]).valid() ? "" : kLatitude)) {
    text += " Site wrote " + quote(construction);
  }
  for (int i = 0; i < r.outputs; ++i) {
    char number[40] = "unwritten";
    if (std::isnan(out[i]) && std::memcmp(&out[i], &kUnwritten, sizeof kUnwritten) != 0) {
      std::strcpy(number, "nan");
    } else if (!std::isnan(out[i])) {
      std::snprintf(number, sizeof number, "%.17g", out[i]);
    }
    text += (text.empty() ? "" : " ") + std::string(number);
  }
  return text;
}

// The converter's line engine on the same point at its most decimals must
// write the library's results as printf's "%.*f" does (angles with three
// decimals more), or the library's message as an ERROR line. Points with an
// input that is not finite, or a site the library refuses, are refused as
// text before they reach the library, so they are not compared here.
std::string through_converter(const Routine& r, const double* in) {
  if (r.command == nullptr) return "";
  for (int i = 0; i < r.inputs; ++i) {
    if (!std::isfinite(in[i])) return "";
  }
  char text[160];
  geoconv::Site site(0.0, 0.0, 0.0);
  std::string why;
  if (r.inputs == 6) {
    std::snprintf(text, sizeof text, "%.17g,%.17g,%.17g", in[3], in[4], in[5]);
    if (!geoconv_tool::parse_site(text, &site, &why)) return "";
  }
  const int decimals = geoconv_tool::kMaxDecimals;
  const geoconv_tool::Command& command = *geoconv_tool::find_command(r.command);
  geoconv_tool::Converter engine(command, site, decimals);
  std::snprintf(text, sizeof text, "%.17g %.17g %.17g", in[0], in[1], in[2]);
  std::string got, want = "ERROR: ";
  engine.convert_text(text, &got);

  static Capture log;
  double out[3];
  const bool failed = r.run(log.file, in, out) != 0;
  const std::string message = log.take();
  int bad = 0;  // the first result that is not finite
  while (!failed && bad < 3 && std::isfinite(out[bad])) ++bad;
  if (failed) {
    want += message.substr(0, message.find_last_not_of(" \n") + 1);
  } else if (bad < 3) {
    std::string names = geoconv_tool::result_names(command) + " ";  // "E F G "
    for (int i = 0; i < bad; ++i) names.erase(0, names.find(' ') + 1);
    want += "result not finite: " + names.substr(0, names.find(' ')) + " = " +
            (std::isnan(out[bad]) ? "nan" : out[bad] > 0 ? "inf" : "-inf");
  } else {
    want.clear();
    for (int i = 0; i < 3; ++i) {
      char number[420];
      std::snprintf(number, sizeof number, "%s%.*f", i ? " " : "",
                    r.units[i] == 'A' ? decimals + 3 : decimals, out[i]);
      want += number;
    }
  }
  want += "\n";
  return got == want ? "" : "converter: " + std::string(text) + " gives " + got + "  and not " + want;
}

std::string without_message(const Routine& r, const std::string& text) {
  return r.status ? text.substr(0, text.find('"')) + "\"\"" + text.substr(text.rfind('"') + 1) : text;
}

// Every path of one call must agree; returns the free function's results.
std::string check(const Routine& r, const double* in, std::vector<std::string>* problems) {
  const std::string got = call(r, in, 0);
  if (call(r, in, 1) != without_message(r, got)) problems->push_back("null stream: " + call(r, in, 1));
  if (r.via_site != nullptr && call(r, in, 2) != got) problems->push_back("Site: " + call(r, in, 2));
  const std::string converter = through_converter(r, in);
  if (!converter.empty()) problems->push_back(converter);
  return got;
}

// STRtoINT with the text at the end of a page whose next page is unreadable:
// a read past the terminator faults, in any build.
int strtoint(const std::string& text, int first, int last) {
  const long page = sysconf(_SC_PAGESIZE);
  char* pages = static_cast<char*>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  mprotect(pages + page, page, PROT_NONE);
  char* start = pages + page - (text.size() + 1);
  std::memcpy(start, text.c_str(), text.size() + 1);
  const int value = STRtoINT(start, first, last);
  munmap(pages, 2 * page);
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  const bool update = argc == 3 && std::string(argv[1]) == "--update";
  std::ifstream file(argv[argc - 1]);
  std::vector<std::string> lines;
  for (std::string l; std::getline(file, l);) lines.push_back(l);
  if ((argc != 2 && !update) || lines.empty()) {
    std::fprintf(stderr, "usage: geoconv-table [--update] FILE\n");
    return 2;
  }
  // Standard error goes to an unnamed file: no call may write there.
  const int saved_stderr = dup(2);
  std::FILE* err = std::tmpfile();
  dup2(fileno(err), 2);

  std::map<const Routine*, std::vector<std::vector<double>>> inputs;
  std::map<std::string, std::string> sums;
  std::vector<std::string> problems, out;
  int rows = 0;
  auto report = [&](std::size_t n, const std::string& what) {
    problems.push_back(std::string(argv[argc - 1]) + ":" + std::to_string(n + 1) + ": " + what);
  };
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::vector<std::string> t = tokens(lines[n]);
    const std::size_t arrow = std::find(t.begin(), t.end(), "->") - t.begin();
    if (t.empty() || t[0][0] == '#' || t[0] == "checksum") {
      if (!t.empty() && t[0] == "checksum" && t.size() == 4) sums[t[1]] = t[2] + " " + t[3];
      if (t.empty() || t[0] != "checksum") out.push_back(lines[n]);
      continue;
    }
    const Routine* r = nullptr;
    for (const Routine& k : kRoutines) r = t[0] == k.name ? &k : r;
    if (arrow == t.size() || (r ? r->inputs + 1u : t[0] == "STRtoINT" ? 4u : 0u) != arrow) {
      std::fprintf(stdout, "%s:%zu: malformed row\n", argv[argc - 1], n + 1);
      return 2;
    }
    ++rows;
    std::string got, expected;
    for (std::size_t i = arrow + 1; i < t.size(); ++i) expected += (i > arrow + 1 ? " " : "") + t[i];
    if (r == nullptr) {
      got = std::to_string(strtoint(unquote(t[1]), std::stoi(t[2]), std::stoi(t[3])));
    } else {
      std::vector<double> in;
      for (std::size_t i = 1; i < arrow; ++i) in.push_back(std::strtod(t[i].c_str(), nullptr));
      std::vector<std::string> paths;
      got = check(*r, in.data(), &paths);
      for (const std::string& p : paths) report(n, p);
      inputs[r].push_back(in);
    }
    if (got != expected && !update) report(n, "expected " + expected + "\n  actual   " + got);
    out.push_back(lines[n].substr(0, lines[n].find(" ->")) + " -> " + got);
  }

  // Checksums: the rows of each routine again in 24 variants, nudged.
  for (const Routine& r : kRoutines) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    std::size_t calls = 0;
    for (const std::vector<double>& row : inputs[&r]) {
      for (int v = 0; v < 24; ++v, ++calls) {
        double in[6];
        for (int i = 0; i < r.inputs; ++i) {
          static const int kM[] = {3, 5, 7, 2, 4, 6};
          const int k = ((v + 1) * kM[i]) % 11 - 5;
          in[i] = row[i];
          for (int step = 0; step < std::abs(k); ++step) in[i] = std::nextafter(in[i], k * INFINITY);
        }
        std::vector<std::string> paths;
        for (unsigned char c : check(r, in, &paths) + "\n") hash = (hash ^ c) * 0x100000001b3ULL;
        for (const std::string& p : paths) report(lines.size() - 1, std::string(r.name) + " nudged, " + p);
      }
    }
    char sum[64];
    std::snprintf(sum, sizeof sum, "%016llx %zu", static_cast<unsigned long long>(hash), calls);
    if (calls > 0) out.push_back(std::string("checksum ") + r.name + " " + sum);
    if (calls > 0 && !update && sums[r.name] != sum) {
      report(lines.size() - 1, std::string("checksum ") + r.name + " " + sum + ", table has " + sums[r.name]);
    }
  }

  std::fflush(stderr);
  dup2(saved_stderr, 2);
  if (std::ftell(err) != 0) problems.push_back("a routine wrote to standard error");
  for (std::size_t i = 0; i < problems.size() && i < 20; ++i) std::printf("%s\n", problems[i].c_str());
  if (update) {
    std::ofstream rewrite(argv[argc - 1]);
    for (const std::string& l : out) rewrite << l << "\n";
  }
  std::printf("%d rows, %zu checksums: %zu problem%s\n", rows, sums.size(), problems.size(),
              problems.size() == 1 ? "" : "s");
  return problems.empty() ? 0 : 1;
}
