// Round trip: a model source compiled by modelc for every format version and
// read back through the query entry answers what the source says, for every
// code the source holds.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/fixed_layouts.h"
#include "model_fixture.h"
#include "win/errors.h"

namespace model_test {
namespace {

using nlohmann::json;

std::uint32_t N(const json& j, const char* key) {
    auto it = j.find(key);
    return it == j.end() ? 0 : modelc::Number(*it);
}
std::string S(const json& j, const char* key) {
    auto it = j.find(key);
    return it == j.end() ? std::string() : it->get<std::string>();
}
std::vector<std::int16_t> List(const json& j, const char* key) {
    std::vector<std::int16_t> out;
    auto it = j.find(key);
    if (it != j.end())
        for (const json& x : *it)
            out.push_back(static_cast<std::int16_t>(modelc::Number(x)));
    return out;
}
std::vector<std::int16_t> AnswerList(const Answer& a, std::size_t base, std::size_t countAt,
                                     std::size_t valuesAt) {
    std::vector<std::int16_t> out;
    for (int i = 0; i < a.I16(base + countAt); ++i)
        out.push_back(a.I16(base + valuesAt + 2 * i));
    return out;
}
const json& Entries(const json& j) {
    return j.is_array() ? j : j.at("entries");
}

class RoundTrip {
  public:
    RoundTrip(const json& source, int v) : source_(source), v_(v), m_(Build(source, v)) {}

    void Run() {
        for (auto it = source_.at("codes").begin(); it != source_.at("codes").end(); ++it) {
            if (it.key()[0] == '_') continue;
            int code = std::stoi(it.key());
            SCOPED_TRACE("version " + std::to_string(v_) + " code " + it.key());
            Check(code, it.value());
        }
    }

  private:
    Answer Ok(int code, int index, int layout, std::size_t entries) {
        Answer a = Ask(m_, code, index, layout);
        EXPECT_EQ(a.result, 0u) << "layout " << layout << " index " << index;
        EXPECT_EQ(a.count, entries) << "layout " << layout << " index " << index;
        return a;
    }
    void Gone(int code, int layout) {
        EXPECT_EQ(Ask(m_, code, 0, layout).result, ERROR_NOT_SUPPORTED) << "layout " << layout;
    }

    void CheckTable(const json& e, const Answer& a, std::size_t base, bool media) {
        // The media-type and tray records share their shape (22, 24, 26 layout 3).
        EXPECT_EQ(a.I16(base + 0), static_cast<std::int16_t>(N(e, "id")));
        EXPECT_EQ(a.I16(base + 2), static_cast<std::int16_t>(N(e, "name_id")));
        EXPECT_EQ(a.U32(base + 4), N(e, "flags"));
        EXPECT_EQ(a.U32(base + 8), N(e, "item9_mask"));
        EXPECT_EQ(a.U32(base + 24), N(e, "flags2"));
        EXPECT_EQ(a.I16(base + 32), static_cast<std::int16_t>(N(e, "tied_paper")));
        EXPECT_EQ(AnswerList(a, base, 34, 40), List(e, "papers"));
        EXPECT_EQ(a.I16(base + 36),
                  static_cast<std::int16_t>(N(e, media ? "tied_tray" : "tied_media")));
        EXPECT_EQ(AnswerList(a, base, 38, 168), List(e, media ? "trays" : "media"));
    }

    void CheckExtensions(int code, const json& entries, int nameLayout, int twoNameLayout,
                         int twoNameGate, int twoNameSince, int optionLayout, int linkLayout,
                         int textLayout) {
        std::size_t n = entries.size();
        if (v_ >= 265) {
            Answer a = Ok(code, 0, nameLayout, n);
            for (std::size_t i = 0; i < n && a.result == 0; ++i) {
                EXPECT_EQ(a.I16(36 * i), static_cast<std::int16_t>(N(entries[i], "e0")));
                EXPECT_EQ(a.Text(36 * i + 4, 32), S(entries[i], "name"));
            }
        } else {
            Gone(code, nameLayout);
        }
        if (twoNameLayout && v_ >= twoNameGate) {
            Answer a = Ok(code, 0, twoNameLayout, n);
            for (std::size_t i = 0; i < n && a.result == 0; ++i)
                EXPECT_EQ(a.Text(68 * i + 36, 32),
                          v_ >= twoNameSince ? S(entries[i], "name2") : "");
        }
        if (v_ >= 282) {
            Answer a = Ok(code, 0, optionLayout, n);
            for (std::size_t i = 0; i < n && a.result == 0; ++i) {
                EXPECT_EQ(AnswerList(a, 16 * i, 2, 8), List(entries[i], "options"));
            }
        } else {
            Gone(code, optionLayout);
        }
        if (v_ >= 290) {
            Answer a = Ok(code, 0, linkLayout, n);
            for (std::size_t i = 0; i < n && a.result == 0; ++i) {
                std::vector<std::int16_t> links = List(entries[i], "links");
                links.resize(3, 0);
                for (int k = 0; k < 3; ++k) {
                    EXPECT_EQ(a.U32(20 * i + 8 + 4 * k), static_cast<std::uint16_t>(links[k]));
                }
            }
        } else {
            Gone(code, linkLayout);
        }
        if (textLayout) {
            if (v_ >= 291) {
                Answer a = Ok(code, 0, textLayout, n);
                for (std::size_t i = 0; i < n && a.result == 0; ++i) {
                    EXPECT_EQ(a.Text(72 * i + 8, 32), S(entries[i], "text1"));
                    EXPECT_EQ(a.Text(72 * i + 40, 32), S(entries[i], "text2"));
                }
            } else {
                Gone(code, textLayout);
            }
        }
    }

    void CheckPapers(const json& j) {
        const json& papers = j.at("entries");
        std::size_t n = papers.size();
        Answer defaults = Ok(20, 0, 1, 1);
        EXPECT_EQ(defaults.I16(0), static_cast<std::int16_t>(N(j, "default_letter")));
        EXPECT_EQ(defaults.I16(2), static_cast<std::int16_t>(N(j, "default_a4")));
        std::int16_t dpi = Ok(20, 0, 2, 1).I16(0);
        EXPECT_EQ(dpi, static_cast<std::int16_t>(N(j, "dpi")));
        EXPECT_EQ(Ok(20, 0, 5, 1).U32(0), N(j, "flags"));
        Answer ids = Ok(20, 0, 3, n);
        Answer rec = Ok(20, 0, 4, n);
        for (std::size_t i = 0; i < n; ++i) {
            const json& p = papers[i];
            std::size_t b = 160 * i;
            EXPECT_EQ(ids.I16(4 * i), static_cast<std::int16_t>(N(p, "id")));
            EXPECT_EQ(ids.I16(4 * i + 2), static_cast<std::int16_t>(N(p, "name_id")));
            EXPECT_EQ(rec.I16(b), static_cast<std::int16_t>(N(p, "id")));
            EXPECT_EQ(rec.I16(b + 8), static_cast<std::int16_t>(N(p, "width")));
            EXPECT_EQ(rec.I16(b + 10), static_cast<std::int16_t>(N(p, "length")));
            EXPECT_EQ(rec.I16(b + 12), static_cast<std::int16_t>(N(p, "width_dots")));
            EXPECT_EQ(rec.I16(b + 14), static_cast<std::int16_t>(N(p, "length_dots")));
            std::vector<std::int16_t> m = List(p, "margins");
            int printW = static_cast<int>(N(p, "width_dots")) - 2 * m[0];
            EXPECT_EQ(rec.I16(b + 20), printW);
            EXPECT_EQ(rec.I16(b + 16), printW * 254 / dpi);
            EXPECT_EQ(rec.I16(b + 32), static_cast<std::int16_t>(N(p, "length")));
            EXPECT_EQ(rec.U32(b + 56), N(p, "flags"));
            EXPECT_EQ(rec.U32(b + 60), N(p, "item9_mask"));
            EXPECT_EQ(rec.U32(b + 76), N(p, "flags2"));
            EXPECT_EQ(rec.I16(b + 80), static_cast<std::int16_t>(N(p, "tied_media")));
            EXPECT_EQ(AnswerList(rec, b, 82, 88), List(p, "media"));
            EXPECT_EQ(rec.I16(b + 84), static_cast<std::int16_t>(N(p, "tied_tray")));
            EXPECT_EQ(AnswerList(rec, b, 86, 120), List(p, "trays"));
        }
        // One paper by its identifier.
        Answer one = Ok(20, static_cast<int>(N(papers.back(), "id")), 4, 1);
        EXPECT_EQ(one.I16(8), static_cast<std::int16_t>(N(papers.back(), "width")));
        CheckExtensions(20, papers, 6, 8, 272, 272, 9, 10, 0);
        if (v_ >= 267) {
            Answer pairs = Ok(20, 0, 7, n);
            for (std::size_t i = 0; i < n; ++i) {
                const json& pl = papers[i].at("pairs");
                ASSERT_EQ(pairs.I16(264 * i + 2), static_cast<std::int16_t>(pl.size()));
                for (std::size_t k = 0; k < pl.size(); ++k) {
                    EXPECT_EQ(pairs.I16(264 * i + 8 + 2 * k),
                              static_cast<std::int16_t>(modelc::Number(pl[k][0])));
                    EXPECT_EQ(pairs.I16(264 * i + 136 + 2 * k),
                              static_cast<std::int16_t>(modelc::Number(pl[k][1])));
                }
            }
        }
    }

    void CheckLimits(int code, const json& j) {
        Answer a = Ok(code, 0, 1, 1);
        EXPECT_EQ(a.U32(0), N(j, "supported"));
        const char* sizes[] = {"max_width", "max_length", "max_width_600", "max_length_600",
                               "min_width", "min_length", "min_width_600", "min_length_600"};
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(a.I16(4 + 2 * i), static_cast<std::int16_t>(N(j, sizes[i])));
        }
        EXPECT_EQ(a.U32(36), N(j, "flags"));
        EXPECT_EQ(a.U32(40), N(j, "item9_mask"));
        EXPECT_EQ(a.U32(56), N(j, "flags2"));
        EXPECT_EQ(AnswerList(a, 0, 62, 68), List(j, "media"));
        EXPECT_EQ(AnswerList(a, 0, 66, 100), List(j, "trays"));
        std::vector<std::int16_t> m = List(j, "margins");
        EXPECT_EQ(a.I16(24), m[2]);
        if (v_ >= 264) {
            EXPECT_EQ(a.I16(20), m[0]);
            EXPECT_EQ(a.I16(60), static_cast<std::int16_t>(N(j, "tied_media")));
        }
        if (v_ >= 265) {
            EXPECT_EQ(Ok(code, 0, 2, 1).Text(4, 32), S(j, "name"));
        }
        if (v_ >= 272) {
            EXPECT_EQ(Ok(code, 0, 3, 1).Text(36, 32), S(j, "name2"));
        }
        if (v_ >= 282) {
            EXPECT_EQ(AnswerList(Ok(code, 0, 4, 1), 0, 0, 8), List(j, "options"));
        }
        if (v_ >= 288) {
            EXPECT_EQ(Ok(code, 0, 5, 1).U32(4), N(j, "slot288"));
        }
        if (v_ >= 290) Ok(code, 0, 6, 1);
    }

    void CheckMedia(const json& j) {
        const json& e = j.at("entries");
        Answer ids = Ok(22, 0, 1, e.size());
        EXPECT_EQ(Ok(22, 0, 2, 1).I16(0), static_cast<std::int16_t>(N(j, "default")));
        Answer rec = Ok(22, 0, 3, e.size());
        for (std::size_t i = 0; i < e.size(); ++i) {
            EXPECT_EQ(ids.I16(4 * i), static_cast<std::int16_t>(N(e[i], "id")));
            CheckTable(e[i], rec, 208 * i, true);
        }
        CheckExtensions(22, e, 4, 5, 265, 268, 6, 7, 0);
        if (v_ >= 298) {
            EXPECT_EQ(Ok(22, 0, 8, 1).U32(0), N(j, "trailer"));
        }
    }

    void CheckTrays(const json& j) {
        const json& e = j.at("entries");
        Ok(24, 0, 1, e.size());
        EXPECT_EQ(Ok(24, 0, 2, 1).I16(0), static_cast<std::int16_t>(N(j, "default")));
        Answer rec = Ok(24, 0, 3, e.size());
        for (std::size_t i = 0; i < e.size(); ++i)
            CheckTable(e[i], rec, 200 * i, false);
        CheckExtensions(24, e, 4, 0, 0, 0, 5, 6, 7);
    }

    void CheckFeeders(const json& j) {
        const json& units = j.at("entries");
        json trays = json::array();
        Answer a = Ok(26, 0, 2, units.size());
        for (std::size_t i = 0; i < units.size(); ++i) {
            EXPECT_EQ(a.I16(32 * i), static_cast<std::int16_t>(N(units[i], "id")));
            EXPECT_EQ(a.U32(32 * i + 4), N(units[i], "flags"));
            std::vector<std::int16_t> ids;
            for (const json& t : units[i].at("trays")) {
                ids.push_back(static_cast<std::int16_t>(N(t, "id")));
                trays.push_back(t);
            }
            EXPECT_EQ(AnswerList(a, 32 * i, 14, 24), ids);
            EXPECT_EQ(AnswerList(a, 32 * i, 12, 16), List(units[i], "list"));
        }
        Answer rec = Ok(26, 0, 3, trays.size());
        for (std::size_t i = 0; i < trays.size(); ++i)
            CheckTable(trays[i], rec, 200 * i, false);
        CheckExtensions(26, trays, 4, 0, 0, 0, 5, 6, 7);
        if (v_ >= 293) {
            Answer f = Ok(26, 0, 8, trays.size());
            for (std::size_t i = 0; i < trays.size(); ++i) {
                EXPECT_EQ(f.U32(8 * i + 4), N(trays[i], "option_flags"));
            }
        }
        if (v_ >= 299) {
            Answer names = Ok(26, 0, 9, units.size());
            for (std::size_t i = 0; i < units.size(); ++i) {
                EXPECT_EQ(names.Text(40 * i + 8, 32), S(units[i], "name"));
            }
        }
    }

    void CheckFinishers(const json& j) {
        const json& e = j.at("entries");
        std::size_t staples = 0, punches = 0, folds = 0, membersA = 0;
        for (const json& f : e) {
            staples += f.at("staple").at("items").size();
            punches += f.at("punch").at("items").size();
            folds += f.at("fold").at("items").size();
            for (const json& s : f.at("staple").at("items"))
                membersA += s.at("a").size();
        }
        Answer l1 = Ok(27, 0, 1, e.size());
        for (std::size_t i = 0; i < e.size(); ++i) {
            EXPECT_EQ(l1.I16(24 * i), static_cast<std::int16_t>(N(e[i], "id")));
            EXPECT_EQ(l1.U32(24 * i + 8), N(e[i], "w7"));
            std::vector<std::int16_t> codes;
            for (const json& s : e[i].at("staple").at("items"))
                codes.push_back(static_cast<std::int16_t>(N(s, "code")));
            codes.resize(std::min<std::size_t>(codes.size(), 4));
            EXPECT_EQ(AnswerList(l1, 24 * i, 12, 14), codes);
        }
        Answer l2 = Ok(27, 0, 2, staples);
        EXPECT_EQ(l2.I16(0),
                  static_cast<std::int16_t>(N(e[0].at("staple").at("items")[0], "code")));
        EXPECT_EQ(l2.U32(4), modelc::Number(e[0].at("staple").at("items")[0].at("trailing")[1]));
        if (v_ < 283) return;
        Answer l3 = Ok(27, 0, 3, e.size());
        for (std::size_t i = 0; i < e.size(); ++i) {
            std::size_t b = 88 * i;
            EXPECT_EQ(l3.Text(b + 8, 16), v_ >= 284 ? S(e[i], "name") : "");
            EXPECT_EQ(l3.I16(b + 48), static_cast<std::int16_t>(N(e[i].at("punch"), "default")));
            EXPECT_EQ(l3.I16(b + 52),
                      static_cast<std::int16_t>(e[i].at("punch").at("items").size()));
            EXPECT_EQ(l3.I16(b + 54),
                      static_cast<std::int16_t>(e[i].at("fold").at("items").size()));
        }
        if (punches) Ok(27, 0, 4, punches);
        if (folds) Ok(27, 0, 5, folds);
        Answer l6 = Ok(27, 0, 6, staples);
        const json& first = e[0].at("staple").at("items")[0];
        EXPECT_EQ(l6.I16(4), static_cast<std::int16_t>(N(first, "code")));
        EXPECT_EQ(AnswerList(l6, 0, 28, 32).size(), first.at("a").size());
        EXPECT_EQ(l6.I16(24), v_ == 283 ? 0 : static_cast<std::int16_t>(N(first, "custom")));
        Ok(27, 0, 7, membersA);
        if (v_ >= 293) {
            EXPECT_EQ(Ok(27, 0, 11, e.size()).Text(16, 32), S(e[0], "text"));
            Answer l14 = Ok(27, 0, 14, staples);
            EXPECT_EQ(l14.Text(16, 32), S(first, "text"));
            if (punches) {
                Answer l12 = Ok(27, 0, 12, punches);
                for (const json& f : e)
                    if (!f.at("punch").at("items").empty()) {
                        EXPECT_EQ(l12.Text(16, 32), S(f.at("punch").at("items")[0], "text"));
                        break;
                    }
            }
        }
        if (v_ >= 297 && folds) {
            Answer l15 = Ok(27, 0, 15, folds);
            for (const json& f : e)
                if (!f.at("fold").at("items").empty()) {
                    EXPECT_EQ(l15.Text(48, 32), S(f.at("fold").at("items")[0], "text2"));
                    break;
                }
        }
    }

    void CheckBins(const json& j) {
        const json& e = j.at("entries");
        EXPECT_EQ(Ok(34, 0, 1, 1).I16(0), static_cast<std::int16_t>(N(j, "default")));
        Answer l2 = Ok(34, 0, 2, e.size());
        std::size_t membersA = 0;
        for (std::size_t i = 0; i < e.size(); ++i) {
            EXPECT_EQ(l2.I16(16 * i), static_cast<std::int16_t>(N(e[i], "id")));
            EXPECT_EQ(l2.U32(16 * i + 4), N(e[i], "flags"));
            EXPECT_EQ(l2.U32(16 * i + 8), modelc::Number(e[i].at("trailing")[1]));
            EXPECT_EQ(l2.U32(16 * i + 12), modelc::Number(e[i].at("trailing")[2]));
            membersA += e[i].at("a").size();
        }
        if (v_ < 283) return;
        Answer l3 = Ok(34, 0, 3, e.size());
        for (std::size_t i = 0; i < e.size(); ++i) {
            EXPECT_EQ(l3.I16(192 * i + 4), static_cast<std::int16_t>(N(e[i], "id")));
            EXPECT_EQ(l3.U32(192 * i + 20), modelc::Number(e[i].at("trailing")[2]));
            EXPECT_EQ(l3.I16(192 * i + 24),
                      v_ >= 285 ? static_cast<std::int16_t>(N(e[i], "flag_a")) : 0);
        }
        Ok(34, 0, 4, membersA);
        if (v_ >= 293) {
            EXPECT_EQ(Ok(34, 0, 7, e.size()).Text(16, 32), S(e[0], "text"));
        }
        if (v_ >= 299) {
            EXPECT_EQ(Ok(34, 0, 8, e.size()).Text(8, 32), S(e[0], "name"));
        }
    }

    void CheckFixed(int code, const json& j) {
        for (const model::FixedLayout* l : model::FixedLayoutsOf(code)) {
            if (v_ < l->since) {
                Gone(code, l->layout);
                continue;
            }
            auto values = j.find(std::to_string(int(l->layout)));
            Answer a = Ok(code, 0, l->layout, 1);
            EXPECT_EQ(a.length, l->size);
            if (values == j.end()) continue;
            std::vector<model::FixedField> fields = model::FixedFields(*l);
            for (std::size_t i = 0; i < fields.size() && i < values->size(); ++i) {
                const json& x = (*values)[i];
                if (x.is_null()) continue; // given by another layout
                const model::FixedField& f = fields[i];
                if (f.kind == model::FieldKind::Text) {
                    EXPECT_EQ(a.Text(f.offset, f.bytes), x.get<std::string>());
                } else if (f.kind == model::FieldKind::I16) {
                    EXPECT_EQ(a.I16(f.offset), static_cast<std::int16_t>(modelc::Number(x)));
                } else {
                    EXPECT_EQ(a.U32(f.offset), modelc::Number(x));
                }
            }
        }
    }

    void CheckOptionDirectory(const json& j) {
        std::vector<int> codes;
        for (const json& g : j.at("groups"))
            for (const json& c : g)
                codes.push_back(static_cast<int>(modelc::Number(c)));
        Answer l1 = Ok(37, 0, 1, codes.size());
        for (std::size_t i = 0; i < codes.size(); ++i) {
            EXPECT_EQ(l1.I16(4 * i), codes[i]);
        }
        const json& all = source_.at("codes");
        std::size_t expected = 0;
        for (int c : codes) {
            auto it = all.find(std::to_string(c));
            if (it == all.end()) continue;
            if (c == 25)
                expected += 1;
            else if (c == 26)
                for (const json& u : it->at("entries"))
                    expected += std::min<std::size_t>(u.at("trays").size(), 4);
            else if (c == 27 || c == 32 || c == 33 || c == 34 || c == 35 || c == 36)
                expected += Entries(*it).size();
            else
                expected += 1;
        }
        Ok(37, 0, 2, expected);
        // One listed code alone.
        Answer one = Ask(m_, 37, codes.front(), 1);
        EXPECT_EQ(one.count, 1u);
    }

    void Check(int code, const json& j) {
        if ((code >= 1 && code <= 6) || code == 10 || code == 11 || (code >= 15 && code <= 17)) {
            Answer a = Ok(code, 0, 1, 1);
            EXPECT_EQ(a.Text(0, 1000), j.get<std::string>());
            EXPECT_EQ(a.length, j.get<std::string>().size() + 1);
            return;
        }
        switch (code) {
        case 14: {
            std::string first = j.is_string() ? j.get<std::string>() : S(j, "text");
            EXPECT_EQ(Ok(14, 0, 1, 1).Text(0, 100), first);
            EXPECT_EQ(Ok(14, 0, 0, 1).Text(0, 100), first);
            if (v_ >= 301 && j.is_object() && j.contains("second")) {
                EXPECT_EQ(Ok(14, 0, 2, 1).Text(0, 100), S(j, "second"));
            } else
                Gone(14, 2);
            return;
        }
        case 7: {
            const json& e = Entries(j);
            Answer a = Ok(7, 0, 1, e.size());
            for (std::size_t i = 0; i < e.size(); ++i) {
                EXPECT_EQ(a.I16(40 * i), static_cast<std::int16_t>(N(e[i], "id")));
                EXPECT_EQ(a.U32(40 * i + 4), N(e[i], "kind"));
                EXPECT_EQ(a.Text(40 * i + 8, 16), S(e[i], "name"));
            }
            return;
        }
        case 18: {
            const json& e = Entries(j);
            Answer a = Ok(18, 0, 1, e.size());
            for (std::size_t i = 0; i < e.size(); ++i) {
                EXPECT_EQ(a.Text(256 * i + 2, 254), S(e[i], "text"));
            }
            return;
        }
        case 20:
            return CheckPapers(j);
        case 21:
        case 75:
            return CheckLimits(code, j);
        case 22:
            return CheckMedia(j);
        case 24:
            return CheckTrays(j);
        case 25: {
            Answer a = Ok(25, 0, 1, 1);
            std::vector<std::int16_t> rec = List(j, "record");
            for (std::size_t i = 0; i < rec.size(); ++i) {
                EXPECT_EQ(a.I16(4 * i), rec[i]);
            }
            const json& e = Entries(j);
            if (v_ >= 267) {
                Answer l2 = Ok(25, 0, 2, e.size());
                for (std::size_t i = 0; i < e.size(); ++i) {
                    EXPECT_EQ(l2.Text(72 * i + 8, 32), S(e[i], "text1"));
                    EXPECT_EQ(l2.Text(72 * i + 40, 32), S(e[i], "text2"));
                }
            }
            if (v_ >= 273) {
                EXPECT_EQ(Ok(25, 2, 3, 1).I16(4), static_cast<std::int16_t>(N(e[1], "s20")));
            }
            if (v_ >= 282) {
                EXPECT_EQ(Ok(25, 0, 4, 1).I16(2), List(j, "margins")[1]);
            }
            if (v_ >= 298) {
                EXPECT_EQ(Ok(25, 2, 5, 1).I16(4), static_cast<std::int16_t>(N(e[1], "s21")));
            }
            return;
        }
        case 26:
            return CheckFeeders(j);
        case 27:
            return CheckFinishers(j);
        case 32:
        case 33: {
            const json& e = Entries(j);
            Answer a = Ok(code, 0, 1, e.size());
            for (std::size_t i = 0; i < e.size(); ++i) {
                EXPECT_EQ(a.I16(16 * i), static_cast<std::int16_t>(modelc::Number(e[i][0])));
                EXPECT_EQ(a.U32(16 * i + 8), modelc::Number(e[i][code == 32 ? 3 : 2]));
            }
            return;
        }
        case 34:
            return CheckBins(j);
        case 35:
        case 36: {
            const json& e = Entries(j);
            if (code == 35) {
                EXPECT_EQ(Ok(35, 0, 1, 1).U32(0), N(j, "value"));
            } else {
                EXPECT_EQ(Ok(36, 0, 1, 1).U32(12), modelc::Number(j.at("record")[3]));
            }
            Answer a = Ok(code, 0, 2, e.size());
            for (std::size_t i = 0; i < e.size(); ++i) {
                EXPECT_EQ(a.I16(16 * i), static_cast<std::int16_t>(modelc::Number(e[i][0])));
                EXPECT_EQ(a.U32(16 * i + 4), modelc::Number(e[i][code == 35 ? 3 : 2]));
                EXPECT_EQ(a.U32(16 * i + 8), modelc::Number(e[i][code == 35 ? 2 : 3]));
            }
            return;
        }
        case 37:
            return CheckOptionDirectory(j);
        case 39: {
            const json& e = Entries(j);
            Answer l1 = Ok(39, 0, 1, 1);
            EXPECT_EQ(l1.U32(0), N(j, "flags"));
            EXPECT_EQ(l1.I16(6), static_cast<std::int16_t>(e.size()));
            Answer l2 = Ok(39, 0, 2, e.size());
            for (std::size_t i = 0; i < e.size(); ++i) {
                EXPECT_EQ(l2.Text(104 * i, 64), S(e[i], "name"));
            }
            EXPECT_EQ(Ok(39, 2, 2, 1).Text(0, 64), S(e[1], "name")) << "selected by position";
            if (v_ >= 282) {
                EXPECT_EQ(Ok(39, 0, 3, 1).U32(8), N(j, "trailer"));
            }
            if (v_ >= 288) {
                EXPECT_EQ(Ok(39, 1, 4, 1).Text(32, 64), S(e[0], "name2"));
            }
            return;
        }
        case 41: {
            const json& e = Entries(j);
            Answer l2 = Ok(41, 0, 2, e.size());
            for (std::size_t i = 0; i < e.size(); ++i) {
                EXPECT_EQ(l2.U32(16 * i + 4), modelc::Number(e[i][1]));
            }
            Answer l1 = Ok(41, 0, 1, 1);
            EXPECT_EQ(l1.I16(0), static_cast<std::int16_t>(N(j, "default")));
            return;
        }
        case 42: {
            const json& e = Entries(j);
            Answer l1 = Ok(42, 0, 1, e.size());
            for (std::size_t i = 0; i < e.size(); ++i) {
                EXPECT_EQ(l1.I16(32 * i),
                          static_cast<std::int16_t>(modelc::Number(e[i].at("slots")[0])));
            }
            EXPECT_EQ(Ok(42, 0, 2, 1).I16(0), static_cast<std::int16_t>(N(j, "default")));
            if (v_ >= 282) {
                EXPECT_EQ(AnswerList(Ok(42, 0, 6, e.size()), 0, 2, 8), List(e[0], "list"));
            }
            return;
        }
        case 43: {
            const json& e = Entries(j);
            Answer a = Ok(43, 0, 2, e.size());
            std::vector<std::int16_t> data = List(e[0], "data");
            for (std::size_t i = 0; i < data.size(); ++i) {
                EXPECT_EQ(a.data[8 + i], static_cast<std::uint8_t>(data[i]));
            }
            return;
        }
        case 46: {
            EXPECT_EQ(Ok(46, 0, 1, 1).U32(0), N(j, "value"));
            Ok(46, 0, 2, Entries(j).size());
            if (v_ >= 299) {
                EXPECT_EQ(Ok(46, 0, 3, 1).Text(40, 32), S(j.at("extra"), "text2"));
            }
            return;
        }
        case 47: {
            EXPECT_EQ(Ok(47, 0, 1, 1).I16(0), static_cast<std::int16_t>(N(j, "value")));
            Ok(47, 0, 2, Entries(j).size());
            if (v_ >= 300) {
                EXPECT_EQ(Ok(47, 0, 6, 1).I16(2), static_cast<std::int16_t>(N(j, "value2")));
            }
            return;
        }
        case 51: {
            EXPECT_EQ(Ok(51, 0, 1, 1).U32(0), N(j, "mask"));
            if (v_ >= 281) {
                EXPECT_EQ(Ok(51, 2, 3, 1).Text(8, 16), S(Entries(j)[1], "name"));
            }
            return;
        }
        case 53: {
            EXPECT_EQ(Ok(53, 0, 1, 1).I16(4), static_cast<std::int16_t>(N(j, "s1")));
            if (v_ >= 275) {
                EXPECT_EQ(Ok(53, 0, 2, Entries(j).size()).Text(8, 32), S(Entries(j)[0], "text"));
            }
            return;
        }
        case 65: {
            EXPECT_EQ(Ok(65, 0, 1, 1).U32(0), N(j, "s0"));
            if (v_ < 301) return;
            const json& e = Entries(j);
            Answer items = Ok(65, 0, 3, e.size());
            std::size_t lines = 0;
            for (std::size_t i = 0; i < e.size(); ++i) {
                EXPECT_EQ(items.U32(16 * i), N(e[i], "id"));
                EXPECT_EQ(items.U32(16 * i + 8), N(e[i], "max"));
                lines += e[i].at("lines").size();
            }
            Answer formats = Ok(65, 0, 4, lines);
            std::size_t k = 0;
            for (const json& item : e)
                for (const json& line : item.at("lines")) {
                    EXPECT_EQ(formats.U32(64 * k), N(item, "id"));
                    EXPECT_EQ(formats.U32(64 * k + 4), modelc::Number(line[0]));
                    EXPECT_EQ(formats.Text(64 * k + 8, 56),
                              line[1].get<std::string>().substr(0, 55));
                    ++k;
                }
            return;
        }
        case 69:
            EXPECT_EQ(Ok(69, 0, 1, Entries(j).size()).Text(8, 256), S(Entries(j)[0], "data"));
            return;
        case 70:
        case 76: {
            const json& e = Entries(j);
            Answer a = Ok(code, 0, 1, e.size());
            for (std::size_t i = 0; i < e.size(); ++i)
                EXPECT_EQ(a.U32(8 * i + (code == 76 ? 4 : 0)) &
                              (code == 76 ? 0xFFFFFFFFu : 0xFFFFu),
                          code == 76 ? modelc::Number(e[i][1]) : modelc::Number(e[i][0]));
            return;
        }
        case 71: {
            if (v_ < 278) return Gone(71, 1);
            EXPECT_EQ(Ok(71, 0, 1, 1).U32(0), N(j, "mask"));
            Ok(71, 0, 3, j.at("papers").size());
            Ok(71, 0, 5, j.at("trays").size());
            std::size_t items = 0;
            for (const json& g : j.at("papers"))
                items += g.at("items").size();
            Ok(71, 0, 2, items);
            return;
        }
        case 95: {
            std::size_t pairs = 0;
            for (const json& e : Entries(j))
                pairs += e.at("values").size();
            Ok(95, 0, 1, pairs);
            return;
        }
        default:
            if (code >= 80 && code <= 94) {
                Answer a = Ok(code, 0, 1, Entries(j).size());
                EXPECT_EQ(a.I16(0), static_cast<std::int16_t>(modelc::Number(Entries(j)[0])));
                return;
            }
            return CheckFixed(code, j);
        }
    }

    const json& source_;
    int v_;
    Bytes m_;
};

class ModelRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(ModelRoundTrip, EveryVersionAnswersTheSource) {
    json source = SampleSource(GetParam());
    for (int v = 257; v <= 303; ++v) {
        RoundTrip(source, v).Run();
        if (HasFailure()) break; // one version's report is enough to read
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, ModelRoundTrip, ::testing::Values("CX5540", "LP1220"));

TEST(ModelSamples, CompiledFilesAreTheSources) {
    // The build's compiled samples are what modelc makes of the sources now.
    for (const char* name : {"CX5540", "LP1220"}) {
        EXPECT_EQ(SampleModel(name), Build(SampleSource(name))) << name;
    }
    EXPECT_EQ(SampleSource("CX5540").at("format"), 303);
    EXPECT_LT(SampleSource("LP1220").at("format").get<int>(), 265);
}

} // namespace
} // namespace model_test
