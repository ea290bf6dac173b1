// The demonstration's report, shared by the demonstration program (which
// writes it to standard error) and the WebAssembly build of the web page
// (which writes it to memory and shows it).

#ifndef GEOCONV_DEMO_REPORT_HPP
#define GEOCONV_DEMO_REPORT_HPP

#include <cstdio>

namespace geoconv_demo {

// Converts the Greenwich base site and the airplane seen from it and writes
// the fixed-width report to report, which it neither flushes nor closes.
void write_report(std::FILE* report);

}  // namespace geoconv_demo

#endif
