// Closes what begin.hpp opened.
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif
