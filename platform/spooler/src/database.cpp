// The spooler's tables in the machine database, and the forms every system has.
#include <atomic>
#include <mutex>

#include "platform/text.h"
#include "spooler_internal.h"

namespace platform::spooler {
namespace {

struct StandardForm {
    int position; // also the paper size number that names it in a device mode
    const char16_t* name;
    LONG cx; // thousandths of a millimetre
    LONG cy;
};

// In paper-size order, so that a form's position in the list is its paper
// size number; 48 and 49 hold the places of the numbers no paper has.
const StandardForm kStandardForms[] = {
    {1, u"Letter", 215900, 279400},
    {2, u"Letter Small", 215900, 279400},
    {3, u"Tabloid", 279400, 431800},
    {4, u"Ledger", 431800, 279400},
    {5, u"Legal", 215900, 355600},
    {6, u"Statement", 139700, 215900},
    {7, u"Executive", 184150, 266700},
    {8, u"A3", 297000, 420000},
    {9, u"A4", 210000, 297000},
    {10, u"A4 Small", 210000, 297000},
    {11, u"A5", 148000, 210000},
    {12, u"B4 (JIS)", 257000, 364000},
    {13, u"B5 (JIS)", 182000, 257000},
    {14, u"Folio", 215900, 330200},
    {15, u"Quarto", 215000, 275000},
    {16, u"10x14", 254000, 355600},
    {17, u"11x17", 279400, 431800},
    {18, u"Note", 215900, 279400},
    {19, u"Envelope #9", 98425, 225425},
    {20, u"Envelope #10", 104775, 241300},
    {21, u"Envelope #11", 114300, 263525},
    {22, u"Envelope #12", 120650, 279400},
    {23, u"Envelope #14", 127000, 292100},
    {24, u"C size sheet", 431800, 558800},
    {25, u"D size sheet", 558800, 863600},
    {26, u"E size sheet", 863600, 1117600},
    {27, u"Envelope DL", 110000, 220000},
    {28, u"Envelope C5", 162000, 229000},
    {29, u"Envelope C3", 324000, 458000},
    {30, u"Envelope C4", 229000, 324000},
    {31, u"Envelope C6", 114000, 162000},
    {32, u"Envelope C65", 114000, 229000},
    {33, u"Envelope B4", 250000, 353000},
    {34, u"Envelope B5", 176000, 250000},
    {35, u"Envelope B6", 176000, 125000},
    {36, u"Envelope", 110000, 230000},
    {37, u"Envelope Monarch", 98425, 190500},
    {38, u"6 3/4 Envelope", 92075, 165100},
    {39, u"US Std Fanfold", 377825, 279400},
    {40, u"German Std Fanfold", 215900, 304800},
    {41, u"German Legal Fanfold", 215900, 330200},
    {42, u"B4 (ISO)", 250000, 353000},
    {43, u"Japanese Postcard", 100000, 148000},
    {44, u"9x11", 228600, 279400},
    {45, u"10x11", 254000, 279400},
    {46, u"15x11", 381000, 279400},
    {47, u"Envelope Invite", 220000, 220000},
    {48, u"Reserved48", 1000, 1000},
    {49, u"Reserved49", 1000, 1000},
    {50, u"Letter Extra", 241300, 304800},
    {51, u"Legal Extra", 241300, 381000},
    {52, u"Tabloid Extra", 296926, 457200},
    {53, u"A4 Extra", 235458, 322326},
    {54, u"Letter Transverse", 215900, 279400},
    {55, u"A4 Transverse", 210000, 297000},
    {56, u"Letter Extra Transverse", 235585, 304800},
    {57, u"Super A", 227000, 356000},
    {58, u"Super B", 305000, 487000},
    {59, u"Letter Plus", 215900, 322326},
    {60, u"A4 Plus", 210000, 330000},
    {61, u"A5 Transverse", 148000, 210000},
    {62, u"B5 (JIS) Transverse", 182000, 257000},
    {63, u"A3 Extra", 322000, 445000},
    {64, u"A5 Extra", 174000, 235000},
    {65, u"B5 (ISO) Extra", 201000, 276000},
    {66, u"A2", 420000, 594000},
    {67, u"A3 Transverse", 297000, 420000},
    {68, u"A3 Extra Transverse", 322000, 445000},
    {69, u"Japanese Double Postcard", 200000, 148000},
    {70, u"A6", 105000, 148000},
    {71, u"Japanese Envelope Kaku #2", 240000, 332000},
    {72, u"Japanese Envelope Kaku #3", 216000, 277000},
    {73, u"Japanese Envelope Chou #3", 120000, 235000},
    {74, u"Japanese Envelope Chou #4", 90000, 205000},
    {75, u"Letter Rotated", 279400, 215900},
    {76, u"A3 Rotated", 420000, 297000},
    {77, u"A4 Rotated", 297000, 210000},
    {78, u"A5 Rotated", 210000, 148000},
    {79, u"B4 (JIS) Rotated", 364000, 257000},
    {80, u"B5 (JIS) Rotated", 257000, 182000},
    {81, u"Japanese Postcard Rotated", 148000, 100000},
    {82, u"Double Japan Postcard Rotated", 148000, 200000},
    {83, u"A6 Rotated", 148000, 105000},
    {84, u"Japan Envelope Kaku #2 Rotated", 332000, 240000},
    {85, u"Japan Envelope Kaku #3 Rotated", 277000, 216000},
    {86, u"Japan Envelope Chou #3 Rotated", 235000, 120000},
    {87, u"Japan Envelope Chou #4 Rotated", 205000, 90000},
    {88, u"B6 (JIS)", 128000, 182000},
    {89, u"B6 (JIS) Rotated", 182000, 128000},
    {90, u"12x11", 304800, 279400},
    {91, u"Japan Envelope You #4", 105000, 235000},
    {92, u"Japan Envelope You #4 Rotated", 235000, 105000},
    {93, u"PRC 16K", 146000, 215000},
    {94, u"PRC 32K", 97000, 151000},
    {95, u"PRC 32K(Big)", 97000, 151000},
    {96, u"PRC Envelope #1", 102000, 165000},
    {97, u"PRC Envelope #2", 102000, 176000},
    {98, u"PRC Envelope #3", 125000, 176000},
    {99, u"PRC Envelope #4", 110000, 208000},
    {100, u"PRC Envelope #5", 110000, 220000},
    {101, u"PRC Envelope #6", 120000, 230000},
    {102, u"PRC Envelope #7", 160000, 230000},
    {103, u"PRC Envelope #8", 120000, 309000},
    {104, u"PRC Envelope #9", 229000, 324000},
    {105, u"PRC Envelope #10", 324000, 458000},
    {106, u"PRC 16K Rotated", 215000, 146000},
    {107, u"PRC 32K Rotated", 151000, 97000},
    {108, u"PRC 32K(Big) Rotated", 151000, 97000},
    {109, u"PRC Envelope #1 Rotated", 165000, 102000},
    {110, u"PRC Envelope #2 Rotated", 176000, 102000},
    {111, u"PRC Envelope #3 Rotated", 176000, 125000},
    {112, u"PRC Envelope #4 Rotated", 208000, 110000},
    {113, u"PRC Envelope #5 Rotated", 220000, 110000},
    {114, u"PRC Envelope #6 Rotated", 230000, 120000},
    {115, u"PRC Envelope #7 Rotated", 230000, 160000},
    {116, u"PRC Envelope #8 Rotated", 309000, 120000},
    {117, u"PRC Envelope #9 Rotated", 324000, 229000},
    {118, u"PRC Envelope #10 Rotated", 458000, 324000},
};

const char kTables[] = R"sql(
CREATE TABLE IF NOT EXISTS spl_printers(
  key TEXT PRIMARY KEY, name TEXT NOT NULL, server TEXT NOT NULL DEFAULT '',
  share TEXT NOT NULL DEFAULT '', port TEXT NOT NULL, driver TEXT NOT NULL,
  comment TEXT NOT NULL DEFAULT '', location TEXT NOT NULL DEFAULT '',
  sepfile TEXT NOT NULL DEFAULT '', processor TEXT NOT NULL DEFAULT 'winprint',
  datatype TEXT NOT NULL DEFAULT 'RAW', parameters TEXT NOT NULL DEFAULT '',
  attributes INTEGER NOT NULL, priority INTEGER NOT NULL DEFAULT 1,
  default_priority INTEGER NOT NULL DEFAULT 0, start_time INTEGER NOT NULL DEFAULT 0,
  until_time INTEGER NOT NULL DEFAULT 0, status INTEGER NOT NULL DEFAULT 0, devmode BLOB,
  ds_action INTEGER NOT NULL DEFAULT 0, ds_updates INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS spl_user_devmodes(
  printer TEXT NOT NULL, user TEXT NOT NULL, devmode BLOB NOT NULL, PRIMARY KEY(printer, user));
CREATE TABLE IF NOT EXISTS spl_connections(
  printer TEXT NOT NULL, user TEXT NOT NULL, PRIMARY KEY(printer, user));
CREATE TABLE IF NOT EXISTS spl_printer_data(
  printer TEXT NOT NULL, keyname TEXT NOT NULL, valuekey TEXT NOT NULL,
  key TEXT NOT NULL, name TEXT NOT NULL, type INTEGER NOT NULL, data BLOB,
  PRIMARY KEY(printer, keyname, valuekey));
CREATE TABLE IF NOT EXISTS spl_drivers(
  key TEXT NOT NULL, environment TEXT NOT NULL, name TEXT NOT NULL, version INTEGER NOT NULL,
  driver_path TEXT NOT NULL, data_file TEXT NOT NULL, config_file TEXT NOT NULL,
  help_file TEXT NOT NULL, dependent_files TEXT NOT NULL, monitor TEXT NOT NULL,
  default_datatype TEXT NOT NULL, PRIMARY KEY(key, environment));
CREATE TABLE IF NOT EXISTS spl_forms(
  key TEXT PRIMARY KEY, name TEXT NOT NULL, position INTEGER NOT NULL, flags INTEGER NOT NULL,
  cx INTEGER NOT NULL, cy INTEGER NOT NULL, area_left INTEGER NOT NULL, area_top INTEGER NOT NULL,
  area_right INTEGER NOT NULL, area_bottom INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS spl_ports(
  key TEXT PRIMARY KEY, name TEXT NOT NULL, monitor TEXT NOT NULL, address TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS spl_jobs(
  id INTEGER PRIMARY KEY AUTOINCREMENT, printer TEXT NOT NULL, document TEXT NOT NULL,
  user TEXT NOT NULL, machine TEXT NOT NULL, datatype TEXT NOT NULL,
  status INTEGER NOT NULL, status_text TEXT NOT NULL DEFAULT '', priority INTEGER NOT NULL DEFAULT 1,
  total_pages INTEGER NOT NULL DEFAULT 0, pages_printed INTEGER NOT NULL DEFAULT 0,
  size INTEGER NOT NULL DEFAULT 0, submitted BLOB, output_path TEXT NOT NULL DEFAULT '',
  spool_file INTEGER NOT NULL DEFAULT 1, devmode BLOB);
-- The jobs still waiting, by printer: every printer answer counts them, and
-- printed jobs are kept, so counting through the table would read every job
-- ever printed, settings and all.
CREATE INDEX IF NOT EXISTS spl_jobs_waiting ON spl_jobs(printer) WHERE )sql" SPL_JOB_WAITING R"sql(;
CREATE TABLE IF NOT EXISTS spl_job_writers(
  job INTEGER PRIMARY KEY, pid INTEGER NOT NULL, started INTEGER NOT NULL);
INSERT OR IGNORE INTO spl_ports(key, name, monitor) VALUES
  ('lpt1:', 'LPT1:', 'Local Port'), ('lpt2:', 'LPT2:', 'Local Port'), ('lpt3:', 'LPT3:', 'Local Port'),
  ('com1:', 'COM1:', 'Local Port'), ('com2:', 'COM2:', 'Local Port'), ('file:', 'FILE:', 'Local Port');
)sql";

std::string SqlQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

std::string BuildSchema() {
    std::string sql = kTables;
    sql += "INSERT OR IGNORE INTO spl_forms VALUES\n";
    bool first = true;
    for (const auto& f : kStandardForms) {
        if (!first) sql += ",\n";
        first = false;
        std::u16string name = f.name;
        sql += "(" + SqlQuote(FoldKey(name)) + "," + SqlQuote(ToUtf8(name)) + "," +
               std::to_string(f.position) + "," + std::to_string(FORM_BUILTIN) + "," +
               std::to_string(f.cx) + "," + std::to_string(f.cy) + ",0,0," + std::to_string(f.cx) +
               "," + std::to_string(f.cy) + ")";
    }
    sql += ";\n";
    return sql;
}

} // namespace

void EnsureSchema() {
    // Every exported call asks: after the first, one load.
    static std::atomic<bool> registered{false};
    if (registered.load(std::memory_order_acquire)) return;
    static std::once_flag once;
    std::call_once(once, [] { MachineDb::RegisterSchema(BuildSchema().c_str()); });
    registered.store(true, std::memory_order_release);
}

std::string FoldKey(std::u16string_view name) {
    std::u16string folded(name);
    for (auto& c : folded)
        c = FoldCase(c);
    return ToUtf8(folded);
}

long long LastInsertId() {
    return sqlite3_last_insert_rowid(MachineDb::Connection());
}

int Changes() {
    return sqlite3_changes(MachineDb::Connection());
}

} // namespace platform::spooler
