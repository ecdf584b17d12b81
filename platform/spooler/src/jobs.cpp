// Print jobs: StartDocPrinter, WritePrinter and the end of a document; job
// information and job control.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>

#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/text.h"
#include "spooler_internal.h"
#include "win/environment.h"

namespace platform::spooler {
namespace {

constexpr DWORD kGone = JOB_STATUS_DELETING | JOB_STATUS_DELETED;

DWORD ErrorFromErrno(int e) {
    switch (e) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_WRITE_FAULT;
    }
}

std::vector<BYTE> SystemTimeNow() {
    SYSTEMTIME st{};
    GetSystemTime(&st);
    std::vector<BYTE> out(sizeof st);
    std::memcpy(out.data(), &st, sizeof st);
    return out;
}

struct JobRow {
    DWORD id = 0;
    std::string printerKey;
    std::u16string document, user, machine, datatype, statusText;
    DWORD status = 0, priority = 1, totalPages = 0, pagesPrinted = 0;
    ULONGLONG size = 0;
    std::vector<BYTE> submitted, devmode;
    std::string outputPath;
    bool spoolFile = true;
};

// Pages started by this process's writers and not yet in the database. A
// transaction per page cost a tenth of a fast page, so StartPagePrinter
// writes its count at most every kPageFlushInterval (and always at the first
// page and at the end of the document). Every read of a job goes through
// LoadJob, which adds the pages still held here: this process sees each page
// at once; another process sees it at the writer's next page past the
// interval, or at the end of the document.
constexpr auto kPageFlushInterval = std::chrono::milliseconds(50);

struct PendingPages {
    DWORD count = 0;
    std::chrono::steady_clock::time_point lastFlush{};
};

std::mutex& PendingMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::map<DWORD, PendingPages>& Pending() {
    static auto* pending = new std::map<DWORD, PendingPages>;
    return *pending;
}

DWORD PendingPagesOf(DWORD id) {
    std::lock_guard lock(PendingMutex());
    auto it = Pending().find(id);
    return it == Pending().end() ? 0 : it->second.count;
}

// What GetJob answers for a job this process is writing, kept while the
// job-status stamp stays where it was when the job was read: a driver asks
// for its job on every page to see a cancel. Every change of a job's row
// raises the stamp (this process's held pages drop what is kept when they
// are written), the pages still held are added at each answer, and the size
// is what the file holds at each answer. The one change no stamp follows is
// the end of an earlier job's writing process, which moves the job's place
// in the queue: the writers of the printer's earlier jobs are kept and
// looked at again on each answer.
struct KeptJob {
    bool valid = false;
    unsigned generation = 0; // moves whenever what is kept is dropped
    unsigned long long stamp = 0;
    std::string root;
    JobRow row; // its pages as the database has them, without those held here
    DWORD position = 0;
    std::vector<std::pair<long long, long long>> earlierWriters; // pid, started
};

std::mutex& KeptMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::map<DWORD, KeptJob>& Kept() {
    static auto* kept = new std::map<DWORD, KeptJob>;
    return *kept;
}

void StartKeeping(DWORD id) {
    std::lock_guard lock(KeptMutex());
    Kept()[id] = KeptJob{};
}

void DropKept(DWORD id) {
    std::lock_guard lock(KeptMutex());
    auto it = Kept().find(id);
    if (it == Kept().end()) return;
    it->second.valid = false;
    ++it->second.generation;
}

void StopKeeping(DWORD id) {
    std::lock_guard lock(KeptMutex());
    Kept().erase(id);
}

void ForgetKept() {
    std::lock_guard lock(KeptMutex());
    Kept().clear();
}

struct KeptResetRegistrar {
    KeptResetRegistrar() { RegisterResetHook(&ForgetKept); }
} gKeptResetRegistrar;

// Writes the job's held pages into the database; the caller holds the
// writer's handle. Inside a transaction of the caller's, the write joins it.
// The count leaves the table before the write so that no reader in this
// process counts a page twice, and comes back if the write failed.
bool FlushPendingPagesOf(DWORD id, bool insideTransaction) {
    DWORD n = 0;
    {
        std::lock_guard lock(PendingMutex());
        auto it = Pending().find(id);
        if (it == Pending().end() || it->second.count == 0) return true;
        n = it->second.count;
        it->second.count = 0;
        it->second.lastFlush = std::chrono::steady_clock::now();
    }
    auto write = [&] {
        Stmt s("UPDATE spl_jobs SET total_pages = total_pages + ? WHERE id = ?");
        s.Bind(1, static_cast<long long>(n)).Bind(2, static_cast<long long>(id));
        s.Run();
        return true;
    };
    bool ok = false;
    try {
        ok = insideTransaction ? write() : platform::MachineDb::Transaction(write);
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        std::lock_guard lock(PendingMutex());
        Pending()[id].count += n;
    }
    DropKept(id);
    return ok;
}

void ForgetPendingPagesOf(DWORD id) {
    std::lock_guard lock(PendingMutex());
    Pending().erase(id);
}

bool LoadJob(DWORD id, JobRow* out, bool withHeldPages = true) {
    Stmt s("SELECT id, printer, document, user, machine, datatype, status_text, status, priority, "
           "total_pages, pages_printed, size, submitted, devmode, output_path, spool_file "
           "FROM spl_jobs WHERE id = ?");
    s.Bind(1, static_cast<long long>(id));
    if (!s.Step()) return false;
    out->id = static_cast<DWORD>(s.Int(0));
    out->printerKey = s.Text(1);
    out->document = s.Wide(2);
    out->user = s.Wide(3);
    out->machine = s.Wide(4);
    out->datatype = s.Wide(5);
    out->statusText = s.Wide(6);
    out->status = static_cast<DWORD>(s.Int(7));
    out->priority = static_cast<DWORD>(s.Int(8));
    out->totalPages = static_cast<DWORD>(s.Int(9)) + (withHeldPages ? PendingPagesOf(out->id) : 0);
    out->pagesPrinted = static_cast<DWORD>(s.Int(10));
    out->size = static_cast<ULONGLONG>(s.Int(11));
    out->submitted = s.Blob(12);
    out->devmode = s.Blob(13);
    if (!IsWellFormedDevmodeW(out->devmode)) out->devmode.clear();
    out->outputPath = s.Text(14);
    out->spoolFile = s.Int(15) != 0;
    return true;
}

// While a job is being written its size is what its file holds so far.
ULONGLONG CurrentSize(const JobRow& job) {
    if ((job.status & JOB_STATUS_SPOOLING) && !job.outputPath.empty()) {
        struct stat st;
        if (::stat(job.outputPath.c_str(), &st) == 0) return static_cast<ULONGLONG>(st.st_size);
    }
    return job.size;
}

DWORD QueuePosition(const JobRow& job) {
    if (job.status & (kGone | JOB_STATUS_PRINTED)) return 0;
    Stmt s("SELECT COUNT(*) FROM spl_jobs WHERE printer = ? AND id <= ? AND " SPL_JOB_WAITING
           " AND (status & ?) = 0");
    s.Bind(1, job.printerKey).Bind(2, static_cast<long long>(job.id));
    s.Bind(3, static_cast<long long>(kGone | JOB_STATUS_PRINTED));
    s.Step();
    return static_cast<DWORD>(s.Int(0));
}

// A job's spool file goes with it; so does the temporary file of a document's
// output that was never put in place (the destination itself is the user's).
void RemoveOutput(const JobRow& job) {
    if (job.outputPath.empty()) return;
    if (job.spoolFile || !(job.status & JOB_STATUS_PRINTED)) ::unlink(job.outputPath.c_str());
}

// A file of its own beside `path` ("<name>.~<16 hex digits>.tmp"), opened for
// writing; -1 with errno when none could be made.
int OpenBeside(const std::string& path, std::string* temp) {
    static std::atomic<unsigned long long> drawn{0};
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned long long n = (static_cast<unsigned long long>(random()) << 32) ^ random() ^
                               (drawn.fetch_add(1) * 0x9E3779B97F4A7C15ull);
        char tail[32];
        std::snprintf(tail, sizeof tail, ".~%016llX.tmp", n);
        *temp = path + tail;
        int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// The empty file a document that finished without output, or failed, leaves
// where nothing was: removed while it is still the one its start made.
void RemovePlaceholder(const std::string& final, unsigned long long dev, unsigned long long ino) {
    struct stat st;
    if (ino != 0 && ::stat(final.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino &&
        st.st_size == 0)
        ::unlink(final.c_str());
}

// Puts a finished document's output in place: a read-only destination stays
// as it is, and an output without a byte (a job recorded for the spool side,
// whose replay writes the file) replaces nothing.
DWORD PlaceOutput(const std::string& temp, const std::string& final, ULONGLONG written) {
    struct stat st;
    DWORD error = ERROR_SUCCESS;
    if (written > 0 && ::stat(final.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR))
        error = ERROR_ACCESS_DENIED;
    else if (written > 0 && ::rename(temp.c_str(), final.c_str()) != 0)
        error = ErrorFromErrno(errno);
    if (written == 0 || error != ERROR_SUCCESS) ::unlink(temp.c_str());
    return error;
}

// Deletes a job as a cancel from anywhere does: one still being written is
// only marked, so that its writer sees the cancel and stops.
bool DeleteJob(DWORD id) {
    JobRow job;
    bool finished = false;
    bool ok = MachineDb::Transaction([&] {
        if (!LoadJob(id, &job)) return false;
        DWORD status = job.status;
        if (status & JOB_STATUS_DELETED) return true;
        if (status & JOB_STATUS_SPOOLING) {
            status |= JOB_STATUS_DELETING;
        } else {
            status = (status & ~JOB_STATUS_DELETING) | JOB_STATUS_DELETED;
            finished = true;
        }
        Stmt s("UPDATE spl_jobs SET status = ? WHERE id = ?");
        s.Bind(1, static_cast<long long>(status)).Bind(2, static_cast<long long>(id));
        s.Run();
        return true;
    });
    if (ok) {
        DropKept(id);
        RaiseStatusStamp();
    }
    if (ok && finished) RemoveOutput(job);
    return ok;
}

bool WriterAlive(long long pid, long long started) {
    return pid == ::getpid() || (started >= 0 && platform::ProcessStarted(pid) == started);
}

// Jobs whose writing process has ended without finishing them are failed and
// deleted, with their spool files, as the system's spooler does once the
// writer is gone. Runs whenever the spooler looks at a printer's jobs.
void RemoveJobsOfEndedWriters(const std::string& printerKey) {
    struct Writer {
        DWORD job;
        long long pid, started;
    };
    std::vector<Writer> writers;
    {
        Stmt s(
            "SELECT w.job, w.pid, w.started FROM spl_job_writers w JOIN spl_jobs j ON j.id = w.job "
            "WHERE j.printer = ?");
        s.Bind(1, printerKey);
        while (s.Step())
            writers.push_back({static_cast<DWORD>(s.Int(0)), s.Int(1), s.Int(2)});
    }
    for (const auto& w : writers) {
        if (WriterAlive(w.pid, w.started)) continue;
        JobRow job;
        bool removed = false;
        MachineDb::Transaction([&] {
            Stmt gone("DELETE FROM spl_job_writers WHERE job = ? AND pid = ?");
            gone.Bind(1, static_cast<long long>(w.job)).Bind(2, w.pid);
            gone.Run();
            if (Changes() == 0 || !LoadJob(w.job, &job)) return true; // someone else was first
            DWORD status = (job.status & ~(JOB_STATUS_SPOOLING | JOB_STATUS_DELETING)) |
                           JOB_STATUS_ERROR | JOB_STATUS_DELETED;
            Stmt s("UPDATE spl_jobs SET status = ? WHERE id = ?");
            s.Bind(1, static_cast<long long>(status)).Bind(2, static_cast<long long>(w.job));
            s.Run();
            removed = true;
            return true;
        });
        if (removed) {
            RaiseStatusStamp();
            RemoveOutput(job);
        }
    }
}

void SetStatus(DWORD id, DWORD set, DWORD clear) {
    MachineDb::Transaction([&] {
        Stmt s("UPDATE spl_jobs SET status = (status & ~?) | ? WHERE id = ?");
        s.Bind(1, static_cast<long long>(clear)).Bind(2, static_cast<long long>(set));
        s.Bind(3, static_cast<long long>(id));
        s.Run();
        return true;
    });
    DropKept(id);
    RaiseStatusStamp();
}

DWORD StartDoc(HANDLE hPrinter, DWORD Level, const std::u16string* docName,
               const std::u16string* outputFile, const std::u16string* datatypeIn, bool haveInfo) {
    auto h = FindPrinterHandle(hPrinter);
    if (!h) return 0;
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return 0;
    }
    if (!haveInfo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!(h->access & PRINTER_ACCESS_USE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    std::lock_guard lock(h->mutex);
    if (h->jobId != 0) {
        SetLastError(ERROR_INVALID_PRINTER_STATE);
        return 0;
    }
    PrinterRow row;
    if (!LoadPrinter(h->key, &row)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return 0;
    }
    std::u16string datatype = !datatypeIn->empty()   ? *datatypeIn
                              : !h->datatype.empty() ? h->datatype
                                                     : row.datatype;
    if (!IsValidDatatype(datatype)) {
        SetLastError(ERROR_INVALID_DATATYPE);
        return 0;
    }
    const std::vector<BYTE>& devmode = !h->devmode.empty() ? h->devmode : row.rec.devmode;
    RemoveJobsOfEndedWriters(h->key);
    bool discard = DiscardingOutput();
    bool spoolFile = outputFile->empty();
    DWORD error = ERROR_SUCCESS;
    DWORD jobId = 0;
    int fd = -1;
    std::string finalPath;
    unsigned long long placeholderDev = 0, placeholderIno = 0;
    bool ok = MachineDb::Transaction([&] {
        Stmt s("INSERT INTO spl_jobs(printer, document, user, machine, datatype, status, "
               "submitted, devmode, "
               "spool_file) VALUES(?,?,?,?,?,?,?,?,?)");
        s.Bind(1, h->key)
            .Bind(2, *docName)
            .Bind(3, CurrentUserName())
            .Bind(4, u"\\\\" + ComputerName());
        s.Bind(5, datatype).Bind(6, static_cast<long long>(JOB_STATUS_SPOOLING));
        s.BindBlob(7, SystemTimeNow()).BindBlob(8, devmode).Bind(9, spoolFile ? 1LL : 0LL);
        s.Run();
        jobId = static_cast<DWORD>(LastInsertId());
        // The job belongs to this process until it ends the document.
        Stmt w("INSERT OR REPLACE INTO spl_job_writers(job, pid, started) VALUES(?,?,?)");
        w.Bind(1, static_cast<long long>(jobId)).Bind(2, static_cast<long long>(::getpid()));
        w.Bind(3, platform::ProcessStarted(::getpid()));
        w.Run();
        std::string path;
        if (spoolFile) {
            char name[32];
            std::snprintf(name, sizeof name, "\\%05u.SPL", static_cast<unsigned>(jobId));
            path = HostPath(SpoolFolder() + FromUtf8(name));
        } else {
            finalPath = HostPath(*outputFile);
        }
        if (!discard) {
            std::error_code ec;
            std::filesystem::create_directories(
                std::filesystem::path(spoolFile ? path : finalPath).parent_path(), ec);
            // A document's file is written beside it, so that a job that fails
            // leaves what was there.
            if (!spoolFile) {
                // The destination is there while the job runs (as an empty
                // file where there was none); what was there stays till the end.
                int made = ::open(finalPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                struct stat st;
                if (made >= 0 && ::fstat(made, &st) == 0) {
                    placeholderDev = st.st_dev;
                    placeholderIno = st.st_ino;
                }
                if (made >= 0) ::close(made);
                if (made < 0 && errno != EEXIST) {
                    error = ErrorFromErrno(errno);
                    return false;
                }
            }
            fd = spoolFile ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                           : OpenBeside(finalPath, &path);
            if (fd < 0) {
                error = ErrorFromErrno(errno);
                return false;
            }
        }
        Stmt u("UPDATE spl_jobs SET output_path = ? WHERE id = ?");
        u.Bind(1, discard ? std::string() : path).Bind(2, static_cast<long long>(jobId));
        u.Run();
        return true;
    });
    if (!ok) {
        if (fd >= 0) ::close(fd);
        RemovePlaceholder(finalPath, placeholderDev, placeholderIno);
        SetLastError(error != ERROR_SUCCESS ? error : RPC_S_SERVER_UNAVAILABLE);
        return 0;
    }
    StartKeeping(jobId);
    h->jobId = jobId;
    h->stampKnown = false;
    h->fd = fd;
    h->finalPath = discard ? std::string() : finalPath;
    h->placeholderDev = placeholderDev;
    h->placeholderIno = placeholderIno;
    h->discard = discard;
    h->pageOpen = false;
    h->written = 0;
    return jobId;
}

BOOL FinishDoc(HANDLE hPrinter, bool abort) {
    auto h = FindPrinterHandle(hPrinter);
    if (!h) return FALSE;
    std::lock_guard lock(h->mutex);
    if (h->jobId == 0) {
        SetLastError(ERROR_SPL_NO_STARTDOC);
        return FALSE;
    }
    bool closed = h->fd < 0 || ::close(h->fd) == 0;
    DWORD closeError = closed ? ERROR_SUCCESS : ErrorFromErrno(errno);
    DWORD id = h->jobId;
    ULONGLONG written = h->written;
    std::string finalPath = std::move(h->finalPath);
    const unsigned long long placeholderDev = h->placeholderDev, placeholderIno = h->placeholderIno;
    h->finalPath.clear();
    h->placeholderDev = h->placeholderIno = 0;
    h->fd = -1;
    h->jobId = 0;
    h->pageOpen = false;
    JobRow job;
    bool removed = false;
    DWORD placeError = ERROR_SUCCESS;
    MachineDb::Transaction([&] {
        if (!LoadJob(id, &job)) return false;
        DWORD status = job.status & ~JOB_STATUS_SPOOLING;
        placeError = closeError;
        // The document's file goes in place inside the transaction that ends
        // the job, so that a cancel cannot come between.
        if (!abort && !(status & kGone) && !finalPath.empty() && placeError == ERROR_SUCCESS)
            placeError = PlaceOutput(job.outputPath, finalPath, written);
        if (abort || (status & kGone) || placeError != ERROR_SUCCESS) {
            status = (status & ~JOB_STATUS_DELETING) | JOB_STATUS_DELETED;
            if (placeError != ERROR_SUCCESS) status |= JOB_STATUS_ERROR;
            removed = true;
        } else {
            status |= JOB_STATUS_PRINTED;
            if (!finalPath.empty()) {
                job.outputPath = finalPath;
                Stmt o("UPDATE spl_jobs SET output_path = ? WHERE id = ?");
                o.Bind(1, finalPath).Bind(2, static_cast<long long>(id));
                o.Run();
            }
        }
        Stmt w("DELETE FROM spl_job_writers WHERE job = ?");
        w.Bind(1, static_cast<long long>(id));
        w.Run();
        // The pages still held join the end's transaction, before the pages
        // printed are taken from the total.
        FlushPendingPagesOf(id, true);
        Stmt s("UPDATE spl_jobs SET status = ?, size = ?, pages_printed = CASE WHEN ? THEN "
               "pages_printed "
               "ELSE total_pages END WHERE id = ?");
        s.Bind(1, static_cast<long long>(status)).Bind(2, static_cast<long long>(written));
        s.Bind(3, removed ? 1LL : 0LL).Bind(4, static_cast<long long>(id));
        s.Run();
        return true;
    });
    ForgetPendingPagesOf(id);
    StopKeeping(id);
    RaiseStatusStamp();
    if (removed) RemoveOutput(job);
    if (removed || written == 0) RemovePlaceholder(finalPath, placeholderDev, placeholderIno);
    if (placeError != ERROR_SUCCESS) {
        SetLastError(placeError);
        return FALSE;
    }
    return TRUE;
}

// The job as GetJob answers it, and its place in the queue: from what is
// kept for a job this process is writing while nothing moved, else from the
// database (and then kept).
bool JobForAnswer(const SpoolHandle& h, DWORD jobId, JobRow* job, DWORD* position) {
    // Read before the database, so that a change committed meanwhile moves
    // the stamp past what is kept.
    unsigned long long stamp = 0;
    const bool haveStamp = ReadStatusStamp(&stamp);
    unsigned generation = 0;
    bool writing = false;
    if (haveStamp) {
        std::vector<std::pair<long long, long long>> writers;
        bool hit = false;
        {
            std::lock_guard lock(KeptMutex());
            auto it = Kept().find(jobId);
            if (it != Kept().end()) {
                writing = true;
                generation = it->second.generation;
                const KeptJob& k = it->second;
                if (k.valid && k.stamp == stamp && k.root == MachineRoot() &&
                    k.row.printerKey == h.key) {
                    *job = k.row;
                    *position = k.position;
                    writers = k.earlierWriters;
                    hit = true;
                }
            }
        }
        if (hit) {
            bool alive = true;
            for (const auto& [pid, started] : writers)
                alive = alive && WriterAlive(pid, started);
            if (alive) {
                job->totalPages += PendingPagesOf(jobId);
                return true;
            }
        }
    }
    RemoveJobsOfEndedWriters(h.key);
    if (!LoadJob(jobId, job, false) || job->printerKey != h.key) return false;
    *position = QueuePosition(*job);
    if (writing && (job->status & JOB_STATUS_SPOOLING)) {
        KeptJob k;
        k.valid = true;
        k.stamp = stamp;
        k.root = MachineRoot();
        k.row = *job;
        k.position = *position;
        Stmt w("SELECT w.pid, w.started FROM spl_job_writers w JOIN spl_jobs j ON j.id = w.job "
               "WHERE j.printer = ? AND j.id < ?");
        w.Bind(1, h.key).Bind(2, static_cast<long long>(jobId));
        while (w.Step())
            k.earlierWriters.emplace_back(w.Int(0), w.Int(1));
        std::lock_guard lock(KeptMutex());
        auto it = Kept().find(jobId);
        if (it != Kept().end() && it->second.generation == generation) {
            k.generation = generation;
            it->second = std::move(k);
        }
    }
    job->totalPages += PendingPagesOf(jobId);
    return true;
}

// Builds a GetJob answer in the wide or the ANSI layout (same offsets).
bool BuildJobAnswer(const SpoolHandle& h, DWORD jobId, DWORD level, bool ansi, Answer* a) {
    if (level != 1 && level != 2) {
        RemoveJobsOfEndedWriters(h.key); // a look at the printer's jobs all the same
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
    JobRow job;
    DWORD position = 0;
    if (!JobForAnswer(h, jobId, &job, &position)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The printer's record as kept: a writer asks for its job on every page.
    auto printer = SharedPrinter(h.key);
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return false;
    }
    const PrinterRow& row = *printer;
    auto str = [&](size_t field, const std::u16string& s) {
        if (ansi)
            a->StringA(field, AnsiFromWide(s));
        else
            a->String(field, s);
    };
    SYSTEMTIME submitted{};
    if (job.submitted.size() == sizeof submitted)
        std::memcpy(&submitted, job.submitted.data(), sizeof submitted);
    std::u16string printerName =
        row.rec.server.empty() ? row.rec.name : row.rec.server + u"\\" + row.rec.name;
    if (level == 1) {
        size_t r = a->Record(sizeof(JOB_INFO_1W));
        a->Put<DWORD>(r + offsetof(JOB_INFO_1W, JobId), job.id);
        str(r + offsetof(JOB_INFO_1W, pPrinterName), printerName);
        str(r + offsetof(JOB_INFO_1W, pMachineName), job.machine);
        str(r + offsetof(JOB_INFO_1W, pUserName), job.user);
        str(r + offsetof(JOB_INFO_1W, pDocument), job.document);
        str(r + offsetof(JOB_INFO_1W, pDatatype), job.datatype);
        if (!job.statusText.empty()) str(r + offsetof(JOB_INFO_1W, pStatus), job.statusText);
        a->Put<DWORD>(r + offsetof(JOB_INFO_1W, Status), job.status);
        a->Put<DWORD>(r + offsetof(JOB_INFO_1W, Priority), job.priority);
        a->Put<DWORD>(r + offsetof(JOB_INFO_1W, Position), position);
        a->Put<DWORD>(r + offsetof(JOB_INFO_1W, TotalPages), job.totalPages);
        a->Put<DWORD>(r + offsetof(JOB_INFO_1W, PagesPrinted), job.pagesPrinted);
        a->Put(r + offsetof(JOB_INFO_1W, Submitted), submitted);
        return true;
    }
    size_t r = a->Record(sizeof(JOB_INFO_2W));
    a->Put<DWORD>(r + offsetof(JOB_INFO_2W, JobId), job.id);
    str(r + offsetof(JOB_INFO_2W, pPrinterName), printerName);
    str(r + offsetof(JOB_INFO_2W, pMachineName), job.machine);
    str(r + offsetof(JOB_INFO_2W, pUserName), job.user);
    str(r + offsetof(JOB_INFO_2W, pDocument), job.document);
    str(r + offsetof(JOB_INFO_2W, pNotifyName), job.user);
    str(r + offsetof(JOB_INFO_2W, pDatatype), job.datatype);
    str(r + offsetof(JOB_INFO_2W, pPrintProcessor), row.processor);
    str(r + offsetof(JOB_INFO_2W, pParameters), u"");
    str(r + offsetof(JOB_INFO_2W, pDriverName), row.rec.driver);
    if (!job.devmode.empty()) {
        std::vector<BYTE> devmode = ansi ? DevmodeWideToAnsi(job.devmode) : job.devmode;
        if (!devmode.empty()) a->Block(r + offsetof(JOB_INFO_2W, pDevMode), devmode);
    }
    if (!job.statusText.empty()) str(r + offsetof(JOB_INFO_2W, pStatus), job.statusText);
    a->Put<DWORD>(r + offsetof(JOB_INFO_2W, Status), job.status);
    a->Put<DWORD>(r + offsetof(JOB_INFO_2W, Priority), job.priority);
    a->Put<DWORD>(r + offsetof(JOB_INFO_2W, Position), position);
    a->Put<DWORD>(r + offsetof(JOB_INFO_2W, TotalPages), job.totalPages);
    ULONGLONG size = CurrentSize(job);
    a->Put<DWORD>(r + offsetof(JOB_INFO_2W, Size),
                  size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(size));
    a->Put(r + offsetof(JOB_INFO_2W, Submitted), submitted);
    a->Put<DWORD>(r + offsetof(JOB_INFO_2W, PagesPrinted), job.pagesPrinted);
    return true;
}

BOOL GetJobImpl(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                LPDWORD pcbNeeded, bool ansi) {
    auto h = FindPrinterHandle(hPrinter);
    if (!h) return FALSE;
    Answer a;
    if (!BuildJobAnswer(*h, JobId, Level, ansi, &a)) return FALSE;
    return a.Deliver(pJob, cbBuf, pcbNeeded) ? TRUE : FALSE;
}

// The fields of JOB_INFO_1 and JOB_INFO_2 that SetJob changes, already wide.
struct JobChanges {
    const std::u16string* document = nullptr;
    const std::u16string* user = nullptr;
    const std::u16string* statusText = nullptr;
    const std::u16string* datatype = nullptr;
    DWORD priority = NO_PRIORITY;
};

BOOL SetJobImpl(HANDLE hPrinter, DWORD JobId, DWORD Level, bool haveInfo, const JobChanges& changes,
                DWORD Command) {
    auto h = FindPrinterHandle(hPrinter);
    if (!h) return FALSE;
    if (Level > 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (Level != 0 && !haveInfo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    JobRow job;
    if (JobId == 0 || !LoadJob(JobId, &job) || job.printerKey != h->key) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(h->access & PRINTER_ACCESS_ADMINISTER) &&
        FoldKey(job.user) != FoldKey(CurrentUserName())) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (Command > JOB_CONTROL_LAST_PAGE_EJECTED) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Level != 0) {
        if (changes.priority > MAX_PRIORITY) {
            SetLastError(ERROR_INVALID_PRIORITY);
            return FALSE;
        }
        if (changes.datatype && !changes.datatype->empty() && !IsValidDatatype(*changes.datatype)) {
            SetLastError(ERROR_INVALID_DATATYPE);
            return FALSE;
        }
        MachineDb::Transaction([&] {
            Stmt s(
                "UPDATE spl_jobs SET document = COALESCE(?, document), user = COALESCE(?, user), "
                "status_text = COALESCE(?, status_text), datatype = COALESCE(?, datatype), "
                "priority = CASE WHEN ? = 0 THEN priority ELSE ? END WHERE id = ?");
            auto bindOpt = [&](int i, const std::u16string* v, bool skipEmpty) {
                if (v && !(skipEmpty && v->empty()))
                    s.Bind(i, *v);
                else
                    s.BindBlob(i, {});
            };
            bindOpt(1, changes.document, false);
            bindOpt(2, changes.user, true);
            bindOpt(3, changes.statusText, false);
            bindOpt(4, changes.datatype, true);
            s.Bind(5, static_cast<long long>(changes.priority))
                .Bind(6, static_cast<long long>(changes.priority));
            s.Bind(7, static_cast<long long>(JobId));
            s.Run();
            return true;
        });
        // Whoever keeps what the job was sees that it changed.
        DropKept(JobId);
        RaiseStatusStamp();
    }
    switch (Command) {
    case 0:
        break;
    case JOB_CONTROL_PAUSE:
        SetStatus(JobId, JOB_STATUS_PAUSED, 0);
        break;
    case JOB_CONTROL_RESUME:
        SetStatus(JobId, 0, JOB_STATUS_PAUSED);
        break;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
        DeleteJob(JobId);
        break;
    case JOB_CONTROL_RESTART:
        SetStatus(JobId, JOB_STATUS_RESTART, 0);
        break;
    case JOB_CONTROL_SENT_TO_PRINTER:
        SetStatus(JobId, JOB_STATUS_COMPLETE, 0);
        break;
    case JOB_CONTROL_LAST_PAGE_EJECTED:
        SetStatus(JobId, JOB_STATUS_PRINTED, 0);
        break;
    }
    return TRUE;
}

template <class T> T ReadRecord(const BYTE* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

} // namespace

std::vector<JobRecord> Jobs(const std::u16string& printer) {
    EnsureSchema();
    // Listing the jobs is looking at them: a job whose writer has ended is
    // failed and removed now, not at the next print.
    {
        std::vector<std::string> keys;
        Stmt p(printer.empty() ? "SELECT DISTINCT printer FROM spl_jobs"
                               : "SELECT DISTINCT printer FROM spl_jobs WHERE printer = ?");
        if (!printer.empty()) p.Bind(1, FoldKey(printer));
        while (p.Step())
            keys.push_back(p.Text(0));
        for (const std::string& key : keys)
            RemoveJobsOfEndedWriters(key);
    }
    std::vector<JobRecord> out;
    Stmt s(printer.empty() ? "SELECT id FROM spl_jobs ORDER BY id"
                           : "SELECT id FROM spl_jobs WHERE printer = ? ORDER BY id");
    if (!printer.empty()) s.Bind(1, FoldKey(printer));
    std::vector<DWORD> ids;
    while (s.Step())
        ids.push_back(static_cast<DWORD>(s.Int(0)));
    for (DWORD id : ids) {
        JobRecord rec;
        if (FindJob(id, &rec)) out.push_back(std::move(rec));
    }
    return out;
}

bool FindJob(DWORD jobId, JobRecord* out) {
    EnsureSchema();
    JobRow job;
    if (!LoadJob(jobId, &job)) return false;
    PrinterRow row;
    out->id = job.id;
    out->printer = LoadPrinter(job.printerKey, &row) ? row.rec.name : FromUtf8(job.printerKey);
    out->document = job.document;
    out->user = job.user;
    out->status = job.status;
    out->pages = job.totalPages;
    out->size = CurrentSize(job);
    out->outputPath = job.outputPath;
    Stmt w("SELECT pid, started FROM spl_job_writers WHERE job = ?");
    w.Bind(1, static_cast<long long>(jobId));
    out->writerGone = w.Step() && !WriterAlive(w.Int(0), w.Int(1));
    return true;
}

DWORD CancelJob(DWORD jobId) {
    try {
        EnsureSchema();
        JobRow job;
        if (LoadJob(jobId, &job)) RemoveJobsOfEndedWriters(job.printerKey);
        return DeleteJob(jobId) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    } catch (const std::exception&) {
        return RPC_S_SERVER_UNAVAILABLE;
    }
}

} // namespace platform::spooler

using namespace platform::spooler;

extern "C" {

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
    return Guarded<DWORD>(
        "StartDocPrinterW", hPrinter, 0, [](DWORD r) { return r != 0; },
        [&](test::Call& call) -> DWORD {
            call.level = Level;
            SPOOLER_FAULT_POINT("StartDocPrinterW", 0);
            std::u16string doc, output, datatype;
            if (pDocInfo) {
                auto info = ReadRecord<DOC_INFO_1W>(pDocInfo);
                doc = WideFrom(info.pDocName);
                output = WideFrom(info.pOutputFile);
                datatype = WideFrom(info.pDatatype);
            }
            call.name = doc;
            return StartDoc(hPrinter, Level, &doc, &output, &datatype, pDocInfo != nullptr);
        });
}

DWORD WINAPI StartDocPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
    return Guarded<DWORD>(
        "StartDocPrinterA", hPrinter, 0, [](DWORD r) { return r != 0; },
        [&](test::Call& call) -> DWORD {
            call.level = Level;
            SPOOLER_FAULT_POINT("StartDocPrinterA", 0);
            std::u16string doc, output, datatype;
            if (pDocInfo) {
                auto info = ReadRecord<DOC_INFO_1A>(pDocInfo);
                doc = WideFromAnsi(info.pDocName);
                output = WideFromAnsi(info.pOutputFile);
                datatype = WideFromAnsi(info.pDatatype);
            }
            call.name = doc;
            return StartDoc(hPrinter, Level, &doc, &output, &datatype, pDocInfo != nullptr);
        });
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
    return GuardedBool("StartPagePrinter", hPrinter, [&](test::Call&) -> BOOL {
        SPOOLER_FAULT_POINT("StartPagePrinter", FALSE);
        auto h = FindPrinterHandle(hPrinter);
        if (!h) return FALSE;
        std::lock_guard lock(h->mutex);
        if (h->jobId == 0) {
            SetLastError(ERROR_SPL_NO_STARTDOC);
            return FALSE;
        }
        h->pageOpen = true;
        const DWORD id = h->jobId;
        bool flush;
        {
            std::lock_guard pendingLock(PendingMutex());
            auto [it, first] = Pending().try_emplace(id);
            ++it->second.count;
            flush = first ||
                    std::chrono::steady_clock::now() - it->second.lastFlush >= kPageFlushInterval;
        }
        if (flush) FlushPendingPagesOf(id, false);
        return TRUE;
    });
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
    return GuardedBool("EndPagePrinter", hPrinter, [&](test::Call&) -> BOOL {
        SPOOLER_FAULT_POINT("EndPagePrinter", FALSE);
        auto h = FindPrinterHandle(hPrinter);
        if (!h) return FALSE;
        std::lock_guard lock(h->mutex);
        if (h->jobId == 0) {
            SetLastError(ERROR_SPL_NO_STARTDOC);
            return FALSE;
        }
        h->pageOpen = false;
        return TRUE;
    });
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
    return GuardedBool("WritePrinter", hPrinter, [&](test::Call& call) -> BOOL {
        call.bytes = cbBuf;
        if (!pcWritten) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *pcWritten = 0;
        SPOOLER_FAULT_POINT("WritePrinter", FALSE);
        auto h = FindPrinterHandle(hPrinter);
        if (!h) return FALSE;
        std::lock_guard lock(h->mutex);
        call.level = h->jobId;
        if (h->jobId == 0) {
            SetLastError(ERROR_SPL_NO_STARTDOC);
            return FALSE;
        }
        if (!pBuf && cbBuf) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // A cancel from anywhere (another handle, another process) stops the
        // writer; the status is read again only when some job's status changed.
        unsigned long long stamp = 0;
        const bool haveStamp = ReadStatusStamp(&stamp);
        if (!haveStamp || !h->stampKnown || stamp != h->stamp) {
            Stmt s("SELECT status FROM spl_jobs WHERE id = ?");
            s.Bind(1, static_cast<long long>(h->jobId));
            if (!s.Step() || (static_cast<DWORD>(s.Int(0)) & kGone)) {
                SetLastError(ERROR_PRINT_CANCELLED);
                return FALSE;
            }
            h->stampKnown = haveStamp;
            h->stamp = stamp;
        }
        DWORD take = ShortWriteLimit(cbBuf);
        const auto* p = static_cast<const BYTE*>(pBuf);
        DWORD done = 0;
        while (!h->discard && done < take) {
            ssize_t n = ::write(h->fd, p + done, take - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                h->written += done;
                *pcWritten = done;
                SetLastError(ErrorFromErrno(errno));
                return FALSE;
            }
            done += static_cast<DWORD>(n);
        }
        if (h->discard) done = take;
        h->written += done;
        *pcWritten = done;
        return TRUE;
    });
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
    return GuardedBool("EndDocPrinter", hPrinter, [&](test::Call&) -> BOOL {
        SPOOLER_FAULT_POINT("EndDocPrinter", FALSE);
        return FinishDoc(hPrinter, false);
    });
}

BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
    return GuardedBool("AbortPrinter", hPrinter, [&](test::Call&) -> BOOL {
        SPOOLER_FAULT_POINT("AbortPrinter", FALSE);
        return FinishDoc(hPrinter, true);
    });
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                    LPDWORD pcbNeeded) {
    return GuardedBool("GetJobW", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = JobId;
        call.command = Level;
        call.bytes = cbBuf;
        SPOOLER_FAULT_POINT("GetJobW", FALSE);
        return GetJobImpl(hPrinter, JobId, Level, pJob, cbBuf, pcbNeeded, false);
    });
}

BOOL WINAPI GetJobA(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                    LPDWORD pcbNeeded) {
    return GuardedBool("GetJobA", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = JobId;
        call.command = Level;
        call.bytes = cbBuf;
        SPOOLER_FAULT_POINT("GetJobA", FALSE);
        return GetJobImpl(hPrinter, JobId, Level, pJob, cbBuf, pcbNeeded, true);
    });
}

BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
    return GuardedBool("SetJobW", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = JobId;
        call.command = Command;
        SPOOLER_FAULT_POINT("SetJobW", FALSE);
        JobChanges changes;
        std::u16string document, user, statusText, datatype;
        if (pJob && (Level == 1 || Level == 2)) {
            LPWSTR pDocument, pUserName, pStatus, pDatatype;
            if (Level == 1) {
                auto info = ReadRecord<JOB_INFO_1W>(pJob);
                pDocument = info.pDocument, pUserName = info.pUserName, pStatus = info.pStatus;
                pDatatype = info.pDatatype, changes.priority = info.Priority;
            } else {
                auto info = ReadRecord<JOB_INFO_2W>(pJob);
                pDocument = info.pDocument, pUserName = info.pUserName, pStatus = info.pStatus;
                pDatatype = info.pDatatype, changes.priority = info.Priority;
            }
            if (pDocument) changes.document = &(document = pDocument);
            if (pUserName) changes.user = &(user = pUserName);
            if (pStatus) changes.statusText = &(statusText = pStatus);
            if (pDatatype) changes.datatype = &(datatype = pDatatype);
            call.name = document;
        }
        return SetJobImpl(hPrinter, JobId, Level, pJob != nullptr, changes, Command);
    });
}

BOOL WINAPI SetJobA(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
    return GuardedBool("SetJobA", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = JobId;
        call.command = Command;
        SPOOLER_FAULT_POINT("SetJobA", FALSE);
        JobChanges changes;
        std::u16string document, user, statusText, datatype;
        if (pJob && (Level == 1 || Level == 2)) {
            LPSTR pDocument, pUserName, pStatus, pDatatype;
            if (Level == 1) {
                auto info = ReadRecord<JOB_INFO_1A>(pJob);
                pDocument = info.pDocument, pUserName = info.pUserName, pStatus = info.pStatus;
                pDatatype = info.pDatatype, changes.priority = info.Priority;
            } else {
                auto info = ReadRecord<JOB_INFO_2A>(pJob);
                pDocument = info.pDocument, pUserName = info.pUserName, pStatus = info.pStatus;
                pDatatype = info.pDatatype, changes.priority = info.Priority;
            }
            if (pDocument) changes.document = &(document = WideFromAnsi(pDocument));
            if (pUserName) changes.user = &(user = WideFromAnsi(pUserName));
            if (pStatus) changes.statusText = &(statusText = WideFromAnsi(pStatus));
            if (pDatatype) changes.datatype = &(datatype = WideFromAnsi(pDatatype));
            call.name = document;
        }
        return SetJobImpl(hPrinter, JobId, Level, pJob != nullptr, changes, Command);
    });
}

} // extern "C"
