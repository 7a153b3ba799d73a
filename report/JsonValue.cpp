#include "report/JsonValue.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace nuv {
namespace {

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<JsonValue> Document(std::string& error) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
        JsonValue value;
        bool read = Value(value, 0);
        if (read) {
            SkipSpace();
            read = End() || Fail("text after the value");
        }
        if (!read) {
            error = error_ + " at byte " + std::to_string(failedAt_);
            return std::nullopt;
        }
        return value;
    }

  private:
    bool Fail(std::string why) {
        if (error_.empty()) {
            error_ = std::move(why);
            failedAt_ = at_;
        }
        return false;
    }
    bool End() const { return at_ >= text_.size(); }
    char Peek() const { return End() ? '\0' : text_[at_]; }
    void SkipSpace() {
        while (!End() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) {
            ++at_;
        }
    }
    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return Fail("an unknown word");
        at_ += word.size();
        return true;
    }

    bool Value(JsonValue& value, int depth) {
        SkipSpace();
        if (End()) return Fail("the text ends where a value should be");
        switch (Peek()) {
            case '{':
                return Object(value, depth + 1);
            case '[':
                return Array(value, depth + 1);
            case '"':
                value.type = JsonValue::Type::String;
                return String(value.text);
            case 't':
                value.type = JsonValue::Type::Bool;
                value.boolean = true;
                return Literal("true");
            case 'f':
                value.type = JsonValue::Type::Bool;
                return Literal("false");
            case 'n':
                value.type = JsonValue::Type::Null;
                return Literal("null");
            default:
                value.type = JsonValue::Type::Number;
                return Number(value.number);
        }
    }

    bool Object(JsonValue& value, int depth) {
        if (depth > kJsonMaxDepth) return Fail("nested too deep");
        value.type = JsonValue::Type::Object;
        ++at_;
        SkipSpace();
        if (Peek() == '}') {
            ++at_;
            return true;
        }
        while (true) {
            SkipSpace();
            if (Peek() != '"') return Fail("a member name was expected");
            std::string name;
            if (!String(name)) return false;
            SkipSpace();
            if (Peek() != ':') return Fail("':' was expected");
            ++at_;
            JsonValue member;
            if (!Value(member, depth)) return false;
            value.members.push_back(JsonMember{std::move(name), std::move(member)});
            SkipSpace();
            if (Peek() == ',') {
                ++at_;
                continue;
            }
            if (Peek() != '}') return Fail("',' or '}' was expected");
            ++at_;
            break;
        }
        // Two members of one name would leave it open which one counts.
        std::vector<std::string_view> names;
        names.reserve(value.members.size());
        for (const auto& member : value.members) names.push_back(member.first);
        std::sort(names.begin(), names.end());
        if (const auto twice = std::adjacent_find(names.begin(), names.end());
            twice != names.end()) {
            return Fail("the name \"" + std::string(*twice) + "\" appears twice in an object");
        }
        return true;
    }

    bool Array(JsonValue& value, int depth) {
        if (depth > kJsonMaxDepth) return Fail("nested too deep");
        value.type = JsonValue::Type::Array;
        ++at_;
        SkipSpace();
        if (Peek() == ']') {
            ++at_;
            return true;
        }
        while (true) {
            JsonValue item;
            if (!Value(item, depth)) return false;
            value.items.push_back(std::move(item));
            SkipSpace();
            if (Peek() == ',') {
                ++at_;
                continue;
            }
            if (Peek() != ']') return Fail("',' or ']' was expected");
            ++at_;
            return true;
        }
    }

    bool Number(double& number) {
        const std::size_t start = at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (!End() && Peek() >= '0' && Peek() <= '9') ++at_;
            return at_ > from;
        };
        if (Peek() == '-') ++at_;
        if (Peek() == '0') {
            ++at_;
        } else if (!digits()) {
            return Fail("an unexpected character");
        }
        if (Peek() == '.') {
            ++at_;
            if (!digits()) return Fail("a digit was expected after the point");
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++at_;
            if (Peek() == '+' || Peek() == '-') ++at_;
            if (!digits()) return Fail("a digit was expected in the exponent");
        }
        // from_chars reads the same in every locale.
        const char* first = text_.data() + start;
        const auto [end, error] = std::from_chars(first, text_.data() + at_, number);
        if (error != std::errc() || end != text_.data() + at_ || !std::isfinite(number)) {
            at_ = start;
            return Fail("a number out of range");
        }
        return true;
    }

    bool Hex4(unsigned& code) {
        code = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            const char c = Peek();
            code <<= 4U;
            if (c >= '0' && c <= '9') {
                code |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                code |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                code |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                return Fail("four hexadecimal digits were expected after \\u");
            }
        }
        return true;
    }

    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6U);
            out += static_cast<char>(0x80 | (code & 0x3FU));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12U);
            out += static_cast<char>(0x80 | (code >> 6U & 0x3FU));
            out += static_cast<char>(0x80 | (code & 0x3FU));
        } else {
            out += static_cast<char>(0xF0 | code >> 18U);
            out += static_cast<char>(0x80 | (code >> 12U & 0x3FU));
            out += static_cast<char>(0x80 | (code >> 6U & 0x3FU));
            out += static_cast<char>(0x80 | (code & 0x3FU));
        }
    }

    bool Escape(std::string& out) {
        ++at_;  // the backslash
        const char c = Peek();
        ++at_;
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                --at_;
                return Fail("an unknown escape");
        }
        unsigned code = 0;
        if (!Hex4(code)) return false;
        if (code >= 0xDC00 && code <= 0xDFFF) return Fail("a lone low surrogate");
        if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low = 0;
            if (text_.substr(at_, 2) != "\\u") return Fail("a high surrogate without its pair");
            at_ += 2;
            if (!Hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("a high surrogate without its pair");
            code = 0x10000 + ((code - 0xD800) << 10U) + (low - 0xDC00);
        }
        AppendUtf8(out, code);
        return true;
    }

    // One UTF-8 sequence as RFC 3629 allows it: no overlong forms, no surrogates, at most
    // U+10FFFF.
    bool Utf8(std::string& out) {
        const auto lead = static_cast<unsigned char>(Peek());
        std::size_t length = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return Fail("a byte that is not UTF-8");
        }
        if (at_ + length > text_.size()) return Fail("a byte that is not UTF-8");
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text_[at_ + i]);
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
                return Fail("a byte that is not UTF-8");
            }
        }
        out.append(text_.substr(at_, length));
        at_ += length;
        return true;
    }

    bool String(std::string& out) {
        ++at_;  // the opening quote
        while (true) {
            if (End()) return Fail("a string without its closing quote");
            const auto c = static_cast<unsigned char>(Peek());
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                if (!Escape(out)) return false;
            } else if (c < 0x20) {
                return Fail("a control character in a string");
            } else if (c < 0x80) {
                out += static_cast<char>(c);
                ++at_;
            } else if (!Utf8(out)) {
                return false;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string error_;
    std::size_t failedAt_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
    if (type != Type::Object) return nullptr;
    for (const auto& [key, value] : members) {
        if (key == name) return &value;
    }
    return nullptr;
}

std::optional<long long> JsonValue::Integer(long long low, long long high) const {
    if (type != Type::Number || std::trunc(number) != number) return std::nullopt;
    // Beyond 2^53 a double holds no exact whole number any more; no report counts that far.
    constexpr double kExact = 9007199254740992.0;
    if (std::fabs(number) > kExact || number < static_cast<double>(low) ||
        number > static_cast<double>(high)) {
        return std::nullopt;
    }
    return static_cast<long long>(number);
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string& error) {
    return Parser(text).Document(error);
}

}  // namespace nuv
