#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nuv {

struct JsonMember;

// A JSON value as read from a file someone may have edited, truncated or replaced: any bytes
// give either a value or a reason, never a crash.
struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;  // a string's UTF-8
    std::vector<JsonValue> items;
    // In the file's order. A member of its own type, not a std::pair: a pair of this type is
    // not complete here, which some compilers' standard libraries refuse.
    std::vector<JsonMember> members;

    bool IsNull() const { return type == Type::Null; }
    // A member of an object by its name; none when absent or when this is no object.
    const JsonValue* Find(std::string_view name) const;
    // A number without a fraction within [low, high].
    std::optional<long long> Integer(long long low, long long high) const;
};

// An object's member: its name and value, named as a pair's halves.
struct JsonMember {
    std::string first;
    JsonValue second;
};

// Nesting deeper than this is refused rather than followed (a report nests four levels).
inline constexpr int kJsonMaxDepth = 64;

// Reads a whole JSON text (RFC 8259: one value, white space around it, strings in valid UTF-8,
// no duplicate names in an object; a leading UTF-8 byte-order mark is skipped). None with the
// reason and its byte offset in `error` when the text is not JSON.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

}  // namespace nuv
