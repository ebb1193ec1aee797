// A plain decimal number parser and a float formatter.
#pragma once

#include <cstdlib>

// Which atof a call reaches: this overload takes a non-const char*, so an
// unqualified call with a char buffer (after this header) picks it by exact
// match; a const char* argument picks the C library's atof(const char*). Code
// that means the C library's (sign, leading blanks, inf and nan) calls
// std::atof, which this overload never joins.
//
// Parses digits, an optional '.' fraction and an optional e/E exponent with
// sign from the first character on; stops at anything else. No sign or blanks
// are read: "-3" gives 0. A null text gives 0.
double atof(char* text);

// Bytes ftoa may write, the terminating NUL included.
#define FTOA_BUFFER_SIZE 64

// Writes value into out (FTOA_BUFFER_SIZE bytes) with precision decimal places
// (0 or less means 6, at most 22), rounded half up. format 'f' or 'F' gives
// fixed notation; anything else one digit, '.', the decimals, then "E<exp>"
// unless the exponent is 0. A rounding carry into a new leading digit costs
// one decimal place in fixed notation (9.999 with 2 places is "10.0").
// Infinities and NaN are written "inf", "-inf" and "nan".
void ftoa(float value, char* out, int precision, char format);
