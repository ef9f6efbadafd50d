// HRESULT assertions that print both codes in hexadecimal (0x80040110 reads better than
// -2147221232). Usage: EXPECT_HR(E_POINTER, object->GetID(nullptr));
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace pelkary::test {

// Where a helper was called from: a last parameter `Here at = Here::Caller()` takes the caller's
// file and line, for the helper's failure messages (::testing::ScopedTrace).
struct Here {
    const char* file;
    int line;
    static Here Caller(const char* file = __builtin_FILE(), int line = __builtin_LINE()) { return {file, line}; }
};

inline std::string HrText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

inline ::testing::AssertionResult HrEqual(const char* expected_expr, const char* actual_expr, HRESULT expected,
                                          HRESULT actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual_expr << " returned " << HrText(actual) << ", expected "
                                         << expected_expr << " = " << HrText(expected);
}

}  // namespace pelkary::test

#define EXPECT_HR(expected, actual) \
    EXPECT_PRED_FORMAT2(::pelkary::test::HrEqual, static_cast<HRESULT>(expected), static_cast<HRESULT>(actual))
#define ASSERT_HR(expected, actual) \
    ASSERT_PRED_FORMAT2(::pelkary::test::HrEqual, static_cast<HRESULT>(expected), static_cast<HRESULT>(actual))
