// Faults and their messages: the exact lines the routines write, and the
// same lines trimmed of their newline and the blank before it for front
// ends, which show a reason on a line of their own.

#include <geoconv/registry.hpp>

#include "internal.hpp"

namespace geoconv {

namespace {

struct Text {
  const char* line;     // as written to a stream
  const char* trimmed;  // as shown by front ends
};

constexpr Text kTexts[] = {
    {"", ""},
    {"(LLA84toEFG84) problem: lat>90 \n", "(LLA84toEFG84) problem: lat>90"},
    {"(EFG84toLLA84) error: negative or zero sqrt value\n",
     "(EFG84toLLA84) error: negative or zero sqrt value"},
    {"(AERtoLLA84) problem: input range=0 \n", "(AERtoLLA84) problem: input range=0"},
    {"(EFG84toAERrates) problem: target at site \n", "(EFG84toAERrates) problem: target at site"},
};

const Text& text(Fault fault) {
  const auto i = static_cast<unsigned>(fault);
  return i < sizeof kTexts / sizeof kTexts[0] ? kTexts[i] : kTexts[0];
}

}  // namespace

const char* array_reason(std::size_t status) noexcept {
  switch (status) {
    case kArrayBadMode: return "mode must be exact or fast";
    case kArrayNullPointer: return "a null pointer where an array is needed";
    case kArrayOverlappingOutputs: return "two results would share memory (an output of stride 0, or overlapping outputs)";
    case kArrayNoMemory: return "no memory for a copy of the overlapping inputs";
    default: return "";
  }
}

const char* message(Fault fault) noexcept { return text(fault).line; }
const char* reason(Fault fault) noexcept { return text(fault).trimmed; }

}  // namespace geoconv
