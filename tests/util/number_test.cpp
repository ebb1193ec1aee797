// The aligned allocator, the number parser and the float formatter.
#include "util/number.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "util/memory.h"

namespace {

TEST(Memory, BlocksAreAlignedWritableAndOversizeRequestsFail) {
    for (unsigned alignment : {0u, 1u, 2u, 8u, 64u, 4096u}) {
        for (unsigned size : {0u, 1u, 100u, 5000u}) {
            void* block = aligned_malloc(size, alignment);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % (alignment ? alignment : 1), 0u)
                << size << " at " << alignment;
            memset(block, 0xA5, size);  // the sanitizer checks the whole size is ours
            aligned_free(block);
        }
    }
    // Sizes whose block with its slack wraps the unsigned range.
    EXPECT_EQ(aligned_malloc(UINT_MAX, 64), nullptr);
    EXPECT_EQ(aligned_malloc(UINT_MAX - 4, 1), nullptr);
    EXPECT_EQ(aligned_malloc(UINT_MAX - 70, 64), nullptr);
    EXPECT_EQ(aligned_malloc(0x80000000u, 0x80000000u), nullptr);
    // An alignment no mask can express.
    for (unsigned alignment : {3u, 24u, 100u, 0xFFFFFFFFu})
        EXPECT_EQ(aligned_malloc(16, alignment), nullptr) << alignment;
    aligned_free(nullptr);
}

// Our parser for a writable copy of text.
double parse(const char* text) {
    std::string copy = text;
    return atof(copy.data());
}

TEST(Number, AtofReadsPlainDecimalNumbers) {
    struct {
        const char* text;
        double expected;
    } cases[] = {
        {"12.5e1", 125}, {"7.", 7},     {"-3", 0},           {"2x5", 2},       {"", 0},
        {" 5", 0},       {"1e+2", 100}, {"25e-1", 2.5},      {"0.125", 0.125}, {"3E2", 300},
        {"4e", 4},       {".5", 0.5},   {"1e400", INFINITY}, {"1e-400", 0}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(parse(c.text), c.expected) << c.text;
    EXPECT_EQ(atof(static_cast<char*>(nullptr)), 0.0);
    // Exponents far beyond any double neither overflow nor loop for long.
    EXPECT_EQ(parse("5e99999999999999999999999"), INFINITY);
    EXPECT_EQ(parse("5e-99999999999999999999999"), 0.0);
    EXPECT_EQ(parse("0e999999999999"), 0.0);
}

TEST(Number, FtoaWritesFixedAndScientificText) {
    struct {
        float value;
        int precision;
        char format;
        const char* expected;
    } cases[] = {
        {3.14159f, 2, 'f', "3.14"},
        {0.05f, 2, 'f', "0.05"},
        {1234.5f, 3, 'e', "1.235E3"},
        {1.5f, 2, 'e', "1.50"},
        {-0.5f, 1, 'f', "-0.5"},
        {9.999f, 2, 'f', "10.0"},
        {9.999f, 2, 'e', "1.00E1"},
        {0.0f, 2, 'f', "0.00"},
        {0.0f, 2, 'e', "0.00"},
        {0.0004f, 2, 'f', "0.00"},
        {0.25f, 0, 'F', "0.250000"},
        {0.00125f, 3, 'e', "1.250E-3"},
        {1.0f, 30, 'f', "1.0000000000000000000000"},
        {100.0f, 1, 'f', "100.0"},
        {-2.5f, 1, 'x', "-2.5"},
        {INFINITY, 2, 'f', "inf"},
        {-INFINITY, 2, 'e', "-inf"},
        {NAN, 2, 'f', "nan"},
    };
    for (const auto& c : cases) {
        char out[FTOA_BUFFER_SIZE];
        ftoa(c.value, out, c.precision, c.format);
        EXPECT_STREQ(out, c.expected) << c.value << " " << c.precision << c.format;
    }
    // The widest text fills the buffer exactly.
    char out[FTOA_BUFFER_SIZE + 1];
    memset(out, 'x', sizeof out);
    ftoa(-3.4e38f, out, 22, 'f');
    EXPECT_EQ(strlen(out), FTOA_BUFFER_SIZE - 1u);
    EXPECT_EQ(out[FTOA_BUFFER_SIZE], 'x');
}

}  // namespace
