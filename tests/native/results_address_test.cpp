#include <gtest/gtest.h>

#include "server/client_address.h"
#include "server/http.h"
// Who a request comes from behind the proxies the service trusts, the key its limits count it
// under, and the reading of a request's text: forms, escapes and the log's escaping.

namespace {

TEST(ClientAddress, ForwardedForIsBelievedOnlyFromTrustedProxies) {
    TrustedProxies proxies;
    ASSERT_TRUE(proxies.add("127.0.0.1, 10.0.0.0/8,fd00::/8"));
    EXPECT_FALSE(proxies.add("10.0.0.0/33")) << "a prefix longer than the address";
    EXPECT_FALSE(proxies.add("192.168.1.1,nonsense")) << "one bad entry refuses the list";
    EXPECT_FALSE(proxies.trusts("192.168.1.1"));
    EXPECT_FALSE(proxies.trusts("11.0.0.1")) << "just outside 10.0.0.0/8";
    EXPECT_TRUE(proxies.trusts("10.255.0.1"));

    struct Case {
        const char *peer, *forwarded, *client;
    };
    const Case cases[] = {
        {"203.0.113.9", "198.51.100.1", "203.0.113.9"}, // not a proxy: its header is ignored
        {"127.0.0.1", "198.51.100.1", "198.51.100.1"},
        {"127.0.0.1", "6.6.6.6, 198.51.100.1", "198.51.100.1"},  // the left one is the client's say
        {"127.0.0.1", "198.51.100.1, 10.1.2.3", "198.51.100.1"}, // past a second trusted proxy
        {"127.0.0.1", "", "127.0.0.1"},
        {"127.0.0.1", "not-an-address", "127.0.0.1"},
        {"127.0.0.1", "2001:DB8::1", "2001:db8::1"},
        {"127.0.0.1", "10.0.0.1, 10.0.0.2", "10.0.0.1"}, // only proxies: the furthest
    };
    for (const Case& c : cases)
        EXPECT_EQ(proxies.client(c.peer, c.forwarded), c.client) << c.peer << " / " << c.forwarded;
}

TEST(ClientAddress, LimitsCountIpv6ByItsSlash64) {
    EXPECT_EQ(limit_key("2001:db8:1:2:aaaa::1"), "2001:db8:1:2::/64");
    EXPECT_EQ(limit_key("2001:db8:1:2:bbbb:cccc:dddd:eeee"), "2001:db8:1:2::/64");
    EXPECT_NE(limit_key("2001:db8:1:3::1"), limit_key("2001:db8:1:2::1"));
    EXPECT_EQ(limit_key("::ffff:192.0.2.7"), "192.0.2.7") << "IPv4 in IPv6 clothing";
    EXPECT_EQ(limit_key("192.0.2.7"), "192.0.2.7");
}

TEST(HttpText, FormsEscapesAndTheLog) {
    EXPECT_EQ(unescape("a+b%20c%2", true), "a b c%2");
    EXPECT_EQ(unescape("a+b%zz", false), "a+b%zz");
    EXPECT_EQ(form_field("mail=a%40b.com&pass=x+y&pass=z", "pass"), "x y");
    EXPECT_EQ(form_field("a=1&empty=&b", "empty"), "");
    EXPECT_FALSE(form_field("a=1&b=2", "c").has_value());
    EXPECT_FALSE(form_field("", "a").has_value());

    HttpRequest req;
    req.target = "/login?mail=q%40h.com";
    req.headers = {{"content-type", "application/x-www-form-urlencoded; charset=UTF-8"}};
    req.body = "mail=b%40h.com&pass=p%26q";
    EXPECT_EQ(req.param("mail"), "q@h.com") << "the query first";
    EXPECT_EQ(req.param("pass"), "p&q");
    req.headers = {{"Content-Type", "text/plain"}};
    EXPECT_EQ(req.param("pass"), "") << "only a form's body holds parameters";

    EXPECT_EQ(log_text("/x\nGET /forged 200\\\x1B\xE4"), "/x\\x0AGET /forged 200\\x5C\\x1B\\xE4");
}

} // namespace
