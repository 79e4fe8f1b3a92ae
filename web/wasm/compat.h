// What Emscripten 3.1.6's libc++ lacks of C++20, for the WebAssembly build only (forced in with
// -include): std::bit_cast, and floating-point std::from_chars and std::to_chars (shortest, fixed)
// with the standard's results, from the C library's correctly rounded strtod and printf.
#pragma once
#ifdef __cplusplus
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <type_traits>

namespace std {

#if !defined(__cpp_lib_bit_cast)
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From) && is_trivially_copyable_v<From>);
  return __builtin_bit_cast(To, from);
}
#endif

#if !defined(__cpp_lib_to_chars)
namespace wavfx_compat {

inline bool Digit(char c) {
  return c >= '0' && c <= '9';
}

inline bool NoCaseAt(const char* p, const char* last, const char* word) {
  for (; *word != '\0'; ++p, ++word) {
    if (p == last || (*p | 0x20) != *word) return false;
  }
  return true;
}

// The end of the longest prefix of [first, last) in from_chars' general form, or first.
inline const char* Scan(const char* first, const char* last) {
  const char* p = first;
  if (p != last && *p == '-') ++p;
  if (NoCaseAt(p, last, "inf")) return NoCaseAt(p, last, "infinity") ? p + 8 : p + 3;
  if (NoCaseAt(p, last, "nan")) return p + 3;
  const char* digits = p;
  while (p != last && Digit(*p)) ++p;
  bool any = p != digits;
  if (p != last && *p == '.') {
    const char* fraction = ++p;
    while (p != last && Digit(*p)) ++p;
    any = any || p != fraction;
  }
  if (!any) return first;
  if (p != last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q != last && (*q == '+' || *q == '-')) ++q;
    if (q != last && Digit(*q)) {
      while (q != last && Digit(*q)) ++q;
      p = q;
    }
  }
  return p;
}

template <class Real>
from_chars_result Read(const char* first, const char* last, Real& value) {
  const char* stop = Scan(first, last);
  if (stop == first) return {first, errc::invalid_argument};
  const string text(first, stop);
  errno = 0;
  Real read;
  if constexpr (is_same_v<Real, float>) {
    read = strtof(text.c_str(), nullptr);
  } else {
    read = strtod(text.c_str(), nullptr);
  }
  if (errno == ERANGE) return {stop, errc::result_out_of_range};
  value = read;
  return {stop, errc{}};
}

}  // namespace wavfx_compat

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
  return wavfx_compat::Read(first, last, value);
}

inline from_chars_result from_chars(const char* first, const char* last, float& value,
                                    chars_format = chars_format::general) {
  return wavfx_compat::Read(first, last, value);
}

// The shortest digits that read back as `value`, written without an exponent.
inline to_chars_result to_chars(char* first, char* last, double value, chars_format) {
  char scientific[400];
  for (int precision = 0; precision < 17; ++precision) {
    snprintf(scientific, sizeof scientific, "%.*e", precision, value);
    if (strtod(scientific, nullptr) == value) break;
  }
  string digits, out;
  const char* p = scientific;
  if (*p == '-') out += *p++;
  if (!wavfx_compat::Digit(*p)) {
    out += p;  // inf, nan
  } else {
    for (; *p != 'e'; ++p) {
      if (*p != '.') digits += *p;
    }
    const int exponent = atoi(p + 1);
    const int point = exponent + 1;  // digits before the point
    if (point <= 0) {
      out += "0." + string(static_cast<size_t>(-point), '0') + digits;
    } else if (static_cast<size_t>(point) >= digits.size()) {
      snprintf(scientific, sizeof scientific, "%.0f", value < 0 ? -value : value);  // whole: exact
      out += scientific;
    } else {
      out += digits.substr(0, static_cast<size_t>(point)) + "." +
             digits.substr(static_cast<size_t>(point));
    }
  }
  if (out.size() > static_cast<size_t>(last - first)) return {last, errc::value_too_large};
  memcpy(first, out.data(), out.size());
  return {first + out.size(), errc{}};
}

#endif

}  // namespace std
#endif
