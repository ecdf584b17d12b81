// printhost install: puts the built driver files and a model data file into a
// driver folder of the machine root and creates the printer, as the spooler
// does when a printer is installed.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "command.h"
#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/errors.h"

namespace printhost {
namespace {

namespace fs = std::filesystem;
namespace spl = platform::spooler;

struct Options {
    std::string name;
    std::string model;
    std::string port = "LPT1:";
    std::string address;
    std::string driver;
};

bool Parse(const Args& args, Options* o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string* target = a == "--name"      ? &o->name
                              : a == "--model"   ? &o->model
                              : a == "--port"    ? &o->port
                              : a == "--address" ? &o->address
                              : a == "--driver"  ? &o->driver
                                                 : nullptr;
        if (!target || i + 1 >= args.size()) {
            std::fprintf(stderr, "printhost install: unexpected argument '%s'\n", a.c_str());
            return false;
        }
        *target = args[++i];
    }
    if (o->name.empty() || o->model.empty() || o->port.empty()) {
        std::fprintf(stderr, "printhost install: --name and --model are required\n");
        return false;
    }
    return true;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    return s.size() >= n && platform::EqualsNoCaseUtf8(s.substr(0, n), prefix);
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && platform::EqualsNoCaseUtf8(s.substr(s.size() - n), suffix);
}

// "IP_192.168.1.20" names a TCP/IP port by its address.
std::string AddressFromPortName(const std::string& port) {
    if (!StartsWithNoCase(port, "IP_")) return {};
    std::string address = port.substr(3);
    int dots = 0;
    for (char c : address) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return {};
    }
    return dots == 3 ? address : std::string();
}

DWORD EnsurePort(const Options& o) {
    std::u16string port = platform::FromUtf8(o.port);
    std::string address = o.address.empty() ? AddressFromPortName(o.port) : o.address;
    bool exists = false;
    for (const auto& p : spl::Ports())
        if (platform::EqualsNoCase(p.name, port)) exists = true;
    if (!address.empty() && (!exists || !o.address.empty()))
        return spl::AddTcpIpPort(port, platform::FromUtf8(address));
    if (exists) return ERROR_SUCCESS;
    if (StartsWithNoCase(o.port, "USB")) return spl::AddPort({port, u"USB Monitor", u""});
    if (StartsWithNoCase(o.port, "LPT") || StartsWithNoCase(o.port, "COM") ||
        platform::EqualsNoCaseUtf8(o.port, "FILE:"))
        return spl::AddPort({port, u"Local Port", u""});
    return ERROR_UNKNOWN_PORT;
}

// A folder name for the driver: its name without characters a path cannot hold.
std::string FolderName(const std::string& driver) {
    std::string out;
    for (char c : driver)
        out += (c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
                c == '>' || c == '|')
                   ? '_'
                   : c;
    return out;
}

// A copy on its way into place is named after its target, ".~", the id and
// start of the process that writes it and mkstemp's six characters:
// "Inkforge.DLL.~4711-98765-a1B2c3". Older installs left ".~" and the six
// characters alone.
constexpr char kPartialMark[] = ".~";
constexpr size_t kUniqueChars = 6;

std::string OwnMark() {
    const long long pid = ::getpid();
    return kPartialMark + std::to_string(pid) + "-" +
           std::to_string(platform::ProcessStarted(pid)) + "-";
}

// Whether a file of a driver folder is a copy half way into place, and when
// it names its writer, which one.
bool IsPartialCopy(const std::string& name, long long* pid = nullptr,
                   long long* started = nullptr) {
    const size_t mark = name.rfind(kPartialMark);
    if (mark == std::string::npos || mark == 0 || name.size() - mark < 2 + kUniqueChars)
        return false;
    const std::string tail = name.substr(mark + 2);
    if (tail.size() == kUniqueChars) return true;
    long long p = 0, s = 0;
    int used = 0;
    if (std::sscanf(tail.c_str(), "%lld-%lld-%n", &p, &s, &used) != 2 ||
        tail.size() != static_cast<size_t>(used) + kUniqueChars ||
        tail.compare(0, static_cast<size_t>(used),
                     std::to_string(p) + "-" + std::to_string(s) + "-") != 0)
        return false;
    if (pid) *pid = p;
    if (started) *started = s;
    return true;
}

// Removes the copies of installs that were killed half way: those whose
// writer has ended (its id gone, or now another process's), and with
// `ownerless` those that do not name one, which only a holder of the
// folder's install lock may take for leftovers.
void RemoveDeadCopies(const fs::path& folder, bool ownerless) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        long long pid = 0, started = 0;
        if (!entry.is_regular_file(ec) ||
            !IsPartialCopy(entry.path().filename().string(), &pid, &started))
            continue;
        if (pid ? platform::ProcessStarted(pid) != started : ownerless)
            fs::remove(entry.path(), ec);
    }
}

// What killed installs left in every driver folder, as each next install
// finds it.
void SweepDriverFolders() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(platform::HostPath(spl::DriversFolder()), ec))
        if (entry.is_directory(ec) && !entry.is_symlink(ec)) RemoveDeadCopies(entry.path(), false);
}

// Copies a file into place as a new file: the copy is written under a unique
// name beside the target and renamed over it, so a process that has the old
// file loaded keeps running the old one whole (cutting it in place would pull
// the pages out from under that process). Returns an error text, empty on success.
std::string PutInPlace(const fs::path& from, const fs::path& to) {
    std::string temp = to.string() + OwnMark() + "XXXXXX";
    int out = ::mkstemp(temp.data()); // O_EXCL: never another writer's file or a leftover
    if (out < 0) return to.string() + ": " + std::strerror(errno);
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = in >= 0;
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            ok = w > 0;
            if (ok) done += w;
        }
    }
    int err = errno;
    struct stat st;
    if (ok && ::fstat(in, &st) == 0) ::fchmod(out, st.st_mode & 07777);
    ok = ok && ::fsync(out) == 0;
    if (!ok) err = errno;
    if (in >= 0) ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), to.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (ok) return {};
    ::unlink(temp.c_str());
    return to.string() + ": " + std::strerror(err);
}

// The model's own files lying beside its model data file: those its
// component table names as they stand and the package does not ship (a
// model's device-option file, say), as the model's installation disk brings
// them. The package's own files are never replaced by them.
std::vector<fs::path> ModelOwnFiles(const std::vector<std::uint8_t>& modelData,
                                    const fs::path& model, const fs::path& driverDir) {
    std::vector<fs::path> out;
    DWORD length = 0, count = 0;
    if (model::GetMyPrinterInfo(modelData.data(), model::kQueryComponents, 0,
                                model::layout::kComponentList, nullptr, &length,
                                &count) != ERROR_SUCCESS ||
        length == 0)
        return out;
    std::vector<std::uint8_t> answer(length);
    if (model::GetMyPrinterInfo(modelData.data(), model::kQueryComponents, 0,
                                model::layout::kComponentList, answer.data(), &length,
                                &count) != ERROR_SUCCESS)
        return out;
    std::error_code ec;
    for (size_t at = 0; at + sizeof(model::ComponentAnswer) <= length && at < answer.size();
         at += sizeof(model::ComponentAnswer)) {
        model::ComponentAnswer entry;
        std::memcpy(&entry, answer.data() + at, sizeof entry);
        if (entry.kind == model::kComponentKind64 || entry.kind == model::kComponentKind32)
            continue;
        const std::string name(entry.nameTemplate,
                               strnlen(entry.nameTemplate, sizeof entry.nameTemplate));
        if (name.empty() || name.find_first_of("\\/:") != std::string::npos || name == "." ||
            name == "..")
            continue;
        const fs::path beside = model.parent_path() / name;
        if (beside == model || !fs::is_regular_file(beside, ec) ||
            fs::exists(driverDir / name, ec) ||
            std::find(out.begin(), out.end(), beside) != out.end())
            continue;
        out.push_back(beside);
    }
    return out;
}

int Run(const Args& args) {
    Options o;
    if (!Parse(args, &o)) return 2;
    std::error_code ec;
    fs::path model(o.model);
    if (std::string why = FileProblem(o.model); !why.empty()) {
        std::fprintf(stderr, "printhost install: no model data file '%s': %s\n", o.model.c_str(),
                     why.c_str());
        return 1;
    }
    std::vector<std::uint8_t> modelData;
    std::string why;
    if (!ReadWholeFile(o.model, &modelData, &why)) {
        std::fprintf(stderr, "printhost install: cannot read '%s': %s\n", o.model.c_str(),
                     why.c_str());
        return 1;
    }
    if (std::string problem = ModelDataProblem(modelData); !problem.empty()) {
        std::fprintf(
            stderr,
            "printhost install: '%s' is not a model data file the model library accepts: %s\n",
            o.model.c_str(), problem.c_str());
        return 1;
    }
    fs::path driverDir(DriverDir());
    if (!fs::is_directory(driverDir, ec)) {
        std::fprintf(stderr,
                     "printhost install: no driver directory '%s' (build the package first)\n",
                     driverDir.c_str());
        return 1;
    }
    if (o.driver.empty()) o.driver = model.stem().string();
    const std::string folderName = FolderName(o.driver);
    if (folderName.find_first_not_of(". ") == std::string::npos) {
        std::fprintf(stderr,
                     "printhost install: '%s' cannot name a driver folder (it is empty or only "
                     "dots and blanks)\n",
                     o.driver.c_str());
        return 2;
    }

    std::u16string folder = spl::DriversFolder() + u"\\" + platform::FromUtf8(folderName);
    fs::path hostFolder(platform::HostPath(folder));
    fs::create_directories(hostFolder, ec);
    // One install at a time copies into a driver folder: another's copies
    // half way are not leftovers to clear.
    const std::string lockPath = hostFolder.string() + ".install-lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock >= 0)
        while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
        }
    struct LockRelease {
        int fd;
        ~LockRelease() {
            if (fd >= 0) ::close(fd);
        }
    } release{lock};
    SweepDriverFolders();
    // Under the lock, a copy that names no writer is a leftover too.
    if (lock >= 0) RemoveDeadCopies(hostFolder, true);
    std::string error;
    for (auto it = fs::recursive_directory_iterator(driverDir, ec);
         !ec && error.empty() && it != fs::end(it); it.increment(ec)) {
        if (it->is_directory())
            fs::create_directories(hostFolder / fs::relative(it->path(), driverDir), ec);
        else if (it->is_regular_file())
            error = PutInPlace(it->path(), hostFolder / fs::relative(it->path(), driverDir));
    }
    if (ec) error = ec.message();
    if (error.empty()) error = PutInPlace(model, hostFolder / model.filename());
    for (const fs::path& own : ModelOwnFiles(modelData, model, driverDir))
        if (error.empty()) error = PutInPlace(own, hostFolder / own.filename());
    if (!error.empty()) {
        std::fprintf(stderr, "printhost install: cannot copy the driver files: %s\n",
                     error.c_str());
        return 1;
    }

    // The driver record names the files as they now lie in the folder.
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(hostFolder, ec))
        if (entry.is_regular_file() && !IsPartialCopy(entry.path().filename().string()))
            files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    auto windowsPath = [&](const std::string& file) {
        return folder + u"\\" + platform::FromUtf8(file);
    };
    auto pick = [&](auto&& match, const char* fallback) {
        for (const auto& f : files)
            if (match(f)) return f;
        return std::string(fallback);
    };
    std::string dataFile = model.filename().string();
    std::string driverFile =
        pick([](const std::string& f) { return platform::EqualsNoCaseUtf8(f, "Inkforge.DLL"); },
             "Inkforge.DLL");
    std::string configFile = pick(
        [](const std::string& f) {
            return StartsWithNoCase(f, "Frontdoor") && EndsWithNoCase(f, ".DLL");
        },
        "Frontdoor.DLL");
    std::string helpFile = pick(
        [](const std::string& f) { return EndsWithNoCase(f, ".CHM") || EndsWithNoCase(f, ".HLP"); },
        "");

    spl::DriverRecord d;
    d.name = platform::FromUtf8(o.driver);
    d.driverPath = windowsPath(driverFile);
    d.dataFile = windowsPath(dataFile);
    d.configFile = windowsPath(configFile);
    if (!helpFile.empty()) d.helpFile = windowsPath(helpFile);
    for (const auto& f : files)
        if (f != dataFile && f != driverFile && f != configFile && f != helpFile)
            d.dependentFiles.push_back(windowsPath(f));
    d.defaultDataType = u"RAW";
    if (DWORD e = spl::AddDriver(d)) {
        std::fprintf(stderr, "printhost install: cannot add the driver (error %u)\n",
                     static_cast<unsigned>(e));
        return 1;
    }
    if (DWORD e = EnsurePort(o)) {
        std::fprintf(stderr, "printhost install: cannot use port '%s' (error %u)%s\n",
                     o.port.c_str(), static_cast<unsigned>(e),
                     e == ERROR_UNKNOWN_PORT ? "; give --address HOST for a TCP/IP port" : "");
        return 1;
    }
    spl::PrinterRecord p;
    p.name = platform::FromUtf8(o.name);
    p.port = platform::FromUtf8(o.port);
    p.driver = d.name;
    if (DWORD e = spl::AddPrinter(p, true)) {
        std::fprintf(stderr, "printhost install: cannot create printer '%s' (error %u)\n",
                     o.name.c_str(), static_cast<unsigned>(e));
        return 1;
    }
    std::printf("installed printer \"%s\" (driver \"%s\") on port %s\n", o.name.c_str(),
                o.driver.c_str(), o.port.c_str());
    std::printf("driver folder: %s (%zu files)\n", platform::ToUtf8(folder).c_str(), files.size());
    return 0;
}

Command cmd{"install", "--name NAME --model FILE [--port PORT] [--address HOST] [--driver NAME]",
            "install a printer from the built driver files and a model data file", Run};

} // namespace
} // namespace printhost
