// printhost print: runs a job on an installed printer through the device
// context's life cycle (CreateDC, StartDoc, pages, EndDoc, DeleteDC), as an
// application printing through the system would. A document is an enhanced
// metafile (one page) or a folder of them (one page each, in name order);
// without one the job has blank pages. Each page is played at the size its
// metafile's frame gives, centred on the printer's paper (a frame larger than
// the paper is scaled down to fit, its aspect kept). The records the pages could not
// play are summed up on standard error. The job's printer stream stays in the
// spooler's job, and is copied to --output FILE when asked; a job recorded for
// the spool-side player reaches the printer through the jobs it is replayed
// into, whose streams --output holds in order. --to-file FILE names the
// document's own output file, as an application printing to a file does, and
// the job's stream ends there.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "command.h"
#include "platform/gdi_ctl.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/base.h"
#include "devmode_private.h"
#include "win/emf.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/gdi_dc.h"

namespace printhost {
namespace {

namespace fs = std::filesystem;

struct Options {
    std::string printer;
    std::string output;
    std::string toFile;
    std::string document;
    long copies = 0; // 0: the printer's own setting
    long pages = 1;
    bool banding = false;
    std::string answer; // the job prompt's answers, for Jobprompt
    long agentPort = 0; // a sample device's agent standing in for port 161
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
        bool value = a == "--printer" || a == "--output" || a == "--to-file" || a == "--copies" ||
                     a == "--pages" || a == "--answer" || a == "--agent-port";
        if (value && i + 1 >= args.size()) {
            std::fprintf(stderr, "printhost print: %s needs a value\n", a.c_str());
            return false;
        }
        if (a == "--printer") {
            o->printer = args[++i];
        } else if (a == "--output") {
            o->output = args[++i];
        } else if (a == "--to-file") {
            o->toFile = args[++i];
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
        } else if (a == "--banding") {
            o->banding = true;
        } else if (a == "--answer") {
            o->answer = args[++i];
        } else if (a == "--agent-port") {
            if (!Number(args[++i], 1, 65535, &o->agentPort)) {
                std::fprintf(stderr, "printhost print: --agent-port takes a port number\n");
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
bool DocumentPages(const std::string& document, std::vector<std::string>* pages,
                   std::string* error) {
    std::error_code ec;
    if (fs::is_directory(document, ec)) {
        for (const auto& e : fs::directory_iterator(document, ec)) {
            std::string ext = e.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            if (ext != ".emf") continue;
            const std::string page = e.path().string();
            if (std::string why = FileProblem(page); !why.empty()) {
                *error = "cannot read page '" + page + "': " + why;
                return false;
            }
            pages->push_back(page);
        }
        std::sort(pages->begin(), pages->end());
        if (pages->empty()) *error = "no .emf pages in folder '" + document + "'";
    } else if (std::string why = FileProblem(document); why.empty()) {
        pages->push_back(document);
    } else {
        *error = "no document '" + document + "': " + why;
    }
    return error->empty();
}

// The driver's own device mode with the page rendered by the engine in
// bands: the graphics-mode feature on and chosen.
bool AskForBanding(HDC hdc) {
    constexpr int kGetDriverDevmode = 32762;
    constexpr size_t kImageSize = 1320;
    std::vector<BYTE> image(kImageSize);
    if (ExtEscape(hdc, kGetDriverDevmode, 0, nullptr, static_cast<int>(image.size()),
                  reinterpret_cast<LPSTR>(image.data())) <= 0)
        return false;
    auto* dm = reinterpret_cast<DEVMODEW*>(image.data());
    if (dm->dmSize + offsetof(PRIVATE_DEVMODE, GraphicsMode) + sizeof(WORD) > image.size())
        return false;
    BYTE* priv = image.data() + dm->dmSize;
    DWORD features = 0;
    std::memcpy(&features, priv + offsetof(PRIVATE_DEVMODE, FeatureFlags), sizeof features);
    features |= 1u << 16;
    std::memcpy(priv + offsetof(PRIVATE_DEVMODE, FeatureFlags), &features, sizeof features);
    const WORD graphics = 1;
    std::memcpy(priv + offsetof(PRIVATE_DEVMODE, GraphicsMode), &graphics, sizeof graphics);
    return ResetDCW(hdc, dm) != nullptr;
}

// What made a job fail: the step and the system's error code at that step
// (later clean-up calls set their own codes, which say nothing about it).
struct Failure {
    std::string what;
    DWORD error = 0;
};

std::string Describe(const Failure& f) {
    const char* meaning = nullptr;
    switch (f.error) {
    case ERROR_FILE_NOT_FOUND:
        meaning = "the file is not there";
        break;
    case ERROR_ACCESS_DENIED:
        meaning = "access is denied";
        break;
    case ERROR_INVALID_DATA:
        meaning = "the data is not valid";
        break;
    case ERROR_READ_FAULT:
        meaning = "the file could not be read";
        break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        meaning = "not enough memory";
        break;
    case ERROR_INVALID_PARAMETER:
        meaning = "a parameter is not valid";
        break;
    case ERROR_CANCELLED:
        meaning = "the job was cancelled";
        break;
    case ERROR_INVALID_PRINTER_NAME:
        meaning = "no printer has that name";
        break;
    case ERROR_NOT_SUPPORTED:
        meaning = "the driver does not take it";
        break;
    case ERROR_WRITE_FAULT:
        meaning = "the output could not be written to its file";
        break;
    case ERROR_CAN_NOT_COMPLETE:
        meaning = "the job could not be completed";
        break;
    default:
        break;
    }
    std::string text = f.what + " (error " + std::to_string(f.error);
    return text + (meaning ? std::string(": ") + meaning : "") + ")";
}

// Where a page's picture goes in the device context. What the page draws is
// its frame together with the bounds its header gives for the drawing (a
// program may frame only the content area of its page and draw headers and
// footers in the margins around it). A page whose drawing fits on the paper
// keeps its size: its frame centred on the paper as a print dialog prints a
// picture, moved as little as brings the drawing within the printable area
// where it can be. A larger one is scaled down, its aspect kept, until the
// drawing fits the printable area, and is centred on it. The device
// context's origin is the printable area's corner. A picture without a
// frame fills the printable area.
RECT PagePlacement(HDC hdc, const ENHMETAHEADER& h) {
    RECT printable{0, 0, GetDeviceCaps(hdc, HORZRES), GetDeviceCaps(hdc, VERTRES)};
    constexpr double kFrameUnitsPerInch = 2540; // the frame is in hundredths of a millimetre
    double dpiX = GetDeviceCaps(hdc, LOGPIXELSX), dpiY = GetDeviceCaps(hdc, LOGPIXELSY);
    double pageW = GetDeviceCaps(hdc, PHYSICALWIDTH), pageH = GetDeviceCaps(hdc, PHYSICALHEIGHT);
    double offX = GetDeviceCaps(hdc, PHYSICALOFFSETX), offY = GetDeviceCaps(hdc, PHYSICALOFFSETY);
    const RECTL& f = h.rclFrame;
    if (f.right <= f.left || f.bottom <= f.top || dpiX <= 0 || dpiY <= 0 || pageW <= 0 ||
        pageH <= 0 || printable.right <= 0 || printable.bottom <= 0)
        return printable;
    // Frame units to device pixels, and the drawing's extent in frame units:
    // the frame, and the bounds (inclusive pixels of the reference device).
    const double kx = dpiX / kFrameUnitsPerInch, ky = dpiY / kFrameUnitsPerInch;
    double l = f.left, t = f.top, r = f.right, b = f.bottom;
    // A pixel of rounding in the frame, and one of the reference device in
    // the bounds, is no overflow.
    double slackX = 1, slackY = 1;
    const RECTL& d = h.rclBounds;
    if (d.right >= d.left && d.bottom >= d.top && h.szlDevice.cx > 0 && h.szlDevice.cy > 0 &&
        h.szlMillimeters.cx > 0 && h.szlMillimeters.cy > 0) {
        const double ux = h.szlMillimeters.cx * 100.0 / h.szlDevice.cx,
                     uy = h.szlMillimeters.cy * 100.0 / h.szlDevice.cy;
        l = std::min(l, d.left * ux), t = std::min(t, d.top * uy);
        r = std::max(r, (d.right + 1.0) * ux), b = std::max(b, (d.bottom + 1.0) * uy);
        slackX += ux * kx, slackY += uy * ky;
    }
    const double drawnW = (r - l) * kx, drawnH = (b - t) * ky;
    const double printW = printable.right, printH = printable.bottom;
    double k = 1;
    if (drawnW > pageW + slackX || drawnH > pageH + slackY)
        k = std::min(printW / drawnW, printH / drawnH);
    // The drawing's corner in the printable area's pixels.
    double x, y;
    auto within = [](double at, double size, double room) {
        return size > room ? at : std::clamp(at, 0.0, room - size);
    };
    if (k < 1) {
        x = (printW - drawnW * k) / 2, y = (printH - drawnH * k) / 2;
    } else {
        const double fx = (pageW - (f.right - f.left) * kx) / 2 - offX,
                     fy = (pageH - (f.bottom - f.top) * ky) / 2 - offY;
        x = within(fx + (l - f.left) * kx, drawnW, printW);
        y = within(fy + (t - f.top) * ky, drawnH, printH);
    }
    // The frame's rectangle from the drawing's corner.
    const double frameX = x + (f.left - l) * kx * k, frameY = y + (f.top - t) * ky * k;
    auto px = [](double v) { return static_cast<LONG>(std::lround(v)); };
    return RECT{px(frameX), px(frameY), px(frameX + (f.right - f.left) * kx * k),
                px(frameY + (f.bottom - f.top) * ky * k)};
}

bool PlayPage(HDC hdc, const std::string& file, Failure* failure) {
    std::u16string path = platform::WindowsPath(fs::absolute(file).string());
    HENHMETAFILE emf = GetEnhMetaFileW(path.c_str());
    if (!emf) {
        *failure = {"'" + file + "' is not a readable enhanced metafile", GetLastError()};
        return false;
    }
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(emf, sizeof header, &header);
    RECT page = PagePlacement(hdc, header);
    BOOL ok = PlayEnhMetaFile(hdc, emf, &page);
    if (!ok) *failure = {"'" + file + "' did not play", GetLastError()};
    DeleteEnhMetaFile(emf);
    return ok != FALSE;
}

// The files one after another into `to`, replacing it; false with a reason.
// They are joined in a file of its own beside `to`, renamed over it once
// whole, so that a failure leaves what `to` held (or no file).
bool JoinFiles(const std::vector<std::string>& from, const std::string& to, std::string* error) {
    std::vector<char> buffer(1 << 16);
    std::string temp = to + ".~XXXXXX";
    int fd = ::mkstemp(temp.data());
    std::FILE* out = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!out) {
        *error = std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(temp.c_str());
        }
        return false;
    }
    bool ok = true;
    for (const std::string& name : from) {
        std::FILE* in = std::fopen(name.c_str(), "rb");
        if (!in) {
            *error = "cannot read '" + name + "': " + std::strerror(errno);
            ok = false;
            break;
        }
        size_t n;
        while (ok && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
            ok = std::fwrite(buffer.data(), 1, n, out) == n;
        if (ok && std::ferror(in)) ok = false;
        std::fclose(in);
        if (!ok) {
            if (error->empty()) *error = std::strerror(errno ? errno : EIO);
            break;
        }
    }
    if (std::fclose(out) != 0 && ok) {
        *error = std::strerror(errno);
        ok = false;
    }
    // mkstemp makes the file for its owner alone; the output is as readable
    // as any file the user makes.
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (ok && ::chmod(temp.c_str(), 0666 & ~mask) != 0) {
        *error = std::strerror(errno);
        ok = false;
    }
    if (ok && ::rename(temp.c_str(), to.c_str()) != 0) {
        *error = std::strerror(errno);
        ok = false;
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

// One line on standard error naming the records the pages left out.
void ReportSkippedRecords() {
    std::map<std::string, long> skipped = platform::SkippedEmfRecordCounts();
    if (skipped.empty()) return;
    long total = 0;
    std::string list;
    for (const auto& [name, count] : skipped) {
        total += count;
        list += (list.empty() ? "" : ", ") + name + " x" + std::to_string(count);
    }
    std::fprintf(stderr, "printhost print: %ld record(s) not played: %s\n", total, list.c_str());
}

int Run(const Args& args) {
    Options o;
    if (!Parse(args, &o)) return 2;
    for (const std::string* out : {&o.output, &o.toFile}) {
        if (std::string why = OutputFileProblem(*out); !out->empty() && !why.empty()) {
            std::fprintf(stderr, "printhost print: cannot write '%s': %s\n", out->c_str(),
                         why.c_str());
            return 1;
        }
    }
    // A prompt the job asks at print time runs in Jobprompt, a process of its
    // own: the answers reach it through its environment ("ok 1352=ID
    // 1354=PASSWORD", "cancel", "yes", "no", steps separated by ';').
    if (!o.answer.empty()) setenv("PRINTHOST_PROMPT_ANSWER", o.answer.c_str(), 1);
    // The device questions of the job (its prior-print check, in Jobprompt
    // too) go to a sample device's agent instead of port 161.
    if (o.agentPort) setenv("PRINTHOST_AGENT_PORT", std::to_string(o.agentPort).c_str(), 1);
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
        Failure f{"cannot open printer '" + o.printer + "'", GetLastError()};
        std::fprintf(stderr, "printhost print: %s\n", Describe(f).c_str());
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
    if (o.banding && !AskForBanding(hdc)) {
        std::fprintf(stderr, "printhost print: the driver does not take a banding device mode\n");
        DeleteDC(hdc);
        return 1;
    }
    std::u16string docName = o.document.empty()
                                 ? u"Blank pages"
                                 : platform::FromUtf8(fs::path(o.document).filename().string());
    std::u16string toFile;
    if (!o.toFile.empty()) toFile = platform::WindowsPath(fs::absolute(o.toFile).string());
    DOCINFOW di{sizeof(DOCINFOW), docName.c_str(), toFile.empty() ? nullptr : toFile.c_str(),
                nullptr, 0};
    int job = StartDocW(hdc, &di);
    if (job <= 0) {
        Failure f{"the job did not start", GetLastError()};
        std::fprintf(stderr, "printhost print: %s\n", Describe(f).c_str());
        DeleteDC(hdc);
        return 1;
    }
    long count = pages.empty() ? o.pages : static_cast<long>(pages.size());
    bool ok = true;
    long printed = 0;
    Failure failure; // this process has played no other metafile: every skipped record is the job's
    for (long i = 0; ok && i < count; ++i) {
        ok = StartPage(hdc) > 0;
        if (!ok) failure = {"page " + std::to_string(i + 1) + " did not start", GetLastError()};
        if (ok && !pages.empty()) ok = PlayPage(hdc, pages[static_cast<size_t>(i)], &failure);
        if (ok) {
            ok = EndPage(hdc) > 0;
            if (!ok) failure = {"page " + std::to_string(i + 1) + " did not end", GetLastError()};
        }
        if (ok) ++printed;
    }
    if (ok) {
        ok = EndDoc(hdc) > 0;
        if (!ok) failure = {"the job did not end", GetLastError()};
    } else {
        AbortDoc(hdc);
    }
    DeleteDC(hdc);
    ReportSkippedRecords();
    if (!ok) {
        std::fprintf(stderr, "printhost print: the job failed after %ld page(s): %s\n", printed,
                     Describe(failure).c_str());
        return 1;
    }
    // The job's own stream, then those of the jobs the spool-side player
    // replayed it into (started inside EndDoc), in order: what the printer got.
    std::vector<platform::spooler::JobRecord> jobs(1);
    if (!platform::spooler::FindJob(static_cast<DWORD>(job), &jobs[0])) {
        std::fprintf(stderr, "printhost print: job %d is not in the spooler\n", job);
        return 1;
    }
    std::vector<DWORD> started = platform::PrintJobsStarted();
    auto ours = std::find(started.begin(), started.end(), static_cast<DWORD>(job));
    std::string replayed;
    for (auto it = ours == started.end() ? ours : ours + 1; it != started.end(); ++it) {
        platform::spooler::JobRecord r;
        if (!platform::spooler::FindJob(*it, &r)) {
            std::fprintf(stderr, "printhost print: replayed job %lu is not in the spooler\n",
                         static_cast<unsigned long>(*it));
            return 1;
        }
        replayed += (replayed.empty() ? "" : ", ") + std::to_string(*it);
        jobs.push_back(std::move(r));
    }
    std::vector<std::string> streams;
    if (!o.toFile.empty()) {
        // Printed to a file, the stream of every road ends in the named file.
        streams.push_back(o.toFile);
    } else {
        for (const auto& r : jobs)
            if (r.size > 0 || jobs.size() == 1) streams.push_back(r.outputPath);
    }
    std::string where = streams.size() == 1 ? streams[0] : "the spooler's jobs";
    unsigned long long size = 0;
    for (const std::string& s : streams) {
        std::error_code ec;
        auto n = fs::file_size(s, ec);
        if (!ec) size += n;
    }
    std::error_code same;
    bool inPlace = streams.size() == 1 && fs::equivalent(streams[0], o.output, same);
    if (!o.output.empty() && !inPlace) {
        std::string error;
        if (!JoinFiles(streams, o.output, &error)) {
            std::fprintf(stderr, "printhost print: cannot write '%s': %s\n", o.output.c_str(),
                         error.c_str());
            return 1;
        }
        where = o.output;
    }
    std::string how = replayed.empty() ? ""
                                       : std::string(" (replayed on the spool side as job") +
                                             (jobs.size() > 2 ? "s " : " ") + replayed + ")";
    std::printf("printed %ld page(s) on '%s' as job %d%s: %llu bytes in %s\n", printed,
                o.printer.c_str(), job, how.c_str(), size, where.c_str());
    return 0;
}

Command cmd{
    "print",
    "--printer NAME [--copies N] [--pages N] [--banding] [--output FILE] [--to-file FILE] "
    "[--answer 'ok ID=TEXT...'|cancel] [--agent-port PORT] [DOCUMENT]",
    "print a document (a metafile, or a folder of them, one per page) or N blank pages (default 1)",
    Run};

} // namespace
} // namespace printhost
