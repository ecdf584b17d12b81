// The guard at the library's exports: a result passes through untouched, an
// exception becomes the export's failure value and the last error.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "export_guard.h"
#include "kinsoku_list.h"
#include "win/base.h"
#include "win/errors.h"
#include "win/printer_interface.h"

namespace {

using namespace sheetwright;

enum class Throw { None, Memory, Other };

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
CKinsokuList* ListCall(Throw t) {
    ErrorCall(t, 0);
    static CKinsokuList list(nullptr, nullptr, nullptr);
    return &list;
}

TEST(ExportGuard, ExceptionsBecomeTheFailureValue) {
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
        EXPECT_EQ((ExportGuard<&EventCall, DOCUMENTEVENT_FAILURE>::Call(c.t)),
                  DOCUMENTEVENT_FAILURE);
        EXPECT_EQ(GetLastError(), c.lastError);
        SetLastError(0);
        EXPECT_EQ((ExportGuard<&ListCall, nullptr>::Call(c.t)), nullptr);
        EXPECT_EQ(GetLastError(), c.lastError);
    }
}

TEST(ExportGuard, ResultsPassThrough) {
    SetLastError(1234);
    EXPECT_EQ((ExportGuard<&ErrorCall, ErrorNumber{}>::Call(Throw::None, 0)), 0u);
    EXPECT_EQ((ExportGuard<&ErrorCall, ErrorNumber{}>::Call(Throw::None, 87)), 87u);
    EXPECT_EQ((ExportGuard<&BoolCall, FALSE>::Call(Throw::None)), TRUE);
    EXPECT_EQ((ExportGuard<&EventCall, DOCUMENTEVENT_FAILURE>::Call(Throw::None)), 1);
    EXPECT_NE((ExportGuard<&ListCall, nullptr>::Call(Throw::None)), nullptr);
    EXPECT_EQ(GetLastError(), 1234u);
}

} // namespace
