#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
// Who a request comes from: the peer of the connection, or behind a proxy the service trusts,
// the client the proxy names in X-Forwarded-For. Limits count IPv6 clients by their /64, the
// block one subscriber gets.

struct Network {
    uint8_t bytes[16] = {}; // IPv4 as ::ffff:a.b.c.d
    int prefix = 128;       // over the 128 bits
};

// An address ("127.0.0.1", "::1") or a network ("10.0.0.0/8", "2001:db8::/32").
std::optional<Network> parse_network(const std::string& text);

class TrustedProxies {
public:
    // A comma-separated list of addresses and networks; false, and nothing added, when one of
    // them is not.
    bool add(const std::string& list);
    bool trusts(const std::string& address) const;

    // The client of a request from `peer` that says `forwarded` (the X-Forwarded-For headers,
    // joined by commas): from a trusted peer, the right-most address in it that is not trusted
    // itself; otherwise, or when the header names nothing usable, the peer.
    std::string client(const std::string& peer, const std::string& forwarded) const;

private:
    std::vector<Network> networks_;
};

// The key under which the limits count an address: IPv4 as it is, IPv6 by its /64.
std::string limit_key(const std::string& address);
