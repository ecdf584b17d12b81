// printhost print: runs a job on an installed printer through the device
// context's life cycle (CreateDC, StartDoc, pages, EndDoc, DeleteDC), as an
// application printing through the system would. A document is an enhanced
// metafile (one page) or a folder of them (one page each, in name order);
// without one the job has blank pages. The job's printer stream stays in the
// spooler's job, and is copied to --output FILE when asked.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/base.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/gdi_dc.h"

namespace printhost {
namespace {

namespace fs = std::filesystem;

struct Options {
    std::string printer;
    std::string output;
    std::string document;
    long copies = 0; // 0: the printer's own setting
    long pages = 1;
};

bool Number(const std::string& text, long low, long high, long* out) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < low || v > high) return false;
    *out = v;
    return true;
}

bool Parse(const Args& args, Options* o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool value = a == "--printer" || a == "--output" || a == "--copies" || a == "--pages";
        if (value && i + 1 >= args.size()) {
            std::fprintf(stderr, "printhost print: %s needs a value\n", a.c_str());
            return false;
        }
        if (a == "--printer") {
            o->printer = args[++i];
        } else if (a == "--output") {
            o->output = args[++i];
        } else if (a == "--copies") {
            if (!Number(args[++i], 1, 9999, &o->copies)) {
                std::fprintf(stderr, "printhost print: --copies takes a number from 1 to 9999\n");
                return false;
            }
        } else if (a == "--pages") {
            if (!Number(args[++i], 1, 10000, &o->pages)) {
                std::fprintf(stderr, "printhost print: --pages takes a number from 1 to 10000\n");
                return false;
            }
        } else if (!a.empty() && a[0] != '-' && o->document.empty()) {
            o->document = a;
        } else {
            std::fprintf(stderr, "printhost print: unexpected argument '%s'\n", a.c_str());
            return false;
        }
    }
    if (o->printer.empty()) {
        std::fprintf(stderr, "printhost print: --printer is required\n");
        return false;
    }
    return true;
}

// The metafiles of the document, one per page, or an error text.
bool DocumentPages(const std::string& document, std::vector<std::string>* pages, std::string* error) {
    std::error_code ec;
    if (fs::is_directory(document, ec)) {
        for (const auto& e : fs::directory_iterator(document, ec)) {
            std::string ext = e.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            if (e.is_regular_file() && ext == ".emf") pages->push_back(e.path().string());
        }
        std::sort(pages->begin(), pages->end());
        if (pages->empty()) *error = "no .emf pages in folder '" + document + "'";
    } else if (fs::is_regular_file(document, ec)) {
        pages->push_back(document);
    } else {
        *error = "no document '" + document + "'";
    }
    return error->empty();
}

bool PlayPage(HDC hdc, const std::string& file) {
    std::u16string path = platform::WindowsPath(fs::absolute(file).string());
    HENHMETAFILE emf = GetEnhMetaFileW(path.c_str());
    if (!emf) {
        std::fprintf(stderr, "printhost print: '%s' is not a readable metafile (error %u)\n", file.c_str(),
                     GetLastError());
        return false;
    }
    RECT page{0, 0, GetDeviceCaps(hdc, HORZRES), GetDeviceCaps(hdc, VERTRES)};
    BOOL ok = PlayEnhMetaFile(hdc, emf, &page);
    DeleteEnhMetaFile(emf);
    if (!ok) std::fprintf(stderr, "printhost print: '%s' did not play (error %u)\n", file.c_str(), GetLastError());
    return ok != FALSE;
}

int Run(const Args& args) {
    Options o;
    if (!Parse(args, &o)) return 2;
    std::vector<std::string> pages;
    if (!o.document.empty()) {
        std::string error;
        if (!DocumentPages(o.document, &pages, &error)) {
            std::fprintf(stderr, "printhost print: %s\n", error.c_str());
            return 1;
        }
    }
    std::u16string printer = platform::FromUtf8(o.printer);
    HDC hdc = CreateDCW(nullptr, printer.c_str(), nullptr, nullptr);
    if (!hdc) {
        std::fprintf(stderr, "printhost print: cannot open printer '%s' (error %u)\n", o.printer.c_str(),
                     GetLastError());
        return 1;
    }
    if (o.copies) {
        DWORD asked = static_cast<DWORD>(o.copies);
        INT set = 0;
        if (ExtEscape(hdc, SETCOPYCOUNT, sizeof asked, reinterpret_cast<LPCSTR>(&asked), sizeof set,
                      reinterpret_cast<LPSTR>(&set)) <= 0) {
            std::fprintf(stderr, "printhost print: the driver does not take a copy count\n");
        } else if (set != o.copies) {
            std::fprintf(stderr, "printhost print: the driver prints %d copies\n", set);
        }
    }
    std::u16string docName = o.document.empty() ? u"Blank pages" : platform::FromUtf8(fs::path(o.document).filename().string());
    DOCINFOW di{sizeof(DOCINFOW), docName.c_str(), nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    if (job <= 0) {
        std::fprintf(stderr, "printhost print: StartDoc failed (error %u)\n", GetLastError());
        DeleteDC(hdc);
        return 1;
    }
    long count = pages.empty() ? o.pages : static_cast<long>(pages.size());
    bool ok = true;
    long printed = 0;
    for (long i = 0; ok && i < count; ++i) {
        ok = StartPage(hdc) > 0;
        if (ok && !pages.empty()) ok = PlayPage(hdc, pages[static_cast<size_t>(i)]);
        if (ok) ok = EndPage(hdc) > 0;
        if (ok) ++printed;
    }
    if (ok) {
        ok = EndDoc(hdc) > 0;
    } else {
        AbortDoc(hdc);
    }
    DeleteDC(hdc);
    if (!ok) {
        std::fprintf(stderr, "printhost print: the job failed after %ld page(s) (error %u)\n", printed,
                     GetLastError());
        return 1;
    }
    platform::spooler::JobRecord record;
    if (!platform::spooler::FindJob(static_cast<DWORD>(job), &record)) {
        std::fprintf(stderr, "printhost print: job %d is not in the spooler\n", job);
        return 1;
    }
    std::string where = record.outputPath;
    if (!o.output.empty()) {
        std::error_code ec;
        fs::copy_file(record.outputPath, o.output, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "printhost print: cannot write '%s': %s\n", o.output.c_str(), ec.message().c_str());
            return 1;
        }
        where = o.output;
    }
    std::printf("printed %ld page(s) on '%s' as job %d: %llu bytes in %s\n", printed, o.printer.c_str(), job,
                static_cast<unsigned long long>(record.size), where.c_str());
    return 0;
}

Command cmd{"print", "--printer NAME [--copies N] [--pages N] [--output FILE] [DOCUMENT]",
            "print a document (a metafile, or a folder of them, one per page) or N blank pages (default 1)", Run};

} // namespace
} // namespace printhost
