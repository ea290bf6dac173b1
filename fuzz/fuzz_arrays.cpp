// The array call over columns laid anywhere in one buffer, strides of -4 to 4
// doubles, faults at any byte of it or apart: either two results share a
// byte (found here by marking every byte each result writes) and the call
// refuses, writing nothing; or the buffer, the faults and the count are
// exactly those of converting copies of the inputs and writing the results
// in point order (a NaN result's sign and payload aside: a site repeated by
// a stride of 0 is placed once, in one lane, and converted copies place it
// in every lane, and which of two NaN operands an operation passes on may
// differ between the two).

#include <geoconv/registry.hpp>

#include <cstdint>
#include <cstring>
#include <vector>

#include "check.hpp"

namespace {

constexpr int kDoubles = 256;
constexpr std::size_t kBytes = kDoubles * sizeof(double);

struct Reader {
  const std::uint8_t* data;
  std::size_t size, at = 0;
  unsigned next() { return at < size ? data[at++] : 0u; }
};

// A column of n elements inside the buffer: its first element and stride.
void place(Reader& in, int n, int* first, std::ptrdiff_t* stride) {
  *stride = static_cast<int>(in.next() % 9) - 4;
  const int reach = static_cast<int>(*stride < 0 ? -*stride : *stride) * (n - 1);
  *first = static_cast<int>(in.next() % static_cast<unsigned>(kDoubles - reach));
  if (*stride < 0) *first += reach;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace geoconv;
  Reader in{data, size};
  const Routine& r = routines()[in.next() % static_cast<unsigned>(routine_count())];
  const int n = 1 + static_cast<int>(in.next() % 40), inputs = r.inputs + (r.site ? 3 : 0);
  int first[kMaxInputs + kMaxOutputs];
  std::ptrdiff_t stride[kMaxInputs + kMaxOutputs];
  for (int k = 0; k < inputs + r.outputs; ++k) place(in, n, &first[k], &stride[k]);
  const unsigned where = in.next();
  const bool faults_inside = where % 2 == 1;
  const std::size_t faults_at = (where / 2 * 7) % (kBytes - static_cast<std::size_t>(n));

  // The buffer: the input's bytes as numbers, then plain degrees.
  std::vector<double> buffer(kDoubles);
  for (int i = 0; i < kDoubles; ++i) {
    std::uint64_t bits = 0;
    for (int b = 0; b < 8; ++b) bits = bits << 8 | in.next();
    std::memcpy(&buffer[static_cast<std::size_t>(i)], &bits, 8);
    if (bits % 3 != 0) buffer[static_cast<std::size_t>(i)] = static_cast<double>(bits % 200) - 95.5;
  }
  const std::vector<double> original = buffer;
  auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
  std::vector<Fault> apart(static_cast<std::size_t>(n));
  Fault* faults = faults_inside ? reinterpret_cast<Fault*>(bytes + faults_at) : apart.data();

  // Every byte a result writes, counted.
  std::vector<int> writes(kBytes);
  bool shared = false;
  for (int i = 0; i < n; ++i) {
    for (int k = inputs; k < inputs + r.outputs; ++k) {
      for (int b = 0; b < 8; ++b) shared |= ++writes[static_cast<std::size_t>((first[k] + i * stride[k]) * 8 + b)] > 1;
    }
    if (faults_inside) shared |= ++writes[faults_at + static_cast<std::size_t>(i)] > 1;
  }

  Column columns[kMaxInputs], copies[kMaxInputs];
  OutColumn results[kMaxOutputs], plain[kMaxOutputs];
  std::vector<double> copy(static_cast<std::size_t>((kMaxInputs + kMaxOutputs) * n));
  for (int k = 0; k < inputs + r.outputs; ++k) {
    double* c = &copy[static_cast<std::size_t>(k * n)];
    for (int i = 0; i < n; ++i) c[i] = original[static_cast<std::size_t>(first[k] + i * stride[k])];
    if (k < inputs) columns[k] = {&buffer[static_cast<std::size_t>(first[k])], stride[k]}, copies[k] = {c, 1};
    else results[k - inputs] = {&buffer[static_cast<std::size_t>(first[k])], stride[k]}, plain[k - inputs] = {c, 1};
  }
  const std::size_t failed = run_array(r, static_cast<std::size_t>(n), columns, results, faults);
  if (shared) {
    FUZZ_CHECK(failed == kArrayOverlappingOutputs);
    FUZZ_CHECK(std::memcmp(buffer.data(), original.data(), kBytes) == 0);
    return 0;
  }
  std::vector<Fault> want(static_cast<std::size_t>(n));
  FUZZ_CHECK(failed == run_array(r, static_cast<std::size_t>(n), copies, plain, want.data()));
  std::vector<double> expected = original;
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < r.outputs; ++k) expected[static_cast<std::size_t>(first[inputs + k] + i * stride[inputs + k])] = plain[k].data[i];
    if (faults_inside) std::memcpy(reinterpret_cast<unsigned char*>(expected.data()) + faults_at + i, &want[static_cast<std::size_t>(i)], 1);
  }
  std::vector<bool> result(kDoubles);
  for (int i = 0; i < n; ++i) {
    for (int k = inputs; k < inputs + r.outputs; ++k) result[static_cast<std::size_t>(first[k] + i * stride[k])] = true;
  }
  for (std::size_t d = 0; d < kDoubles; ++d) {
    const bool nans = result[d] && buffer[d] != buffer[d] && expected[d] != expected[d];
    FUZZ_CHECK(nans || std::memcmp(&buffer[d], &expected[d], sizeof(double)) == 0);
  }
  if (!faults_inside) FUZZ_CHECK(apart == want);
  return 0;
}
