// Every query against agents that answer badly or never: each ends within
// its time-out with its "nothing" answer. And the department-code query's
// answers, and its failures, against a scripted agent.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "devcomm/device_columns.h"
#include "devcomm/snmp_message.h"
#include "platform/net_ctl.h"
#include "platform/paths.h"
#include "query_libraries.h"
#include "snmp_bytes.h"
#include "snmp_table_agent.h"
#include "udp_responder.h"

namespace {

using snmp_bytes::Bytes;
using snmp_testing::Answer;

enum class Mode { Truncated, WrongId, WrongType, Endless, Silence };

const char* Name(Mode m) {
    switch (m) {
    case Mode::Truncated:
        return "Truncated";
    case Mode::WrongId:
        return "WrongId";
    case Mode::WrongType:
        return "WrongType";
    case Mode::Endless:
        return "Endless";
    case Mode::Silence:
        return "Silence";
    }
    return "";
}

// Every column the libraries ask, to answer inside it with its type.
const SnmpColumnRow* ColumnOf(const std::vector<std::uint32_t>& oid) {
    namespace c = devcomm::columns;
    static const SnmpColumnRow* all[] = {
        &c::kDiskStorageMedia, &c::kInputType,       &c::kMediaPathType,     &c::kMemorySize,
        &c::kFinisherText,     &c::kSysDescr,        &c::kPunchCapability,   &c::kSpoolerType,
        &c::kInputMaxCapacity, &c::kInputName,       &c::kOutputMaxCapacity, &c::kOutputName,
        &c::kDeviceStatus,     &c::kInputTrayName,   &c::kInputTrayPaper,    &c::kInputCurrentLevel,
        &c::kAlertGroup,       &c::kAlertGroupIndex, &c::kAlertCode,         &c::kColorant,
        &c::kDeptCodeMode,     &c::kDeptCodeStatus};
    const SnmpColumnRow* best = nullptr;
    std::size_t bestLength = 0;
    for (const SnmpColumnRow* row : all) {
        std::vector<std::uint32_t> ids;
        devcomm::ParseOidText(row->oid, 256, &ids);
        if (ids.size() <= oid.size() && std::equal(ids.begin(), ids.end(), oid.begin()) &&
            ids.size() > bestLength)
            best = row, bestLength = ids.size();
    }
    return best;
}

// An agent that answers every varbind inside its column, one row further
// each time and never at an end; or spoils that answer as the mode says.
std::vector<Answer> Hostile(Mode mode, const Bytes& request) {
    using namespace snmp_bytes;
    if (mode == Mode::Silence) return {};
    devcomm::SnmpPdu pdu;
    if (!devcomm::ParseSnmpMessage(request.data(), request.size(), &pdu)) return {};
    Bytes varbinds;
    for (const auto& vb : pdu.varbinds) {
        std::vector<std::uint32_t> name = vb.oid;
        const SnmpColumnRow* column = ColumnOf(name);
        std::size_t columnLength = 0;
        if (column) {
            std::vector<std::uint32_t> ids;
            devcomm::ParseOidText(column->oid, 256, &ids);
            columnLength = ids.size();
        }
        if (pdu.pduType == SNMP_PDU_GETNEXT) {
            if (name.size() <= columnLength)
                name.push_back(1), name.push_back(1); // into the column
            else
                ++name.back(); // the next row
        }
        BYTE type = column ? column->type : SNMP_TYPE_INTEGER;
        if (mode == Mode::WrongType)
            type = type == SNMP_TYPE_INTEGER ? SNMP_TYPE_OCTETSTRING : SNMP_TYPE_INTEGER;
        Bytes value = type == SNMP_TYPE_INTEGER ? Int(1) : Str("x");
        varbinds = Cat({varbinds, Varbind(snmp_testing::TableAgent::NameOf(name), value)});
    }
    const std::int32_t id = mode == Mode::WrongId ? pdu.requestId + 1 : pdu.requestId;
    Bytes answer = Message(Response(id, varbinds), pdu.community);
    if (mode == Mode::Truncated) answer.resize(answer.size() - 3);
    return {{answer}};
}

struct Query {
    const char* name;
    std::function<int(QueryLibraries&, SelPortInfo*)> run;
    int nothing;                   // the answer when the device cannot be asked
    std::map<Mode, int> otherwise; // answers that the hostile agent does earn
};

std::vector<Query> Queries() {
    auto unit = [](const char* name) {
        return [name](QueryLibraries& q, SelPortInfo* info) { return q.Unit(name, info); };
    };
    auto count = [](const char* name) {
        return [name](QueryLibraries& q, SelPortInfo* info) -> int { return q.Count(name, info); };
    };
    auto text = [](const char* name) {
        return [name](QueryLibraries& q, SelPortInfo* info) {
            char buffer[64] = {};
            WORD needed = 0;
            return q.Text(name)(info, sizeof buffer, buffer, &needed);
        };
    };
    auto trays = [](const char* name) {
        return [name](QueryLibraries& q, SelPortInfo* info) {
            std::vector<TrayInfo> records(8);
            WORD needed = 0;
            return q.Trays(name)(info, static_cast<int>(records.size() * sizeof(TrayInfo)),
                                 records.data(), &needed);
        };
    };
    auto preCheck = [](QueryLibraries& q, SelPortInfo* info) -> int {
        PreCheckRequest request{6, 0};
        PreCheckResult result{};
        return q.preCheck(info, &request, &result);
    };
    auto deptcode = [](QueryLibraries& q, SelPortInfo* info) -> int {
        SHORT mode = DEPTCODE_MODE_COUNTED, answer = -7;
        WORD rc = q.deptcode(info, &mode, &answer);
        return rc ? rc : answer;
    };
    return {
        {"MPGetHddUnit", unit("MPGetHddUnit"), 0, {}},
        {"MPGetMaxTray", count("MPGetMaxTray"), 0, {}},
        {"MPGetDupUnit", unit("MPGetDupUnit"), 0, {}},
        // A single GetRequest answered as asked is an answer.
        {"MPGetMemSize", unit("MPGetMemSize"), 0, {{Mode::Endless, 1}}},
        {"MPGetFinisherUnit", text("MPGetFinisherUnit"), 0, {{Mode::Endless, 1}}},
        {"MPGetSysDescr", text("MPGetSysDescr"), 0, {{Mode::Endless, 1}}},
        {"MPGetPunchCap", unit("MPGetPunchCap"), 0, {}},
        {"MPGetSpoolerType", unit("MPGetSpoolerType"), 0, {}},
        {"MPGetTrayInfo", trays("MPGetTrayInfo"), 0, {}},
        {"MPGetMaxOutputTray", count("MPGetMaxOutputTray"), 0, {}},
        {"MPGetOutputTrayInfo", trays("MPGetOutputTrayInfo"), 0, {}},
        {"MPPreCheck", preCheck, PRECHECK_FAILED, {}},
        // The mode (1) and the status ("x") of single rows: a counted job is refused.
        {"MPDeptcode",
         deptcode,
         DEPTCODE_FAILED,
         {{Mode::WrongType, DEPTCODE_UNEXPECTED_ANSWER}, {Mode::Endless, DEPTCODE_ANSWER_REFUSED}}},
    };
}

class HostileAgent : public QueryLibraries,
                     public ::testing::WithParamInterface<std::tuple<std::size_t, Mode>> {};

TEST_P(HostileAgent, EndsWithinItsTimeOut) {
    const auto [index, mode] = GetParam();
    const Query query = Queries().at(index);
    snmp_testing::UdpResponder agent([mode = mode](const Bytes& r) { return Hostile(mode, r); });
    platform::test::RedirectUdpPort(161, agent.Port());
    SelPortInfo info = Network("127.0.0.1");
    auto start = std::chrono::steady_clock::now();
    const int expected = query.otherwise.count(mode) ? query.otherwise.at(mode) : query.nothing;
    EXPECT_EQ(query.run(*this, &info), expected);
    // One request's time-out (3 s), or a walk let go at its row limit, with
    // room for a loaded machine; never the minutes of an unbounded walk.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
    EXPECT_EQ(platform::test::OpenSocketCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Queries, HostileAgent,
                         ::testing::Combine(::testing::Range<std::size_t>(0, 13),
                                            ::testing::Values(Mode::Truncated, Mode::WrongId,
                                                              Mode::WrongType, Mode::Endless,
                                                              Mode::Silence)),
                         [](const auto& p) {
                             return std::string(Queries().at(std::get<0>(p.param)).name) + "_" +
                                    Name(std::get<1>(p.param));
                         });

TEST_F(QueryLibraries, ASlowAgentInsideTheColumnIsLetGoAtTheRowLimit) {
    // Every answer comes within its request's time-out, but the column never ends.
    snmp_testing::UdpResponder agent([](const Bytes& r) {
        auto answers = Hostile(Mode::Endless, r);
        for (Answer& a : answers)
            a.delayMs = 20;
        return answers;
    });
    platform::test::RedirectUdpPort(161, agent.Port());
    SelPortInfo info = Network("127.0.0.1");
    EXPECT_EQ(Count("MPGetMaxTray", &info), 0);
    // One request per row the walk takes, and the one that found the column going on.
    EXPECT_EQ(agent.Received(), devcomm::kSnmpMaxColumnRows + 1);
}

class DepartmentCodes : public QueryLibraries {
  protected:
    // An agent with the mode value and, when given, the status bytes.
    SHORT Ask(SHORT mode, const Bytes* modeValue, const Bytes* status, WORD* rc) {
        snmp_testing::TableAgent table;
        const std::string arc = DEVCOMM_PRIVATE_ARC;
        if (modeValue) table.Set(arc + ".402.2.1.7.0", *modeValue);
        if (status) table.Set(arc + ".402.2.3.1.2.1", *status);
        table.Set(arc + ".500.1.0", snmp_bytes::Int(0)); // past both columns
        snmp_testing::UdpResponder agent(std::ref(table));
        platform::test::RedirectUdpPort(161, agent.Port());
        SelPortInfo info = Network("127.0.0.1");
        SHORT answer = -7;
        *rc = deptcode(&info, &mode, &answer);
        return answer;
    }
};

TEST_F(DepartmentCodes, AnswersByModeAndStatus) {
    using snmp_bytes::Int;
    using snmp_bytes::Str;
    const Bytes zero = Int(0), one = Int(1), two = Int(2), statusOne = Str(std::string(1, '\x01')),
                statusZero = Str(std::string(1, '\0')),
                statusWide = Str(std::string("\x01\x00\x00\x00", 4)),
                statusOther = Str(std::string("\x01\x01", 2)), wrongType = Str("1");
    struct Case {
        const char* what;
        SHORT mode;
        const Bytes *modeValue, *status;
        WORD rc;
        SHORT answer;
    } cases[] = {
        {"managed", DEPTCODE_MODE_MANAGED, &two, &statusOne, DEPTCODE_OK, DEPTCODE_ANSWER_MANAGED},
        {"not managed", DEPTCODE_MODE_MANAGED, &zero, &statusOne, DEPTCODE_OK, DEPTCODE_ANSWER_NO},
        {"no mode object: not managed", DEPTCODE_MODE_MANAGED, nullptr, nullptr, DEPTCODE_OK,
         DEPTCODE_ANSWER_NO},
        {"counted job accepted", DEPTCODE_MODE_COUNTED, &one, &statusOne, DEPTCODE_OK,
         DEPTCODE_ANSWER_NO},
        {"status in four bytes", DEPTCODE_MODE_COUNTED, &one, &statusWide, DEPTCODE_OK,
         DEPTCODE_ANSWER_NO},
        {"counted job refused", DEPTCODE_MODE_COUNTED, &one, &statusZero, DEPTCODE_OK,
         DEPTCODE_ANSWER_REFUSED},
        {"another status", DEPTCODE_MODE_COUNTED, &one, &statusOther, DEPTCODE_OK,
         DEPTCODE_ANSWER_REFUSED},
        {"no status object", DEPTCODE_MODE_COUNTED, &one, nullptr, DEPTCODE_OK,
         DEPTCODE_ANSWER_REFUSED},
        {"not managed: any job", DEPTCODE_MODE_COUNTED, &zero, &statusZero, DEPTCODE_OK,
         DEPTCODE_ANSWER_NO},
        {"mode of another type", DEPTCODE_MODE_MANAGED, &wrongType, &statusOne,
         DEPTCODE_UNEXPECTED_ANSWER, -7},
        {"status of another type", DEPTCODE_MODE_COUNTED, &one, &two, DEPTCODE_UNEXPECTED_ANSWER,
         -7},
    };
    for (const Case& c : cases) {
        WORD rc = 0;
        EXPECT_EQ(Ask(c.mode, c.modeValue, c.status, &rc), c.answer) << c.what;
        EXPECT_EQ(rc, c.rc) << c.what;
    }
}

TEST_F(DepartmentCodes, ADeviceThatCannotBeAskedIsAFailureNotNoCodes) {
    snmp_testing::UdpResponder silent([](const Bytes&) { return std::vector<Answer>{}; });
    platform::test::RedirectUdpPort(161, silent.Port());
    SelPortInfo info = Network("127.0.0.1");
    SHORT mode = DEPTCODE_MODE_COUNTED, answer = -7;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(deptcode(&info, &mode, &answer), DEPTCODE_FAILED);
    EXPECT_EQ(answer, -7);
    // One time-out: a device that does not answer the first question is not asked again.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500));
    EXPECT_EQ(silent.Received(), 1);
}

TEST_F(DepartmentCodes, RecordsThatAreNotAskedOverTheNetwork) {
    snmp_testing::UdpResponder agent([](const Bytes&) { return std::vector<Answer>{}; });
    platform::test::RedirectUdpPort(161, agent.Port());
    SelPortInfo usb = Usb("USB001");
    SelPortInfo shortRecord = Network("127.0.0.1");
    shortRecord.kind = SELPORT_KIND_SHORT;
    SHORT mode = DEPTCODE_MODE_COUNTED, answer = -7;
    EXPECT_EQ(deptcode(&usb, &mode, &answer), DEPTCODE_OK);
    EXPECT_EQ(answer, -7);
    EXPECT_EQ(deptcode(&shortRecord, &mode, &answer), DEPTCODE_BAD_ARGUMENT);
    EXPECT_EQ(deptcode(nullptr, &mode, &answer), DEPTCODE_BAD_ARGUMENT);
    EXPECT_EQ(deptcode(&usb, nullptr, &answer), DEPTCODE_BAD_ARGUMENT);
    EXPECT_EQ(answer, -7);
    EXPECT_EQ(agent.Received(), 0);
}

TEST_F(DepartmentCodes, TheHostNameVariantNeedsDevprobeBesideIt) {
    // Tallyport alone in a folder of its own.
    const std::u16string folder = u"C:\\Lone";
    std::filesystem::create_directories(platform::HostPath(folder));
    std::filesystem::copy_file(std::string(PKG_DRIVER_DIR) + "/Tallyport.DLL",
                               platform::HostPath(folder + u"\\Tallyport.DLL"));
    HMODULE lone = LoadLibraryW((folder + u"\\Tallyport.DLL").c_str());
    ASSERT_NE(lone, nullptr);
    SHORT mode = DEPTCODE_MODE_MANAGED, answer = -7;
    EXPECT_EQ(Export<PFN_Deptcode>(lone, "Deptcode")("127.0.0.1", &mode, &answer),
              DEPTCODE_NO_LIBRARY);
    EXPECT_EQ(answer, -7);
    FreeLibrary(lone);
}

} // namespace
