#include "net/HttpProt.h"

#include <gtest/gtest.h>

TEST(SplitUrl, EveryPartOfTheUrlShapesTheClientMeets) {
    struct Case {
        QString url, proto, user, pass, host, port, path;
    };
    const Case cases[] = {
        {"http://a:b@host:81/x/y.htm?q=1", "http", "a", "b", "host", "81", "/x/y.htm?q=1"},
        {"somehost/page", "", "", "", "somehost", "", "/page"},
        {"/cgi/go", "http", "", "", "", "", "/cgi/go"},
        {"", "", "", "", "", "", ""},
        {"http://host:8080", "http", "", "", "host", "8080", ""},
        {"http://user@host/p", "http", "user", "", "host", "", "/p"},
        // A colon before the "@" belongs to the credentials, not to a port.
        {"ftp://u:p@host/f", "ftp", "u", "p", "host", "", "/f"},
        {"page.htm", "", "", "", "page.htm", "", ""},
        {"http:/x.htm", "http", "", "", "", "", "/x.htm"},
        {"HTTP:xyz", "http", "", "", "", "", "xyz"},
        {"mailto:me@example.org", "mailto", "me", "", "example.org", "", ""},
        // IPv6 literals are taken whole, brackets off.
        {"http://[::1]:8080/x", "http", "", "", "::1", "8080", "/x"},
        {"http://u:p@[::1]/x", "http", "u", "p", "::1", "", "/x"},
        {"HTTPS://[2001:db8::5]?q", "HTTPS", "", "", "2001:db8::5", "", "*"}, // path not checked
    };
    for (const Case& want : cases) {
        SCOPED_TRACE(want.url.toStdString());
        Case got{want.url};
        lb::net::SplitUrl(want.url, got.proto, got.user, got.pass, got.host, got.port, got.path);
        EXPECT_EQ(got.proto, want.proto);
        EXPECT_EQ(got.user, want.user);
        EXPECT_EQ(got.pass, want.pass);
        EXPECT_EQ(got.host, want.host);
        EXPECT_EQ(got.port, want.port);
        if (want.path != "*")
            EXPECT_EQ(got.path, want.path);
    }
}
