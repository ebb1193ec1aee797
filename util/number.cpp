#include "util/number.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Exponents are kept far from the long long limits; the scaling loops stop
// long before such a value matters.
constexpr long long exponentLimit = 1000000000000LL;

long long addSaturated(long long a, long long b) {
    long long sum = a + b;
    if (sum > exponentLimit) return exponentLimit;
    if (sum < -exponentLimit) return -exponentLimit;
    return sum;
}

}  // namespace

double atof(char* text) {
    if (!text) return 0.0;
    const char* c = text;
    double value = 0.0;
    long long exponent = 0;
    for (; isDigit(*c); c++) value = value * 10.0 + (*c - '0');
    if (*c == '.') {
        for (c++; isDigit(*c); c++) {
            value = value * 10.0 + (*c - '0');
            exponent = addSaturated(exponent, -1);
        }
    }
    if (*c == 'e' || *c == 'E') {
        c++;
        bool negative = *c == '-';
        if (*c == '+' || *c == '-') c++;
        long long written = 0;
        for (; isDigit(*c); c++) written = addSaturated(written * 10, *c - '0');
        exponent = addSaturated(exponent, negative ? -written : written);
    }
    // Repeated multiplication; once the value is 0 or infinite nothing changes,
    // so a huge exponent ends there instead of looping on.
    for (; exponent > 0 && value != 0.0 && std::isfinite(value); exponent--) value *= 10.0;
    for (; exponent < 0 && value != 0.0; exponent++) value *= 0.1;
    return value;
}

void ftoa(float value, char* out, int precision, char format) {
    if (!out) return;
    if (std::isnan(value)) {
        strcpy(out, "nan");
        return;
    }
    if (std::isinf(value)) {
        strcpy(out, value < 0 ? "-inf" : "inf");
        return;
    }
    if (precision <= 0) precision = 6;
    if (precision > 22) precision = 22;
    const bool fixed = format == 'f' || format == 'F';

    // The exact decimal digits of the value (a float has at most 112
    // significant ones) and its decimal exponent; rounding below is done on
    // these digits, half up.
    char exact[160];
    snprintf(exact, sizeof exact, "%.120e", std::fabs(static_cast<double>(value)));
    std::string digits(1, exact[0]);
    const char* e = strchr(exact, 'e');
    digits.append(exact + 2, static_cast<size_t>(e - (exact + 2)));
    int exponent = static_cast<int>(strtol(e + 1, nullptr, 10));
    if (value == 0.0f) exponent = 0;

    std::string text = value < 0 ? "-" : "";
    // Significant digits to print; fixed notation with the first digit
    // beyond the last decimal place prints only zeros.
    int count = fixed ? exponent + 1 + precision : 1 + precision;
    if (count <= 0) {
        text += "0." + std::string(static_cast<size_t>(precision), '0');
        snprintf(out, FTOA_BUFFER_SIZE, "%s", text.c_str());
        return;
    }
    std::string kept = digits.substr(0, static_cast<size_t>(count));
    kept.resize(static_cast<size_t>(count), '0');
    if (static_cast<size_t>(count) < digits.size() && digits[static_cast<size_t>(count)] >= '5') {
        int i = count - 1;
        for (; i >= 0 && kept[static_cast<size_t>(i)] == '9'; i--)
            kept[static_cast<size_t>(i)] = '0';
        if (i >= 0) {
            kept[static_cast<size_t>(i)]++;
        } else {
            // 9.99 became 10.0: one more leading digit, the same digit count.
            kept = "1" + kept.substr(0, kept.size() - 1);
            exponent++;
        }
    }

    if (fixed) {
        if (exponent >= 0) {
            text += kept.substr(0, static_cast<size_t>(exponent) + 1) + "." +
                    kept.substr(static_cast<size_t>(exponent) + 1);
        } else {
            text += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + kept;
        }
    } else {
        text += kept.substr(0, 1) + "." + kept.substr(1);
        if (exponent != 0) text += "E" + std::to_string(exponent);
    }
    snprintf(out, FTOA_BUFFER_SIZE, "%s", text.c_str());
}
