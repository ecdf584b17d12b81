// The barrier at the libraries' exports: a result passes through untouched,
// an exception becomes the export's failure value and the last error.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "export_barrier.h"
#include "platform/testctl.h"
#include "win/base.h"
#include "win/errors.h"

namespace {

using export_barrier::ErrorNumber;
using export_barrier::ExportGuard;

enum class Throw { None, Memory, Other };
constexpr INT kEventFailure = -1;

DWORD ErrorCall(Throw t, DWORD value) {
    if (t == Throw::Memory) throw std::bad_alloc();
    if (t == Throw::Other) throw std::runtime_error("broken");
    return value;
}
BOOL BoolCall(Throw t) {
    return ErrorCall(t, TRUE) != 0;
}
INT EventCall(Throw t) {
    return static_cast<INT>(ErrorCall(t, 1));
}
const char* TextCall(Throw t) {
    ErrorCall(t, 0);
    return "text";
}
int calls = 0;
void VoidCall(Throw t) {
    ErrorCall(t, 0);
    ++calls;
}

TEST(ExportBarrier, ExceptionsBecomeTheFailureValue) {
    struct Case {
        Throw t;
        DWORD lastError;
    };
    for (const Case& c :
         {Case{Throw::Memory, ERROR_NOT_ENOUGH_MEMORY}, Case{Throw::Other, ERROR_INVALID_DATA}}) {
        SetLastError(0);
        EXPECT_EQ((ExportGuard<&ErrorCall, ErrorNumber{}>::Call(c.t, 0)), c.lastError);
        EXPECT_EQ(GetLastError(), c.lastError);
        SetLastError(0);
        EXPECT_EQ((ExportGuard<&BoolCall, FALSE>::Call(c.t)), FALSE);
        EXPECT_EQ(GetLastError(), c.lastError);
        SetLastError(0);
        EXPECT_EQ((ExportGuard<&EventCall, kEventFailure>::Call(c.t)), kEventFailure);
        EXPECT_EQ(GetLastError(), c.lastError);
        SetLastError(0);
        EXPECT_EQ((ExportGuard<&TextCall>::Call(c.t)), nullptr); // the type's zero
        EXPECT_EQ(GetLastError(), c.lastError);
        SetLastError(0);
        ExportGuard<&VoidCall>::Call(c.t);
        EXPECT_EQ(GetLastError(), c.lastError);
        SetLastError(0);
        EXPECT_EQ(export_barrier::RunGuarded<WORD>(
                      0xFFFF, [&] { return static_cast<WORD>(ErrorCall(c.t, 1)); }),
                  0xFFFF);
        EXPECT_EQ(GetLastError(), c.lastError);
    }
}

TEST(ExportBarrier, ResultsPassThrough) {
    SetLastError(1234);
    EXPECT_EQ((ExportGuard<&ErrorCall, ErrorNumber{}>::Call(Throw::None, 0)), 0u);
    EXPECT_EQ((ExportGuard<&ErrorCall, ErrorNumber{}>::Call(Throw::None, 87)), 87u);
    EXPECT_EQ((ExportGuard<&BoolCall, FALSE>::Call(Throw::None)), TRUE);
    EXPECT_EQ((ExportGuard<&EventCall, kEventFailure>::Call(Throw::None)), 1);
    EXPECT_STREQ((ExportGuard<&TextCall>::Call(Throw::None)), "text");
    calls = 0;
    ExportGuard<&VoidCall>::Call(Throw::None);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(export_barrier::RunGuarded<WORD>(0xFFFF, [] { return WORD{3}; }), 3);
    EXPECT_EQ(GetLastError(), 1234u);
}

// The tests' seam: the next exports entered fail inside as a failed allocation
// would, each once; then calls pass again.
TEST(ExportBarrier, TheTestSeamFailsTheNextExportsOnce) {
    platform::test::FailNextExports(2);
    EXPECT_EQ((ExportGuard<&ErrorCall, ErrorNumber{}>::Call(Throw::None, 0)),
              static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(export_barrier::RunGuarded<WORD>(0xFFFF, [] { return WORD{3}; }), 0xFFFF);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ((ExportGuard<&BoolCall, FALSE>::Call(Throw::None)), TRUE);
    platform::test::FailNextExports(1);
    platform::test::ClearFaults();
    EXPECT_EQ((ExportGuard<&BoolCall, FALSE>::Call(Throw::None)), TRUE);
}

} // namespace
