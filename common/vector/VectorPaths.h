#pragma once
// Hand-tuned vector code (processor instructions, such as SSE2's or
// AVX-512's, that plain C++ does not give) is taken only where the
// processor has them and the environment does not turn
// it off: PELLARO_PORTABLE=all (or 1) turns every vector path off,
// PELLARO_PORTABLE=crc,utf8 only the ones named. The tests run with it set,
// so that the portable code beside each vector path runs on every machine.
// Read once, at the first question.

#include <string_view>

bool VectorPathOn(std::string_view name);
