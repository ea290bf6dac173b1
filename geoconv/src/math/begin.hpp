// Opens each header of the elementary functions (end.hpp closes it; no
// include guard, on purpose). Contraction into fused multiply-adds would
// break the error-free transformations and change bits from one platform to
// another: the library compiles with -ffp-contract=off, and these headers say
// so themselves too (clang's pragma holds to the end of the unit, which is
// the library's own setting). Lanes wider than the target's vectors are
// passed by value between inline functions only: GCC's note on their ABI
// does not apply.
#if defined(__clang__)
#pragma clang fp contract(off)  // for the rest of the unit: the library's own setting
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC optimize("fp-contract=off")
#endif
#if defined(__GNUC__)
#pragma GCC diagnostic push
#if defined(__clang__)
#pragma GCC diagnostic ignored "-Wunknown-warning-option"
#endif
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
