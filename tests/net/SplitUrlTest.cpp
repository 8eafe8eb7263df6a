#include "net/HttpProt.h"

#include <gtest/gtest.h>

using lb::net::SplitUrl;

namespace {

struct Parts {
    QString proto, user, pass, host, port, path;
};

Parts split(const QString& url) {
    Parts p;
    SplitUrl(url, p.proto, p.user, p.pass, p.host, p.port, p.path);
    return p;
}

void expectParts(const QString& url, const Parts& want) {
    const Parts got = split(url);
    EXPECT_EQ(got.proto, want.proto) << qPrintable(url);
    EXPECT_EQ(got.user, want.user) << qPrintable(url);
    EXPECT_EQ(got.pass, want.pass) << qPrintable(url);
    EXPECT_EQ(got.host, want.host) << qPrintable(url);
    EXPECT_EQ(got.port, want.port) << qPrintable(url);
    EXPECT_EQ(got.path, want.path) << qPrintable(url);
}

} // namespace

TEST(SplitUrl, FullUrlWithCredentialsPortAndQuery) {
    expectParts("http://a:b@host:81/x/y.htm?q=1", {"http", "a", "b", "host", "81", "/x/y.htm?q=1"});
}

TEST(SplitUrl, HostAndPathWithoutProtocol) {
    expectParts("somehost/page", {"", "", "", "somehost", "", "/page"});
}

TEST(SplitUrl, AbsolutePathOnly) {
    expectParts("/cgi/go", {"http", "", "", "", "", "/cgi/go"});
}

TEST(SplitUrl, EmptyUrlGivesNothing) {
    expectParts("", {});
}

TEST(SplitUrl, AuthorityForms) {
    expectParts("http://host:8080", {"http", "", "", "host", "8080", ""});
    expectParts("http://user@host/p", {"http", "user", "", "host", "", "/p"});
    // A colon before the "@" belongs to the credentials, not to a port.
    expectParts("ftp://u:p@host/f", {"ftp", "u", "p", "host", "", "/f"});
    expectParts("page.htm", {"", "", "", "page.htm", "", ""});
}

TEST(SplitUrl, HttpColonWithoutSlashes) {
    expectParts("http:/x.htm", {"http", "", "", "", "", "/x.htm"});
    expectParts("HTTP:xyz", {"http", "", "", "", "", "xyz"});
}

TEST(SplitUrl, Mailto) {
    expectParts("mailto:me@example.org", {"mailto", "me", "", "example.org", "", ""});
}
