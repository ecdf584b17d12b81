// MPPreCheck: the device's status, its input trays with their paper and
// level, and its alerts, turned into one verdict for the job's paper and tray.
#include <algorithm>
#include <array>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "devcomm/device_columns.h"
#include "devcomm/export_guard.h"
#include "devcomm/gatekeep.h"
#include "devcomm/legacy_engine.h"
#include "devcomm/snmp_message.h"
#include "devcomm/snmp_walk.h"
#include "win/base.h"

namespace gatekeep {

namespace {

namespace col = devcomm::columns;
using devcomm::Probe;
using devcomm::WalkEnd;

// Printer MIB alert codes the check looks at by name.
constexpr int kAlertTrayMissing = 801; // inputMediaTrayMissing
constexpr int kAlertSupplyEmpty = 808; // inputMediaSupplyEmpty
constexpr int kAlertTonerEmpty = 1101; // markerTonerEmpty
constexpr int kUnlistedPriority = 100;
constexpr std::size_t kMaxAlerts = 30;
constexpr std::size_t kMaxColorants = 30;
constexpr long kColorantsOfTonerEmpty[] = {40250, 40251};

struct AlertRule {
    int code;
    int priority; // lower is more serious
    int result;
};
constexpr AlertRule kAlertRules[] = {
    {1, 10, PRECHECK_RESULT_ATTENTION},     {8, 10, PRECHECK_RESULT_JAM},
    {9, 0, PRECHECK_RESULT_FAILED},         {10, 99, PRECHECK_RESULT_NONE},
    {11, 30, PRECHECK_RESULT_FAILED},       {13, 30, PRECHECK_RESULT_ATTENTION},
    {15, 30, PRECHECK_RESULT_ATTENTION},    {24, 99, PRECHECK_RESULT_NONE},
    {29, 30, PRECHECK_RESULT_ATTENTION},    {30, 0, PRECHECK_RESULT_FAILED},
    {33, 0, PRECHECK_RESULT_FAILED},        {38, 0, PRECHECK_RESULT_FAILED},
    {501, 30, PRECHECK_RESULT_ATTENTION},   {801, 40, PRECHECK_RESULT_TRAY_MISSING},
    {802, 99, PRECHECK_RESULT_NONE},        {807, 99, PRECHECK_RESULT_NONE},
    {808, 40, PRECHECK_RESULT_PAPER_EMPTY}, {812, 30, PRECHECK_RESULT_ATTENTION},
    {901, 20, PRECHECK_RESULT_ATTENTION},   {903, 20, PRECHECK_RESULT_ATTENTION},
    {1101, 20, PRECHECK_RESULT_TONER},      {1104, 99, PRECHECK_RESULT_NONE},
    {1107, 99, PRECHECK_RESULT_NONE},       {1109, 30, PRECHECK_RESULT_ATTENTION},
    {1111, 99, PRECHECK_RESULT_NONE},       {1115, 20, PRECHECK_RESULT_TONER},
};

const AlertRule* RuleOf(long code) {
    for (const AlertRule& r : kAlertRules)
        if (r.code == code) return &r;
    return nullptr;
}
int Priority(long code) {
    const AlertRule* r = RuleOf(code);
    return r ? r->priority : kUnlistedPriority;
}

// Device paper codes (the private tray paper column) to the driver's.
struct PaperCode {
    long device;
    SHORT driver;
};
constexpr SHORT kUnknownPaper = 13;
constexpr PaperCode kPapers[] = {
    {0, 0},    {3, 1},   {4, 2},     {5, 3},     {1005, 3}, {11, 4},   {6, 5},   {7, 6},
    {1007, 6}, {8, 7},   {1008, 7},  {9, 8},     {10, 9},   {1010, 9}, {22, 10}, {21, 11},
    {32, 12},  {12, 17}, {1012, 17}, {44, 18},   {14, 19},  {15, 20},  {18, 21}, {17, 22},
    {19, 23},  {20, 24}, {35, 25},   {1036, 26}, {34, 27},  {25, 28},  {46, 29}, {28, 30},
    {29, 31},  {47, 32}, {39, 33},   {38, 34},   {30, 35},  {31, 36},  {48, 38},
};
SHORT DriverPaper(long device) {
    for (const PaperCode& p : kPapers)
        if (p.device == device) return p.driver;
    return kUnknownPaper;
}

// The turned papers of a request are looked for as their upright twins.
SHORT UprightPaper(SHORT paper) {
    switch (paper) {
    case 14:
        return 3; // Letter turned
    case 15:
        return 6; // A4 turned
    case 16:
        return 9; // B5 turned
    case 37:
        return 7; // A5 turned
    default:
        return paper;
    }
}

constexpr SHORT kBypassTray = 1;

struct TrayRow {
    SHORT trayCode;
    const char* deviceName;
    bool found = false;
    DWORD deviceRow = 0;
    SHORT paper = 0;
    int alert = 0;
};

std::array<TrayRow, 11> TrayTable() {
    return {{{1, "MPT"},
             {1, "BYPASS TRAY"},
             {2, "Tray1"},
             {2, "TRAY1"},
             {3, "Tray2"},
             {3, "TRAY2"},
             {4, "Tray3"},
             {4, "TRAY3"},
             {5, "Tray4"},
             {5, "TRAY4"},
             {6, "LCT"}}};
}

long Integer(const SnmpVarbindEntry& e) {
    return devcomm::EntryInteger(e);
}

// The INTEGER of a walk's further varbind, when it lies in its own column.
bool ColumnInteger(const SnmpVarbindEntry& e, const SnmpColumnRow& column, long* value) {
    if (!MPIsSameColumn(1, &e, &column)) return false;
    *value = Integer(e);
    return true;
}

bool SameNoCase(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && lstrcmpiA(a.c_str(), b) == 0;
}

DWORD LastSubId(const char* oid) {
    std::vector<std::uint32_t> ids;
    devcomm::ParseOidText(oid, devcomm::kSnmpMaxOidText + 1, &ids);
    return ids.empty() ? 0 : ids.back();
}

struct Alert {
    long group = 0, groupIndex = 0, code = 0;
};

// Toner empty: the colorants the device reports tell a missing colour
// cartridge from a plain empty one.
int TonerEmptyResult(const char* host) {
    bool named = false;
    std::size_t seen = 0;
    devcomm::WalkColumns(host, &col::kColorant, 1, [&](const SnmpRequestRecord& reply) {
        const long v = Integer(reply.entries[0]);
        for (long c : kColorantsOfTonerEmpty)
            named = named || v == c;
        return ++seen < kMaxColorants && !named;
    });
    return named ? PRECHECK_RESULT_TONER : PRECHECK_RESULT_TONER_EMPTY_NO_COLORANT;
}

WORD PreCheck(const SelPortInfo* info, const PreCheckRequest& request, PreCheckResult* out) {
    if (request.trayCode < 0 || request.trayCode > PRECHECK_MAX_TRAY || request.paperCode < 0 ||
        request.paperCode > PRECHECK_MAX_PAPER || info->kind != SELPORT_KIND_FULL)
        return PRECHECK_BAD_ARGUMENT;
    if (info->connection != SELPORT_CONNECTION_NETWORK) return PRECHECK_FAILED;
    char host[sizeof info->address + 1] = {};
    std::memcpy(host, info->address, sizeof info->address);
    if (!host[0]) return PRECHECK_FAILED;

    PreCheckResult result{0, 0, 1, 0};

    SnmpVarbindEntry status{};
    if (devcomm::ProbeColumn(host, SNMP_PDU_GETNEXT, col::kDeviceStatus, &status) != Probe::Found)
        return PRECHECK_FAILED;
    const long deviceStatus = Integer(status);
    if (deviceStatus < 1 || deviceStatus > PRECHECK_STATUS_DOWN) return PRECHECK_UNEXPECTED_ANSWER;
    // A device that is down is reported as down: it cannot print the job.
    result.status = static_cast<SHORT>(deviceStatus);

    auto trays = TrayTable();
    const SnmpColumnRow trayColumns[] = {col::kInputTrayName, col::kInputTrayPaper,
                                         col::kInputCurrentLevel};
    if (devcomm::WalkColumns(host, trayColumns, 3, [&](const SnmpRequestRecord& reply) {
            const SnmpVarbindEntry& name = reply.entries[0];
            const std::string text = devcomm::EntryText(name);
            for (TrayRow& row : trays) {
                if (!SameNoCase(text, row.deviceName)) continue;
                long paper = -1, level = -1;
                ColumnInteger(reply.entries[1], col::kInputTrayPaper, &paper);
                row.found = true;
                row.deviceRow = LastSubId(name.oid);
                row.paper = DriverPaper(paper);
                row.alert =
                    ColumnInteger(reply.entries[2], col::kInputCurrentLevel, &level) && level == 0
                        ? kAlertSupplyEmpty
                        : 0;
                break;
            }
            return true;
        }) == WalkEnd::Failed)
        return PRECHECK_FAILED;

    std::vector<Alert> alerts;
    const SnmpColumnRow alertColumns[] = {col::kAlertGroup, col::kAlertGroupIndex, col::kAlertCode};
    if (devcomm::WalkColumns(host, alertColumns, 3, [&](const SnmpRequestRecord& reply) {
            Alert a;
            a.group = Integer(reply.entries[0]);
            ColumnInteger(reply.entries[1], col::kAlertGroupIndex, &a.groupIndex);
            ColumnInteger(reply.entries[2], col::kAlertCode, &a.code);
            alerts.push_back(a);
            return alerts.size() < kMaxAlerts;
        }) == WalkEnd::Failed)
        return PRECHECK_FAILED;

    // The most serious alert; tray alerts also mark their trays.
    long worst = alerts.empty() ? 0 : alerts.front().code;
    for (const Alert& a : alerts) {
        if (a.code == 0) break;
        if (a.code == kAlertTrayMissing || a.code == kAlertSupplyEmpty)
            for (TrayRow& row : trays)
                if (row.found && static_cast<long>(row.deviceRow) == a.groupIndex)
                    row.alert = static_cast<int>(a.code);
        if (Priority(a.code) < Priority(worst)) worst = a.code;
    }

    const SHORT paper = UprightPaper(request.paperCode);
    long code = 0;
    if (request.trayCode == 0) {
        bool missingSeen = false, chosen = false;
        for (const TrayRow& row : trays) {
            if (!row.found || row.trayCode == kBypassTray) continue;
            missingSeen = missingSeen || row.alert == kAlertTrayMissing;
            if (row.paper != paper || (chosen && !(row.alert == 0 && code != 0))) continue;
            chosen = true;
            code = missingSeen ? kAlertTrayMissing : row.alert;
            result.trayMissing = 0;
            result.trayPaper = row.paper;
        }
    } else if (request.trayCode == kBypassTray) {
        // The bypass tray under either of its names; "MPT" when the device shows neither.
        const TrayRow* bypass = &trays[0];
        for (const TrayRow& row : trays)
            if (row.found && row.trayCode == kBypassTray) {
                bypass = &row;
                break;
            }
        code = bypass->alert;
        result.trayMissing = 0;
        result.trayPaper = paper;
    } else {
        bool missingBefore = false;
        for (const TrayRow& row : trays) {
            if (row.found && row.trayCode == request.trayCode) {
                code = row.paper == paper && missingBefore ? kAlertTrayMissing : row.alert;
                result.trayMissing = 0;
                result.trayPaper = row.paper;
                break;
            }
            missingBefore = missingBefore || row.alert == kAlertTrayMissing;
        }
    }

    if (worst != kAlertTrayMissing && worst != kAlertSupplyEmpty &&
        Priority(worst) < Priority(code))
        code = worst;

    if (code == kAlertTonerEmpty) {
        result.resultCode = static_cast<SHORT>(TonerEmptyResult(host));
    } else {
        const AlertRule* rule = RuleOf(code);
        result.resultCode = static_cast<SHORT>(rule ? rule->result : PRECHECK_RESULT_NONE);
    }
    *out = result;
    return PRECHECK_OK;
}

// ---- PreCheck: the older check by host name, one fixed-template request per
// question.

constexpr long kAlertGroupInput = 8; // prtAlertGroup of an input tray
constexpr int kAlertTrayElevation = 812;
constexpr long kLevelEmpty = 0;

std::vector<std::uint32_t> Ids(const char* text) {
    std::vector<std::uint32_t> ids;
    devcomm::ParseOidText(text, devcomm::kSnmpMaxOidText + 1, &ids);
    return ids;
}

std::vector<BYTE> Bytes(std::vector<std::uint32_t> ids,
                        const std::vector<std::uint32_t>& row = {}) {
    ids.insert(ids.end(), row.begin(), row.end());
    std::vector<BYTE> out;
    if (!devcomm::EncodeOid(ids, &out)) out.clear();
    return out;
}

// The row sub-identifiers of an answer within `column`; empty when it lies elsewhere.
std::vector<std::uint32_t> RowOf(const devcomm::LegacyReply& reply,
                                 const std::vector<std::uint32_t>& column) {
    std::vector<std::uint32_t> ids;
    if (!devcomm::DecodeOid(reply.oid, reply.oidLength, &ids) || ids.size() <= column.size() ||
        !std::equal(column.begin(), column.end(), ids.begin()))
        return {};
    return {ids.begin() + static_cast<long>(column.size()), ids.end()};
}

bool LegacyInteger(const char* host, const std::vector<BYTE>& oid, long* value) {
    devcomm::LegacyReply reply;
    if (oid.empty() ||
        !devcomm::LegacyRequest(host, oid.data(), oid.size(), SNMP_PDU_GET, &reply) ||
        reply.valueType != SNMP_TYPE_INTEGER)
        return false;
    *value = reply.IntegerValue();
    return true;
}

// Walks a column from its start; `visit` gets each answer and its row.
bool LegacyColumn(const char* host, const SnmpColumnRow& column,
                  const std::function<bool(const devcomm::LegacyReply&,
                                           const std::vector<std::uint32_t>&)>& visit) {
    const std::vector<std::uint32_t> ids = Ids(column.oid);
    const std::vector<BYTE> start = Bytes(ids);
    if (start.empty()) return false;
    return devcomm::LegacyWalk(host, start, start.size(), [&](const devcomm::LegacyReply& reply) {
        const std::vector<std::uint32_t> row = RowOf(reply, ids);
        return row.empty() || visit(reply, row);
    });
}

// Papers the bypass tray is asked for by name rather than by what it holds:
// user size, envelopes and the special sizes.
bool BypassTakesRequestedPaper(SHORT paper) {
    return paper == 12 || (paper >= 19 && paper <= 24) || (paper >= 28 && paper <= 36);
}

TrayRow* FirstFound(std::array<TrayRow, 11>& trays, SHORT trayCode) {
    for (TrayRow& row : trays)
        if (row.found && row.trayCode == trayCode) return &row;
    return nullptr;
}

WORD HostPreCheck(const char* host, const PreCheckRequest& request, PreCheckResult* out) {
    // Checked before anything is asked, so that a bad request costs no traffic.
    if (request.trayCode < 0 || request.trayCode > PRECHECK_MAX_TRAY || request.paperCode < 0 ||
        request.paperCode > PRECHECK_MAX_PAPER)
        return PRECHECK_BAD_ARGUMENT;
    PreCheckResult result{0, 0, 1, 0};

    long deviceStatus = 0;
    if (!LegacyInteger(host, Bytes(Ids(col::kDeviceStatus.oid), {1}), &deviceStatus))
        return PRECHECK_FAILED;
    if (deviceStatus < 1 || deviceStatus > PRECHECK_STATUS_DOWN) return PRECHECK_UNEXPECTED_ANSWER;
    // As MPPreCheck: a device that is down is reported as down.
    result.status = static_cast<SHORT>(deviceStatus);

    auto trays = TrayTable();
    for (TrayRow& row : trays)
        row.paper = kUnknownPaper;
    if (!LegacyColumn(
            host, col::kInputTrayName,
            [&](const devcomm::LegacyReply& reply, const std::vector<std::uint32_t>& row) {
                if (reply.valueType != SNMP_TYPE_OCTETSTRING) return true;
                const std::string text = reply.TextValue();
                for (TrayRow& t : trays)
                    if (!t.found && SameNoCase(text, t.deviceName)) {
                        t.found = true;
                        t.deviceRow = row.back();
                        break;
                    }
                return true;
            }))
        return PRECHECK_FAILED;
    if (!LegacyColumn(
            host, col::kInputTrayPaper,
            [&](const devcomm::LegacyReply& reply, const std::vector<std::uint32_t>& row) {
                if (reply.valueType != SNMP_TYPE_INTEGER) return true;
                for (TrayRow& t : trays)
                    if (t.found && t.deviceRow == row.back())
                        t.paper = DriverPaper(reply.IntegerValue());
                return true;
            }))
        return PRECHECK_FAILED;

    // Alerts: the most serious listed code wins, a later one on equal priority.
    struct Row {
        std::vector<std::uint32_t> row;
        long code;
    };
    std::vector<Row> alerts;
    if (!LegacyColumn(
            host, col::kAlertCode,
            [&](const devcomm::LegacyReply& reply, const std::vector<std::uint32_t>& row) {
                if (reply.valueType == SNMP_TYPE_INTEGER)
                    alerts.push_back({row, reply.IntegerValue()});
                return alerts.size() < kMaxAlerts;
            }))
        return PRECHECK_FAILED;
    bool alertSetResult = false;
    int takenPriority = kUnlistedPriority;
    for (const Row& a : alerts) {
        const AlertRule* rule = RuleOf(a.code);
        if (!rule || rule->priority > takenPriority) continue;
        takenPriority = rule->priority;
        if (a.code == kAlertTrayMissing || a.code == kAlertSupplyEmpty ||
            a.code == kAlertTrayElevation) {
            long group = 0, index = 0;
            if (LegacyInteger(host, Bytes(Ids(col::kAlertGroup.oid), a.row), &group) &&
                group == kAlertGroupInput &&
                LegacyInteger(host, Bytes(Ids(col::kAlertGroupIndex.oid), a.row), &index))
                for (TrayRow& t : trays)
                    if (t.found && static_cast<long>(t.deviceRow) == index) {
                        t.alert = static_cast<int>(a.code);
                        break;
                    }
            if (a.code != kAlertTrayElevation) continue;
        }
        if (rule->result != PRECHECK_RESULT_NONE) {
            // Gatekeep carries no object that would tell an empty toner from a
            // missing colorant here, so toner empty stays a toner result.
            result.resultCode = static_cast<SHORT>(rule->result);
            alertSetResult = true;
        }
    }

    long bypassLevel = -1;
    if (LegacyInteger(host, Bytes(Ids(col::kInputCurrentLevel.oid), {1, 1}), &bypassLevel) &&
        bypassLevel == kLevelEmpty)
        for (TrayRow& t : trays)
            if (t.trayCode == kBypassTray && t.alert == 0) t.alert = kAlertSupplyEmpty;

    const SHORT paper = UprightPaper(request.paperCode);
    const TrayRow* chosen = nullptr;
    if (request.trayCode == 0) {
        // The first found tray (not the bypass tray) holding the paper, one
        // without a tray alert before one with.
        for (const TrayRow& t : trays)
            if (t.found && t.trayCode != kBypassTray && t.paper == paper &&
                (!chosen || (chosen->alert != 0 && t.alert == 0)))
                chosen = &t;
        if (chosen) {
            result.trayMissing = 0;
            result.trayPaper = chosen->paper;
        }
    } else {
        chosen = FirstFound(trays, request.trayCode);
        if (!chosen && request.trayCode == kBypassTray) chosen = &trays[0];
        if (chosen) {
            result.trayMissing = 0;
            result.trayPaper =
                request.trayCode == kBypassTray &&
                        (BypassTakesRequestedPaper(request.paperCode) || !chosen->found)
                    ? request.paperCode
                    : chosen->paper;
        }
    }
    if (chosen && !alertSetResult && chosen->alert != 0) {
        const AlertRule* rule = RuleOf(chosen->alert);
        result.resultCode = static_cast<SHORT>(rule ? rule->result : PRECHECK_RESULT_NONE);
    }
    *out = result;
    return PRECHECK_OK;
}

} // namespace

} // namespace gatekeep

DLLEXPORT WORD WINAPI MPPreCheck(SelPortInfo* info, PreCheckRequest* request,
                                 PreCheckResult* result) {
    return devcomm::Guard<WORD>(PRECHECK_FAILED, [&]() -> WORD {
        if (!info || !request || !result) return PRECHECK_BAD_ARGUMENT;
        return gatekeep::PreCheck(info, *request, result);
    });
}

DLLEXPORT int WINAPI PreCheck(LPCSTR host, PreCheckRequest* request, PreCheckResult* result) {
    return devcomm::Guard<WORD>(PRECHECK_FAILED, [&]() -> WORD {
        if (!request || !result) return PRECHECK_BAD_ARGUMENT;
        *result = PreCheckResult{};
        // No host cannot be checked: a failure, never an empty success.
        if (!host || !*host) return PRECHECK_FAILED;
        return gatekeep::HostPreCheck(host, *request, result);
    });
}
