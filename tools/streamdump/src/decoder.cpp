// The printer stream decoder: PJL around the job, raw sequences and frames
// inside it. Every read is checked against the stream's size.
#include "streamdump/decoder.h"

#include <cstdio>
#include <cstring>

#include "streamdump/images.h"
#include "opcodes.h"
#include "tokens.h"

namespace streamdump {
namespace {

constexpr std::size_t kMaxPjlLine = 4096;

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t pos() const { return pos_; }
    std::size_t left() const { return size_ - pos_; }
    bool done() const { return pos_ >= size_; }
    std::uint8_t at(std::size_t i) const { return pos_ + i < size_ ? data_[pos_ + i] : 0; }
    const std::uint8_t* here() const { return data_ + pos_; }
    bool startsWith(const void* bytes, std::size_t n) const {
        return left() >= n && std::memcmp(data_ + pos_, bytes, n) == 0;
    }
    void skip(std::size_t n) { pos_ += n < left() ? n : left(); }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

enum class State { Pjl, AwaitJobOpen, Graphics };

class Decoder {
  public:
    Decoder(const std::uint8_t* data, std::size_t size) : r_(data, size) {}

    Decoding Run() {
        while (!r_.done()) {
            switch (state_) {
            case State::Pjl:
                PjlStep();
                break;
            case State::AwaitJobOpen:
                AwaitJobOpenStep();
                break;
            case State::Graphics:
                GraphicsStep();
                break;
            }
        }
        return std::move(out_);
    }

  private:
    void Add(Item item) {
        if (!item.problem.empty()) ++out_.problems;
        out_.items.push_back(std::move(item));
    }

    bool AtUel() const { return r_.startsWith(stream::kUel, stream::kUelLength); }
    bool AtPjl() const { return r_.startsWith("@PJL", 4); }

    void Uel() {
        Item item;
        item.kind = ItemKind::Uel;
        item.offset = r_.pos();
        item.length = stream::kUelLength;
        r_.skip(stream::kUelLength);
        Add(std::move(item));
    }

    // Bytes up to the next point where `resume` holds (or the end).
    template <class Resume> void Unparsed(const char* problem, Resume resume) {
        Item item;
        item.kind = ItemKind::Bytes;
        item.offset = r_.pos();
        do
            r_.skip(1);
        while (!r_.done() && !resume());
        item.length = r_.pos() - item.offset;
        item.problem = problem;
        Add(std::move(item));
    }

    void PjlStep() {
        if (AtUel()) return Uel();
        if (!AtPjl())
            return Unparsed("bytes outside any PJL line", [&] { return AtUel() || AtPjl(); });
        Item item;
        item.kind = ItemKind::PjlLine;
        item.offset = r_.pos();
        std::size_t n = 0;
        while (n < r_.left() && r_.at(n) != '\n' && n < kMaxPjlLine)
            ++n;
        std::size_t textEnd = n;
        if (n < r_.left() && r_.at(n) == '\n') {
            item.lineEnd = n > 0 && r_.at(n - 1) == '\r' ? "CRLF" : "LF";
            if (item.lineEnd == "CRLF") --textEnd;
            ++n;
        } else if (n >= kMaxPjlLine) {
            item.problem = "PJL line longer than 4096 bytes";
        } else {
            item.problem = "PJL line without a line end";
        }
        item.text.assign(reinterpret_cast<const char*>(r_.here()), textEnd);
        for (char c : item.text)
            if (c == '\r' || c == '\x1B') item.problem = "control character inside a PJL line";
        item.length = n;
        r_.skip(n);
        // "@PJL ENTER LANGUAGE=..." hands the stream to the graphics job.
        std::string upper;
        for (char c : item.text)
            upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        if (upper.rfind("@PJL ENTER LANGUAGE", 0) == 0) state_ = State::AwaitJobOpen;
        Add(std::move(item));
    }

    bool AtJobOpen() const {
        // Also a frame head of 12583 bytes; the raw sequence is followed by a
        // frame (or nothing).
        return r_.startsWith(stream::kJobOpen, sizeof stream::kJobOpen) &&
               (r_.left() == 3 || r_.at(3) == stream::kFrameEscape);
    }

    void JobOpen() {
        Item item;
        item.kind = ItemKind::JobOpen;
        item.offset = r_.pos();
        item.length = 3;
        r_.skip(3);
        Add(std::move(item));
        state_ = State::Graphics;
    }

    void AwaitJobOpenStep() {
        if (r_.startsWith("\x1B\x27\x31", 3)) return JobOpen();
        state_ = State::Graphics;
        Item item;
        item.kind = ItemKind::Bytes;
        item.offset = r_.pos();
        item.length = 0;
        item.problem = "the graphics job does not open with 1B 27 31";
        Add(std::move(item));
    }

    void GraphicsStep() {
        if (AtUel()) {
            if (!closed_) {
                Item item;
                item.kind = ItemKind::Bytes;
                item.offset = r_.pos();
                item.problem = "the graphics job ends without 1B 00 00";
                Add(std::move(item));
            }
            closed_ = false;
            state_ = State::Pjl;
            return Uel();
        }
        if (r_.at(0) != stream::kFrameEscape) {
            // Drawing tokens travel between the frames.
            std::size_t before = out_.items.size();
            r_.skip(DecodeTokens(r_.here(), r_.left(), r_.pos(), &out_.items));
            for (std::size_t i = before; i < out_.items.size(); ++i)
                if (!out_.items[i].problem.empty()) ++out_.problems;
            return;
        }
        if (AtJobOpen()) return JobOpen();
        Item item;
        item.offset = r_.pos();
        if (r_.left() < 3) {
            item.kind = ItemKind::Bytes;
            item.length = r_.left();
            item.problem = "frame head cut off by the end of the stream";
            r_.skip(r_.left());
            return Add(std::move(item));
        }
        std::size_t length = r_.at(1) | (static_cast<std::size_t>(r_.at(2)) << 8);
        if (length == 0) {
            item.kind = ItemKind::JobClose;
            item.length = 3;
            r_.skip(3);
            closed_ = true;
            return Add(std::move(item));
        }
        if (closed_) item.problem = "frame after the job was closed";
        if (3 + length > r_.left()) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "frame of %zu bytes runs past the end (%zu left)",
                          length, r_.left() - 3);
            item.kind = ItemKind::Bytes;
            item.length = r_.left();
            item.problem = buf;
            r_.skip(r_.left());
            return Add(std::move(item));
        }
        item.kind = ItemKind::Frame;
        item.length = 3 + length;
        item.opcode = r_.at(3);
        item.payloadSize = length - 1;
        const std::uint8_t* payload = r_.here() + 4;
        if (const OpcodeSpec* spec = FindOpcode(item.opcode)) {
            item.text = spec->name;
            std::string problem;
            item.fields = DecodePayload(*spec, payload, item.payloadSize, &problem);
            if (!problem.empty()) item.problem = problem;
        } else {
            item.problem = "unknown opcode";
        }
        r_.skip(item.length);
        Add(std::move(item));
    }

    Reader r_;
    State state_ = State::Pjl;
    bool closed_ = false;
    Decoding out_;
};

std::string Hex(std::size_t v, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*zx", width, v);
    return buf;
}

std::string Visible(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

} // namespace

Decoding Decode(const std::uint8_t* data, std::size_t size) {
    if (!data) size = 0;
    Decoding d = Decoder(data, size).Run();
    CheckImages(data, size, &d);
    return d;
}

std::string Format(const Decoding& decoding) {
    std::string out;
    for (const Item& item : decoding.items) {
        std::string line = (item.problem.empty() ? "  " : "! ") + Hex(item.offset, 8) + "  ";
        switch (item.kind) {
        case ItemKind::Uel:
            line += "UEL";
            break;
        case ItemKind::PjlLine:
            line += "PJL    " + Visible(item.text);
            if (!item.lineEnd.empty()) line += "  [" + item.lineEnd + "]";
            break;
        case ItemKind::JobOpen:
            line += "RAW    1B 27 31  job open";
            break;
        case ItemKind::JobClose:
            line += "RAW    1B 00 00  job close";
            break;
        case ItemKind::Frame: {
            char op[16];
            if (item.opcode >= 33 && item.opcode < 127)
                std::snprintf(op, sizeof op, "%c", item.opcode);
            else
                std::snprintf(op, sizeof op, "\\x%02X", item.opcode);
            line += std::string("FRAME  ") + op + "  " + (item.text.empty() ? "?" : item.text);
            for (const Field& f : item.fields)
                line += "  " + f.name + "=" + f.value;
            if (item.fields.empty() && item.payloadSize)
                line += "  payload=" + std::to_string(item.payloadSize) + " bytes";
            break;
        }
        case ItemKind::Bytes:
            line += "BYTES  " + std::to_string(item.length) + " bytes";
            break;
        case ItemKind::Token: {
            char op[16] = "--";
            if (item.opcode >= 0)
                std::snprintf(op, sizeof op, "%02X", static_cast<unsigned>(item.opcode & 0xFF));
            line += std::string("TOKEN  ") + op + "  " + item.text;
            for (const Field& f : item.fields)
                line += "  " + f.name + "=" + f.value;
            break;
        }
        }
        if (!item.problem.empty()) line += "  <- " + item.problem;
        out += line + "\n";
    }
    out += std::to_string(decoding.items.size()) + " items, " + std::to_string(decoding.problems) +
           " problems\n";
    return out;
}

} // namespace streamdump
