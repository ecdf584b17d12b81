// The fixture of the pages' tests: a document sheet's context on a printer
// of a sample model, with the resource library as the framework's resources,
// and what the tests read back (pixels, images, pictures).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet_context.h"
#include "ui_fixture.h"
#include "devmode_private.h"

namespace pages_test {

using sheetwright::SheetContext;

class SheetFixture : public ::testing::Test {
  protected:
    void SetUp() override { Open("CX5540"); }
    void TearDown() override;
    // Opens a document sheet's context on a printer of the model.
    void Open(const std::string& model);
    void Open(const ui_test::Bytes& model);

    DEVMODE_IMAGEW& Working() { return context_->workingImage; }
    // The context's per-user working folder, made, with its final backslash.
    std::u16string MakeUserFolder();

    HANDLE printer_ = nullptr;
    SheetContext* context_ = nullptr;
};

// Where a test keeps its pictures: $PAGES_PNG_DIR when set, else none.
std::string PictureFolder();

// The texts of a combo box's rows, in order.
std::vector<std::u16string> ComboTexts(HWND combo);

// The colour of a pixel of a window's picture as the windows paint themselves.
COLORREF WindowPixel(HWND window, int x, int y);

} // namespace pages_test
