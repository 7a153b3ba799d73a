#include "protocol/AddressList.hpp"

#include <set>

namespace nuv {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// One address of 1..247 in decimal digits only (no sign, no blanks inside).
std::optional<int> Address(std::string_view text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < kFirstSlaveAddress || value > kLastSlaveAddress) return std::nullopt;
    return value;
}

std::string NotAnAddress(std::string_view text) {
    return "'" + std::string(text) + "' is not an address of " +
           std::to_string(kFirstSlaveAddress) + ".." + std::to_string(kLastSlaveAddress);
}

}  // namespace

std::optional<std::vector<int>> ParseAddressList(std::string_view text, std::string& reason) {
    std::vector<int> addresses;
    std::set<int> seen;
    if (Trim(text).empty()) {
        reason = "the list of addresses is empty";
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = Trim(text.substr(start, comma - start));
        start = comma + 1;
        if (item.empty()) {
            reason = "an empty item in the list of addresses '" + std::string(text) + "'";
            return std::nullopt;
        }
        int low = 0;
        int high = 0;
        if (const std::size_t dash = item.find('-'); dash != std::string_view::npos) {
            const std::string_view from = Trim(item.substr(0, dash));
            const std::string_view to = Trim(item.substr(dash + 1));
            if (from.empty() || to.empty()) {
                reason = "the range '" + std::string(item) + "' lacks an end";
                return std::nullopt;
            }
            const auto first = Address(from);
            const auto last = Address(to);
            if (!first || !last) {
                reason = NotAnAddress(!first ? from : to) + " (in the range '" + std::string(item) +
                         "')";
                return std::nullopt;
            }
            if (*first > *last) {
                reason = "the range '" + std::string(item) + "' goes downwards: write it as " +
                         std::to_string(*last) + "-" + std::to_string(*first);
                return std::nullopt;
            }
            low = *first;
            high = *last;
        } else {
            const auto single = Address(item);
            if (!single) {
                reason = NotAnAddress(item);
                return std::nullopt;
            }
            low = high = *single;
        }
        for (int address = low; address <= high; ++address) {
            if (!seen.insert(address).second) {
                reason = std::to_string(address) + " is listed twice";
                return std::nullopt;
            }
            addresses.push_back(address);
        }
    }
    return addresses;
}

std::string AddressListText(const std::vector<int>& addresses) {
    std::string text;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1) ++j;
        if (!text.empty()) text += ',';
        if (j - i >= 2) {
            text += std::to_string(addresses[i]) + "-" + std::to_string(addresses[j]);
            i = j + 1;
        } else {
            text += std::to_string(addresses[i]);
            ++i;
        }
    }
    return text;
}

}  // namespace nuv
