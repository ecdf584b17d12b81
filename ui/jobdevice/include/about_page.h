// CAboutDlg, the "Support" page of the document sheet: the model's picture
// and product text with the driver version, the driver's files with their
// versions, and three ways to help: the printer's status web page, the
// driver download page and the support contacts.
#pragma once

#include <string>

#include "prop_page.h"

namespace sheetwright {

class CAboutDlg : public CPropPage {
  public:
    explicit CAboutDlg(SheetContext* context);
    ~CAboutDlg() override;

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;

    const std::u16string& StatusUrl() const { return statusUrl_; }

  protected:
    void OnPicture();
    void OnStatusPage();
    void OnDownload();
    void OnContacts();
    void OnDrawItem(int id, LPDRAWITEMSTRUCT item);
    DECLARE_MESSAGE_MAP()

  public:
    // The hand over a picture that links somewhere; FALSE leaves the cursor to the default.
    BOOL OnSetCursorOver(HWND window);
    // White on grey for the product text and separator, on dark grey for
    // the file list; null leaves a control's colours to the default.
    HBRUSH ColorsOf(HDC dc, HWND control);

  private:
    HBITMAP Picture();
    void LayOut();
    void FillProductText();
    void FillFileList();

    BOOL isNt_ = FALSE;
    BOOL isWin2000_ = FALSE;
    std::u16string pictureLink_;
    std::u16string statusUrl_;
    std::u16string downloadLink_;
    HBITMAP picture_ = nullptr;
    HCURSOR hand_ = nullptr;
    HBRUSH greyBrush_ = nullptr;
    HBRUSH separatorBrush_ = nullptr;
    HBRUSH listBrush_ = nullptr;
    BOOL statusOffered_ = FALSE;
};

// Only web addresses (http, https) and plain mail addresses are opened from
// the model data or the support file: never a program, a share or a file.
bool IsOpenableWebLink(const std::u16string& link);
// "mailto:" and the address, or empty when the text is no plain address.
std::u16string MailLink(const std::u16string& address);
// The first "%s" of `text` replaced by `value`, taken literally.
std::u16string ReplaceFirstPlaceholder(const std::u16string& text, const std::u16string& value);
// One line of the file list: the name (upper case) and its version or date.
std::u16string DriverFileLine(const std::u16string& folder, const std::u16string& file,
                              const void* modelData, size_t modelSize);

} // namespace sheetwright
