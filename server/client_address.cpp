#include "server/client_address.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

std::optional<Network> parse_address(const std::string& text) {
    Network n;
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        std::memcpy(n.bytes, kMappedPrefix, 12);
        std::memcpy(n.bytes + 12, &v4, 4);
        return n;
    }
    if (inet_pton(AF_INET6, text.c_str(), n.bytes) == 1)
        return n;
    return std::nullopt;
}

bool mapped_v4(const Network& n) {
    return std::memcmp(n.bytes, kMappedPrefix, 12) == 0;
}

bool contains(const Network& net, const Network& address) {
    for (int bit = 0; bit < net.prefix; ++bit) {
        const int mask = 0x80 >> (bit % 8);
        if ((net.bytes[bit / 8] & mask) != (address.bytes[bit / 8] & mask))
            return false;
    }
    return true;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::optional<Network> parse_network(const std::string& text) {
    const size_t slash = text.find('/');
    std::optional<Network> n = parse_address(text.substr(0, slash));
    if (!n || slash == std::string::npos)
        return n;
    const std::string bits = text.substr(slash + 1);
    const int most = mapped_v4(*n) && text.find(':') == std::string::npos ? 32 : 128;
    if (bits.empty() || bits.size() > 3 ||
        bits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int prefix = std::atoi(bits.c_str());
    if (prefix > most)
        return std::nullopt;
    n->prefix = prefix + (128 - most);
    return n;
}

bool TrustedProxies::add(const std::string& list) {
    std::vector<Network> more;
    size_t at = 0;
    while (at <= list.size()) {
        size_t end = list.find(',', at);
        if (end == std::string::npos)
            end = list.size();
        const std::optional<Network> n = parse_network(trimmed(list.substr(at, end - at)));
        if (!n)
            return false;
        more.push_back(*n);
        at = end + 1;
    }
    networks_.insert(networks_.end(), more.begin(), more.end());
    return true;
}

bool TrustedProxies::trusts(const std::string& address) const {
    const std::optional<Network> a = parse_address(address);
    if (!a)
        return false;
    for (const Network& net : networks_)
        if (contains(net, *a))
            return true;
    return false;
}

std::string TrustedProxies::client(const std::string& peer, const std::string& forwarded) const {
    if (!trusts(peer))
        return peer;
    std::string client = peer;
    size_t end = forwarded.size();
    while (end > 0) {
        const size_t comma = forwarded.rfind(',', end - 1);
        const size_t start = comma == std::string::npos ? 0 : comma + 1;
        const std::string entry = trimmed(forwarded.substr(start, end - start));
        const std::optional<Network> a = parse_address(entry);
        if (!a)
            break;
        char text[INET6_ADDRSTRLEN];
        if (mapped_v4(*a))
            inet_ntop(AF_INET, a->bytes + 12, text, sizeof text);
        else
            inet_ntop(AF_INET6, a->bytes, text, sizeof text);
        client = text;
        if (!trusts(client))
            break;
        if (comma == std::string::npos)
            break;
        end = comma;
    }
    return client;
}

std::string limit_key(const std::string& address) {
    std::optional<Network> a = parse_address(address);
    if (!a)
        return address;
    char text[INET6_ADDRSTRLEN];
    if (mapped_v4(*a)) {
        inet_ntop(AF_INET, a->bytes + 12, text, sizeof text);
        return text;
    }
    std::memset(a->bytes + 8, 0, 8);
    inet_ntop(AF_INET6, a->bytes, text, sizeof text);
    return std::string(text) + "/64";
}
