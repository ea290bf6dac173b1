// Checks every routine of the registry against the table of expected
// results (tests/data/expected.txt; its header gives the format), bit for
// bit. Each row runs through every path that reaches the routine: the public
// function with a diagnostic stream and with a null stream (nothing may reach
// standard error), the registry's fault-returning entry (whose fault's
// message must be what the stream got), a Site and its fault entry for the
// site routines, the C interface (its function of the same name, the generic
// geoconv_convert and a C site), and the converter's line engine at its most
// decimals. Then each routine's checksum over its rows' nudged inputs,
// through the same paths.
//
//   geoconv-table FILE            check; exit status 1 on any difference
//   geoconv-table --rows FILE     the rows alone, without the nudged variants
//                                 (for a run under Valgrind, 25 times shorter)
//   geoconv-table --update FILE   rewrite every result and checksum

#include <geoconv/geoconv.h>
#include <geoconv/geoconv.hpp>
#include <geoconv/lines.hpp>
#include <geoconv/registry.hpp>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "calls.hpp"

using namespace geoconv;

// The constants no routine reads, so that no row can check them.
static_assert(WGS72_E2 == 0.006694317778 && WGS72_A == 6378135.0, "WGS 72 constants");
static_assert(EARTH_EQ_RADIUS == 6378137.0 && WGS84_B == 6356752.0, "WGS 84 axes");
static_assert(WGS72_HEIGHT_OFFSET == -28.764 && PI == 3.14159265359, "offset and pi");

namespace {

constexpr std::uint64_t kUnwritten = 0x7ff4dead0000beefULL;  // a NaN no routine makes

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

// A diagnostic stream whose text can be taken back (Windows has no
// fmemopen: a temporary file there, read back).
struct Capture {
#if defined(_WIN32)
  std::FILE* file = std::tmpfile();
  std::string take() {
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    if (!text.empty() && std::fread(&text[0], 1, text.size(), file) != text.size()) text = "(unread)";
    std::rewind(file);
    return text;
  }
#else
  char buffer[4096];
  std::FILE* file = fmemopen(buffer, sizeof buffer, "w");
  std::string take() {
    std::fflush(file);
    const std::string text(buffer, static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    return text;
  }
#endif
};

// The C interface's function of a routine, in the table's form: the stream,
// the inputs and the outputs in order (a helper's value to the first
// output); its status, 0 for none.
struct Args {
  std::FILE* stream;
  const double* in;
  double* out;
  const geoconv_site* site = nullptr;
  template <typename T>
  T next() {
    if constexpr (std::is_same_v<T, std::FILE*>) return stream;
    else if constexpr (std::is_same_v<T, const geoconv_site*>) return site;
    else if constexpr (std::is_same_v<T, double>) return *in++;
    else return out++;
  }
};
template <typename R, typename... A>
int c_call(R (*f)(A...), Args args) {
  double* const first = args.out;
  std::tuple<A...> values{args.next<A>()...};  // braces: taken left to right
  if constexpr (std::is_void_v<R>) return std::apply(f, values), 0;
  else if constexpr (std::is_same_v<R, double>) return *first = std::apply(f, values), 0;
  else return std::apply(f, values);
}
int c_function(const std::string& name, std::FILE* stream, const double* in, double* out) {
#define GEOCONV_C(f, ...) \
  if (name == #f) return c_call(geoconv_##f, {stream, in, out});
#define GEOCONV_HELPER GEOCONV_C
#define GEOCONV_HELPER2 GEOCONV_C
#define GEOCONV_CONVERSION GEOCONV_C
#define GEOCONV_SITE_CONVERSION GEOCONV_C
#define GEOCONV_SPLIT GEOCONV_C
#define GEOCONV_SITE_ROUTINE GEOCONV_C
#include <geoconv/routines.def>
#undef GEOCONV_C
  std::fprintf(stdout, "the C interface has no function for %s\n", name.c_str());
  std::exit(2);
}
int c_site_function(const Routine& r, const geoconv_site* site, std::FILE* stream,
                    const double* in, double* out) {
#define GEOCONV_C(f, ...) \
  if (std::strcmp(r.name, #f) == 0) return c_call(geoconv_site_##f, {stream, in, out, site});
#define GEOCONV_SITE_CONVERSION GEOCONV_C
#define GEOCONV_SITE_ROUTINE GEOCONV_C
#include <geoconv/routines.def>
#undef GEOCONV_C
  std::fprintf(stdout, "the C interface has no site function for %s\n", r.name);
  std::exit(2);
}

// The library's array function of a routine (or the Site's) on one point:
// the inputs and outputs as one-element arrays, and its fault.
struct ArrayArgs {
  const double* in;
  double* out;
  Fault* fault;
  template <typename T>
  T next() {
    if constexpr (std::is_same_v<T, const double*>) return in++;
    else if constexpr (std::is_same_v<T, double*>) return out++;
    else if constexpr (std::is_same_v<T, Fault*>) return fault;
    else if constexpr (std::is_same_v<T, Mode>) return Mode::kExact;
    else return 1;  // the number of points
  }
};
template <typename... A>
void array_call(std::size_t (*f)(A...), ArrayArgs args) {
  std::tuple<A...> values{args.next<A>()...};
  std::apply(f, values);
}
template <typename... A>
void array_call(std::size_t (Site::*f)(A...) const noexcept, const Site& site, ArrayArgs args) {
  std::tuple<A...> values{args.next<A>()...};
  std::apply([&](auto... v) { (site.*f)(v...); }, values);
}
Fault array_function(const Routine& r, const Site* site, const double* in, double* out) {
  Fault fault = Fault::kLatitude;  // overwritten by every array function
  const std::string name = r.name;
#define GEOCONV_SITE_ARRAY(f)                                                                   \
  if (name == #f && site == nullptr) {                                                          \
    return array_call<>(static_cast<std::size_t (*)(std::size_t, const double*, const double*,  \
                                                    const double*, const double*, const double*, \
                                                    const double*, double*, double*, double*,   \
                                                    Fault*, Mode)>(&f),                         \
                        {in, out, &fault}),                                                     \
           fault;                                                                               \
  }                                                                                             \
  if (name == #f) return array_call(&Site::f, *site, {in, out, &fault}), fault;
  using Three = std::size_t (*)(std::size_t, const double*, const double*, const double*, double*,
                                double*, double*, Fault*, Mode);
#define GEOCONV_ARRAY3(f) \
  if (name == #f) return array_call(static_cast<Three>(&f), {in, out, &fault}), fault;
  GEOCONV_ARRAY3(LLA84toEFG84) GEOCONV_ARRAY3(EFG84toLLA84) GEOCONV_ARRAY3(AERtoXYZ)
  GEOCONV_ARRAY3(XYZtoAER) GEOCONV_ARRAY3(EFG84toEFG72)
  GEOCONV_SITE_ARRAY(AERtoLLA84) GEOCONV_SITE_ARRAY(AERtoEFG84) GEOCONV_SITE_ARRAY(EFG84toAER)
#define GEOCONV_COLUMN_TYPE(n, u) const double*
#define GEOCONV_RESULT_TYPE(n, u) double*
#define GEOCONV_SITE_ROUTINE(f, command, refusals, summary, inputs, outputs, example)                \
  if (name == #f && site == nullptr) {                                                              \
    using Free = std::size_t (*)(std::size_t, GEOCONV_EACH(GEOCONV_COLUMN_TYPE, inputs),            \
                                 const double*, const double*, const double*,                       \
                                 GEOCONV_EACH(GEOCONV_RESULT_TYPE, outputs), Fault*, Mode);         \
    return array_call(static_cast<Free>(&f), {in, out, &fault}), fault;                             \
  }                                                                                                 \
  if (name == #f) {                                                                                 \
    using Member = std::size_t (Site::*)(std::size_t, GEOCONV_EACH(GEOCONV_COLUMN_TYPE, inputs),    \
                                         GEOCONV_EACH(GEOCONV_RESULT_TYPE, outputs), Fault*, Mode)  \
        const noexcept;                                                                             \
    return array_call(static_cast<Member>(&Site::f), *site, {in, out, &fault}), fault;              \
  }
#include <geoconv/routines.def>
#undef GEOCONV_ARRAY3
#undef GEOCONV_SITE_ARRAY
  return r.run(in, out);  // the helpers and DEGtoDMS have no array form
}

// A call's results as a row writes them: the routines that return a status
// (EFG84toEFG72 does, though it never fails) show it and their message
// first; then each output, "unwritten" for one still holding kUnwritten.
std::string row_text(const Routine& r, int status, const std::string& said, const double* out) {
  const bool shows_status = r.fails || std::strcmp(r.name, "EFG84toEFG72") == 0;
  std::string text = shows_status ? std::to_string(status) + " " + quote(said) : "";
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

// The paths a row runs through; each gives the row's results as the row
// writes them.
enum Path {
  kStream, kNull, kFault, kSite, kSiteFault, kC, kCGeneric, kCSite, kCSiteGeneric, kArray,
  kSiteArray, kCSiteArray, kPaths
};

std::string call(const Routine& r, const double* in, Path path) {
  static Capture log, built;
  double out[kMaxOutputs];
  for (double& o : out) std::memcpy(&o, &kUnwritten, sizeof o);
  const double* base = in + r.inputs;  // a site routine's site (zeros for the others)
  const Site site(path == kSite ? built.file : nullptr, base[0], base[1], base[2]);
  geoconv_site c_site;
  int status = 0;
  std::string said;
  auto fault = [&](int code) { status = code != 0, said = geoconv_message(code); };
  switch (path) {
    case kStream: status = detail::public_call(r).call(log.file, in, out); break;
    case kNull: status = detail::public_call(r).call(nullptr, in, out); break;
    case kFault: fault(static_cast<int>(r.run(in, out))); break;
    case kSite: status = detail::public_call(r).on_site(site, log.file, in, out); break;
    case kSiteFault: fault(static_cast<int>(r.run_on_site(site, in, out))); break;
    case kC: status = c_function(r.name, log.file, in, out); break;
    case kCGeneric: fault(geoconv_convert(geoconv_find_routine(r.name), in, out)); break;
    case kCSite:
      geoconv_site_init(&c_site, nullptr, base[0], base[1], base[2]);
      status = c_site_function(r, &c_site, log.file, in, out);
      break;
    case kCSiteGeneric:
      geoconv_site_init(&c_site, nullptr, base[0], base[1], base[2]);
      fault(geoconv_site_convert(&c_site, geoconv_find_routine(r.name), in, out));
      break;
    case kArray: fault(static_cast<int>(array_function(r, nullptr, in, out))); break;
    case kSiteArray: fault(static_cast<int>(array_function(r, &site, in, out))); break;
    case kCSiteArray: {
      const double* in_at[kMaxPointInputs];
      double* out_at[kMaxOutputs];
      const std::ptrdiff_t stride[kMaxInputs] = {};
      for (int k = 0; k < r.inputs; ++k) in_at[k] = &in[k];
      for (int k = 0; k < r.outputs; ++k) out_at[k] = &out[k];
      unsigned char code = 9;
      geoconv_site_init(&c_site, nullptr, base[0], base[1], base[2]);
      geoconv_site_convert_array(&c_site, geoconv_find_routine(r.name), 1, in_at, stride, out_at,
                                 stride, &code, GEOCONV_EXACT);
      fault(code);
      break;
    }
    case kPaths: break;
  }
  if (path < kFault || path == kSite || path == kC || path == kCSite) {
    said = log.take();
  }
  // A Site reports a rejected latitude once when it is built, and only then.
  const std::string construction = built.take();
  const bool valid = Site(base[0], base[1], base[2]).valid();
  std::string text = row_text(r, status, said, out);
  if (path == kSite && construction != (valid ? "" : message(Fault::kLatitude))) {
    text += " Site wrote " + quote(construction);
  }
  return text;
}
// The converter's line engine on the same point at its most decimals must
// write the library's results as printf's "%.*f" does (angles with three
// decimals more), or the fault's reason as an ERROR line. Points with an
// input that is not finite, or a site the library refuses, are refused as
// text before they reach the library, so they are not compared here.
std::string through_converter(const Routine& r, const double* in) {
  if (r.command == nullptr || r.outputs == 1 || r.out[1].unit == Unit::kMinutes) return "";
  for (int i = 0; i < r.inputs + (r.site ? 3 : 0); ++i) {
    if (!std::isfinite(in[i])) return "";
  }
  char text[400];
  Site site(0.0, 0.0, 0.0);
  std::string why;
  if (r.site) {
    const double* base = in + r.inputs;
    std::snprintf(text, sizeof text, "%.17g,%.17g,%.17g", base[0], base[1], base[2]);
    if (!lines::parse_site(text, &site, &why)) return "";
  }
  const int decimals = lines::kMaxDecimals;
  lines::Converter engine(*lines::find_command(r.command), site, decimals);
  int at = 0;
  for (int i = 0; i < r.inputs; ++i) at += std::snprintf(text + at, sizeof text - at, "%s%.17g", i ? " " : "", in[i]);
  std::string got, want = "ERROR: ";
  engine.convert_text(text, &got);

  static Capture log;
  double out[kMaxOutputs];
  const bool failed = detail::public_call(r).call(log.file, in, out) != 0;
  const std::string message = log.take();
  int bad = 0;  // the first result that is not finite
  while (!failed && bad < r.outputs && std::isfinite(out[bad])) ++bad;
  if (failed) {
    want += message.substr(0, message.find_last_not_of(" \n") + 1);
  } else if (bad < r.outputs) {
    want += std::string("result not finite: ") + r.out[bad].name + " = " +
            (std::isnan(out[bad]) ? "nan" : out[bad] > 0 ? "inf" : "-inf");
  } else {
    want.clear();
    for (int i = 0; i < r.outputs; ++i) {
      char number[420];
      const bool angle = r.out[i].unit == Unit::kDegrees || r.out[i].unit == Unit::kDegreesPerSecond;
      std::snprintf(number, sizeof number, "%s%.*f", i ? " " : "", angle ? decimals + 3 : decimals, out[i]);
      want += number;
    }
  }
  want += "\n";
  return got == want ? "" : "converter: " + std::string(text) + " gives " + got + "  and not " + want;
}

// Every path of one call must agree; returns the public routine's results.
std::string check(const Routine& r, const double* in, std::vector<std::string>* problems) {
  const std::string got = call(r, in, kStream);
  const std::size_t quote_at = got.find('"');
  const std::string unsaid = quote_at == std::string::npos
                                 ? got
                                 : got.substr(0, quote_at) + "\"\"" + got.substr(got.rfind('"') + 1);
  static const char* const kNames[] = {"stream", "null stream", "fault", "Site", "Site fault",
                                       "C", "C generic", "C site", "C site generic",
                                       "array", "Site array", "C site array"};
  for (int p = kNull; p < kPaths; ++p) {
    const Path path = static_cast<Path>(p);
    const bool on_site = path == kSite || path == kSiteFault || path == kCSite ||
                         path == kCSiteGeneric || path == kSiteArray || path == kCSiteArray;
    if (!r.site && on_site) {
      continue;
    }
    const std::string other = call(r, in, path);
    if (other != (path == kNull ? unsaid : got)) problems->push_back(std::string(kNames[p]) + ": " + other);
  }
  const std::string converter = through_converter(r, in);
  if (!converter.empty()) problems->push_back(converter);
  return got;
}

// STRtoINT with the text at the end of a page whose next page is unreadable:
// a read past the terminator faults, in any build.
int strtoint(const std::string& text, int first, int last) {
#if defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const long page = static_cast<long>(info.dwPageSize);
  char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD was;
  VirtualProtect(pages + page, page, PAGE_NOACCESS, &was);
#else
  const long page = sysconf(_SC_PAGESIZE);
  char* pages = static_cast<char*>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  mprotect(pages + page, page, PROT_NONE);
#endif
  char* start = pages + page - (text.size() + 1);
  std::memcpy(start, text.c_str(), text.size() + 1);
  const int value = STRtoINT(start, first, last);
#if defined(_WIN32)
  VirtualFree(pages, 0, MEM_RELEASE);
#else
  munmap(pages, 2 * page);
#endif
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  const bool update = argc == 3 && std::string(argv[1]) == "--update";
  const bool rows_only = argc == 3 && std::string(argv[1]) == "--rows";
  std::ifstream file(argv[argc - 1]);
  std::vector<std::string> lines;
  for (std::string l; std::getline(file, l);) lines.push_back(l);
  if ((argc != 2 && !update && !rows_only) || lines.empty()) {
    std::fprintf(stderr, "usage: geoconv-table [--update | --rows] FILE\n");
    return 2;
  }
  // Standard error goes to an unnamed file: no call may write there.
  const int saved_stderr = dup(2);
  std::FILE* err = std::tmpfile();
  dup2(fileno(err), 2);

  std::map<const Routine*, std::vector<std::vector<double>>> rows_of;
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
    const Routine* r = find_routine(t[0].c_str());
    if (r != nullptr && t[0] != r->name) r = nullptr;  // a converter command
    const int inputs = r == nullptr ? 0 : r->inputs + (r->site ? 3 : 0);
    if (arrow == t.size() || (r ? inputs + 1u : t[0] == "STRtoINT" ? 4u : 0u) != arrow) {
      std::fprintf(stdout, "%s:%zu: malformed row\n", argv[argc - 1], n + 1);
      return 2;
    }
    ++rows;
    std::string got, expected;
    for (std::size_t i = arrow + 1; i < t.size(); ++i) expected += (i > arrow + 1 ? " " : "") + t[i];
    if (r == nullptr) {
      const std::string text = unquote(t[1]);
      const int first = std::stoi(t[2]), last = std::stoi(t[3]);
      got = std::to_string(strtoint(text, first, last));
      if (geoconv_STRtoINT(text.c_str(), first, last) != std::stoi(got)) report(n, "C: differs");
    } else {
      std::vector<double> in;
      for (std::size_t i = 1; i < arrow; ++i) in.push_back(std::strtod(t[i].c_str(), nullptr));
      in.resize(kMaxInputs);  // a site routine's site last; zeros for the others
      std::vector<std::string> paths;
      got = check(*r, in.data(), &paths);
      for (const std::string& p : paths) report(n, p);
      rows_of[r].push_back(in);
    }
    if (got != expected && !update) report(n, "expected " + expected + "\n  actual   " + got);
    out.push_back(lines[n].substr(0, lines[n].find(" ->")) + " -> " + got);
  }

  // A routine's faults are those its rows give, and it fails if it has any.
  for (const auto& [r, ins] : rows_of) {
    std::vector<Fault> given, listed;
    for (const std::vector<double>& in : ins) {
      double scratch[kMaxOutputs];
      const Fault f = r->run(in.data(), scratch);
      if (f != Fault::kNone && std::find(given.begin(), given.end(), f) == given.end()) given.push_back(f);
    }
    for (Fault f : r->faults) {
      if (f != Fault::kNone) listed.push_back(f);
    }
    std::sort(given.begin(), given.end());
    std::sort(listed.begin(), listed.end());
    if (given != listed) report(0, std::string(r->name) + ": its faults are not those its rows give");
    if (given.empty() == r->fails) report(0, std::string(r->name) + ": fails is " + (r->fails ? "true" : "false"));
  }
  // Its worked example is one of its rows, so that the results the front
  // ends show for it are pinned here.
  for (const Routine* end = routines() + routine_count(), *r = routines(); r != end; ++r) {
    const std::vector<double> example(r->example, r->example + kMaxInputs);  // zeros last, as rows
    const auto& ins = rows_of[r];
    if (std::find(ins.begin(), ins.end(), example) == ins.end()) {
      report(0, std::string(r->name) + ": example not in the table");
    }
  }

  // Checksums: the rows of each routine again in 24 variants, nudged.
  for (const Routine* end = routines() + routine_count(), *r_at = routines();
       r_at != end && !rows_only; ++r_at) {
    const Routine& r = *r_at;
    const int inputs = r.inputs + (r.site ? 3 : 0);
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    std::size_t calls = 0;
    for (const std::vector<double>& row : rows_of[&r]) {
      // The 24 variants go through the array routine too, as one batch of
      // interleaved points.
      double batch_in[24][kMaxInputs], batch_out[24][kMaxOutputs];
      Fault faults[24];
      std::string each[24];
      for (int v = 0; v < 24; ++v, ++calls) {
        double in[kMaxInputs] = {};  // a site routine's site last; zeros for the others
        for (int i = 0; i < inputs; ++i) {
          static const int kM[kMaxInputs] = {3, 5, 7, 2, 4, 6, 8, 9, 10};
          const int k = ((v + 1) * kM[i]) % 11 - 5;
          in[i] = row[i];
          for (int step = 0; step < std::abs(k); ++step) in[i] = std::nextafter(in[i], k * INFINITY);
        }
        std::vector<std::string> paths;
        each[v] = check(r, in, &paths);
        for (unsigned char c : each[v] + "\n") hash = (hash ^ c) * 0x100000001b3ULL;
        std::copy(in, in + kMaxInputs, batch_in[v]);
        for (const std::string& p : paths) report(lines.size() - 1, std::string(r.name) + " nudged, " + p);
      }
      // Through run_array, and through the C interface's array call; and
      // with Mode::kFast, which without geoconv::fast (this program does not
      // link it) must give the same bits.
      for (const char* way : {"batch", "C batch", "fast batch", "C fast batch"}) {
        const bool fast = std::strstr(way, "fast") != nullptr;
        for (auto& point : batch_out) {
          for (double& o : point) std::memcpy(&o, &kUnwritten, sizeof o);
        }
        const double* in_at[kMaxInputs];
        double* out_at[kMaxOutputs];
        std::ptrdiff_t in_stride[kMaxInputs], out_stride[kMaxOutputs];
        Column columns[kMaxInputs];
        OutColumn results[kMaxOutputs];
        for (int k = 0; k < kMaxInputs; ++k) {
          columns[k] = {in_at[k] = &batch_in[0][k], in_stride[k] = kMaxInputs};
        }
        for (int k = 0; k < kMaxOutputs; ++k) {
          results[k] = {out_at[k] = &batch_out[0][k], out_stride[k] = kMaxOutputs};
        }
        const std::size_t failed =
            way[0] != 'C' ? run_array(r, 24, columns, results, faults, fast ? Mode::kFast : Mode::kExact)
                          : geoconv_convert_array(geoconv_find_routine(r.name), 24, in_at, in_stride,
                                                  out_at, out_stride,
                                                  reinterpret_cast<unsigned char*>(faults),
                                                  fast ? GEOCONV_FAST : GEOCONV_EXACT);
        std::size_t counted = 0;
        for (int v = 0; v < 24; ++v) {
          counted += faults[v] != Fault::kNone;
          const std::string got =
              row_text(r, faults[v] != Fault::kNone, message(faults[v]), batch_out[v]);
          if (got != each[v]) report(lines.size() - 1, std::string(r.name) + " " + way + ": " + got);
        }
        if (failed != counted) report(lines.size() - 1, std::string(r.name) + " " + way + ": miscounted");
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
  std::printf("%d rows, %zu checksums: %zu problem%s\n", rows, rows_only ? 0 : sums.size(), problems.size(),
              problems.size() == 1 ? "" : "s");
  return problems.empty() ? 0 : 1;
}
