// The option directory (37): the groups of query codes that name installable
// options, and their expansion into option entries.
#include <unordered_map>
#include <vector>

#include "query.h"

namespace model {
namespace {

// Far beyond any real directory; a larger expansion is malformed data.
constexpr std::size_t kMaxOptionBytes = 1u << 24;

// A table's whole answer (index 0), or an empty vector when it has none.
std::vector<std::uint8_t> AskTable(const ModelFile& f, int code, int layout, DWORD* count) {
    DWORD length = 0, n = 0;
    *count = 0;
    if (Answer(f, code, 0, layout, nullptr, &length, &n) != 0 || length == 0) return {};
    std::vector<std::uint8_t> data(length);
    if (Answer(f, code, 0, layout, data.data(), &length, &n) != 0) return {};
    *count = n;
    return data;
}

void AddOption(std::vector<std::uint8_t>& out, int code, std::uint32_t id, std::uint32_t value,
               std::uint32_t flags) {
    std::uint8_t e[16] = {};
    PutI16(e, 0, static_cast<std::uint32_t>(code));
    PutI16(e, 2, id);
    PutI16(e, 4, value);
    PutU32(e, 8, flags);
    out.insert(out.end(), e, e + 16);
}

void ExpandCode(const ModelFile& f, int code, std::vector<std::uint8_t>& out) {
    DWORD n = 0;
    switch (code) {
    case 25: {
        std::vector<std::uint8_t> a = AskTable(f, 25, 1, &n);
        if (a.size() < 24) return;
        std::uint32_t flags = (a[0] & 0x01) | ((a[0] >> 6 & 1) << 1);
        AddOption(out, 25, 1, static_cast<std::uint16_t>(GetI16(a.data(), 20)), flags);
        return;
    }
    case 26: {
        std::vector<std::uint8_t> units = AskTable(f, 26, 2, &n);
        DWORD pairsCount = 0, traysCount = 0;
        std::vector<std::uint8_t> pairs = AskTable(f, 26, 8, &pairsCount);
        std::vector<std::uint8_t> trays = AskTable(f, 26, 3, &traysCount);
        // First match wins, as a scan in file order would find it.
        std::unordered_map<std::uint32_t, std::uint32_t> pairFlags;
        for (DWORD p = 0; p < pairsCount && (p + 1) * 8 <= pairs.size(); ++p) {
            const std::uint8_t* pair = pairs.data() + 8 * p;
            std::uint32_t key = static_cast<std::uint16_t>(GetI16(pair, 0)) |
                                (std::uint32_t(static_cast<std::uint16_t>(GetI16(pair, 2))) << 16);
            pairFlags.emplace(key, GetU32(pair, 4));
        }
        std::unordered_map<std::int16_t, std::uint32_t> trayValue;
        for (DWORD t = 0; t < traysCount && (t + 1) * 200 <= trays.size(); ++t) {
            const std::uint8_t* tray = trays.data() + 200 * t;
            trayValue.emplace(GetI16(tray, 0), static_cast<std::uint16_t>(GetI16(tray, 2)));
        }
        for (DWORD u = 0; u < n && (u + 1) * 32 <= units.size(); ++u) {
            const std::uint8_t* unit = units.data() + 32 * u;
            std::int16_t unitId = GetI16(unit, 0);
            int subCount = std::min<int>(GetI16(unit, 14), 4);
            for (int i = 0; i < subCount; ++i) {
                std::int16_t trayId = GetI16(unit, 24 + 2 * i);
                std::uint32_t key = static_cast<std::uint16_t>(trayId) |
                                    (std::uint32_t(static_cast<std::uint16_t>(unitId)) << 16);
                auto flags = pairFlags.find(key);
                auto value = trayValue.find(trayId);
                AddOption(out, 26, static_cast<std::uint16_t>(trayId),
                          value != trayValue.end() ? value->second
                                                   : static_cast<std::uint16_t>(GetI16(unit, 2)),
                          flags != pairFlags.end() ? flags->second : GetU32(unit, 4));
            }
        }
        return;
    }
    case 27:
    case 32:
    case 33:
    case 34:
    case 35:
    case 36: {
        int layout = (code == 34 || code == 35 || code == 36) ? 2 : 1;
        std::vector<std::uint8_t> a = AskTable(f, code, layout, &n);
        DWORD size = code == 27 ? 24 : 16;
        std::size_t flagsAt = code == 34 ? 4 : 8;
        for (DWORD i = 0; i < n && (i + 1) * size <= a.size(); ++i) {
            const std::uint8_t* e = a.data() + size * i;
            AddOption(out, code, static_cast<std::uint16_t>(GetI16(e, 0)),
                      static_cast<std::uint16_t>(GetI16(e, 2)), GetU32(e, flagsAt));
        }
        return;
    }
    default: {
        // Any other listed table is one option, settable, when the model has it.
        DWORD length = 0;
        if (Answer(f, code, 0, 1, nullptr, &length, &n) == 0 && length > 0)
            AddOption(out, code, 1, 0, 1);
        return;
    }
    }
}

} // namespace

DWORD AnswerOptionDirectory(const Query& q) {
    ModelCursor c;
    if (DWORD r = LocateModelRecord(q.f, q.code, &c)) return r;
    const ModelFile& f = q.f;
    auto forEachCode = [&](auto fn) {
        ModelCursor w = c;
        for (std::uint64_t e = w.current; e; e = NextModelEntry(f, &w)) {
            std::uint32_t n = f.U32(e);
            for (std::uint32_t i = 0; i < n; ++i)
                fn(static_cast<std::int16_t>(f.U32(e + 4 + 4 * std::uint64_t{i})));
        }
    };
    switch (q.layout) {
    case 1:
        return MultiAnswer(q, c, 4, true, [&](std::uint64_t e, AnswerSink& sink) {
            std::uint32_t n = f.U32(e);
            for (std::uint32_t i = 0; i < n; ++i) {
                std::int16_t code = static_cast<std::int16_t>(f.U32(e + 4 + 4 * std::uint64_t{i}));
                if (std::uint8_t* a = sink.Add(code))
                    PutI16(a, 0, static_cast<std::uint16_t>(code));
            }
        });
    case 2: {
        // Each distinct table is expanded once; a directory that lists a
        // table many times repeats its entries without walking it again.
        std::vector<std::uint8_t> options;
        std::unordered_map<std::int16_t, std::vector<std::uint8_t>> expanded;
        bool listed = false;
        forEachCode([&](std::int16_t code) {
            if (q.index != 0 && code != q.index) return;
            if (q.index != 0 && listed) return;
            listed = true;
            if (code == 37) return; // the directory never expands itself
            auto it = expanded.find(code);
            if (it == expanded.end()) {
                std::vector<std::uint8_t> entries;
                ExpandCode(f, code, entries);
                it = expanded.emplace(code, std::move(entries)).first;
            }
            if (options.size() + it->second.size() > kMaxOptionBytes) throw Malformed{};
            options.insert(options.end(), it->second.begin(), it->second.end());
        });
        if (q.index != 0 && !listed) {
            q.SetCount(0);
            return ERROR_NOT_FOUND;
        }
        DWORD need = static_cast<DWORD>(options.size());
        if (!q.out) {
            *q.length = need;
            q.SetCount(0);
            return 0;
        }
        if (*q.length < need) {
            *q.length = need;
            q.SetCount(0);
            return ERROR_INSUFFICIENT_BUFFER;
        }
        if (need) std::memcpy(q.out, options.data(), need);
        q.SetCount(need / 16);
        return 0;
    }
    default:
        return NoLayout(q);
    }
}

} // namespace model
