// One page drawn through GDI on the test printer P1 and the job's stream.
#pragma once

#include <gtest/gtest.h>

#include "render_fixture.h"
#include "win/gdi.h"
#include "win/gdi_dc.h"

namespace render_test {

// One page drawn by `draw` on P1 with the device mode `d`; the job's stream
// (empty when the job did not start).
template <class F> Bytes PrintPage(const inkforge::DevmodeImage& d, F&& draw) {
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &d.dm);
    EXPECT_NE(hdc, nullptr);
    if (!hdc) return {};
    DOCINFOW di{sizeof(DOCINFOW), u"One page", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    EXPECT_GT(job, 0);
    EXPECT_GT(StartPage(hdc), 0);
    draw(hdc);
    EXPECT_GT(EndPage(hdc), 0);
    EXPECT_GT(EndDoc(hdc), 0);
    EXPECT_TRUE(DeleteDC(hdc));
    return job > 0 ? JobOutput(static_cast<DWORD>(job)) : Bytes{};
}

} // namespace render_test
