// The text rules of the HTTP client: URLs, where a Location leads, the
// status line and Content-Length.
#include "net/HttpHeader.h"
#include "net/HttpUrl.h"

#include <gtest/gtest.h>
#include <QList>

TEST(StatusLine, TheCodeStandsInColumnsTenToTwelveAndThePhraseFromFourteen) {
    struct Case {
        const char* line;
        int code;
        QString phrase;
    };
    const Case cases[] = {
        {"HTTP/1.1 302 Found", 302, "Found"},
        {"HTTP/1.0 200", 200, ""},
        {"HTTP/1.1 301 ", 301, ""},
        {"HTTP/1.0 200OK", 200, "K"},
        {"HTTP/1.0  20 Made", 20, "Made"},
        {"HTTP/1.0 2x0 OK", 404, "Invalid status line"},
        {"HTTP/1.0 abc Broken", 404, "Invalid status line"},
        {"HTTP/1.0 ", 404, "Invalid status line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const lb::net::StatusLine s = lb::net::parseStatusLine(c.line);
        EXPECT_EQ(s.code, c.code);
        EXPECT_EQ(s.phrase, c.phrase);
    }
}

TEST(ContentLength, UpToEighteenDigitsWithBlanksAround) {
    struct Case {
        const char* value;
        qint64 length; // -1: not a length
    };
    const Case cases[] = {
        {"4", 4},
        {" 4 \t", 4},
        {"000000000000000004", 4},
        {"999999999999999999", 999999999999999999},
        {"0000000000000000004", -1},
        {"lots", -1},
        {"4x", -1},
        {"-4", -1},
        {"", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(lb::net::parseContentLength(c.value).value_or(-1), c.length);
    }
}

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

TEST(FollowLocation, ALocationMovesTheNextRequestDirectOrThroughAProxy) {
    using lb::net::HttpHop;
    const HttpHop direct{"a", "a", "8080", "/x", "http://a:8080/x", false};
    const HttpHop secure{"a", "a", "8443", "/x", "https://a:8443/x", true};
    const HttpHop proxied{"proxy", "a", "3128", "http://a:81/x", "http://a:81/x", false};
    struct Case {
        HttpHop from;
        QString value;
        bool viaProxy;
        HttpHop want;
    };
    // clang-format off
    const Case cases[] = {
        // A new server without a port gets its scheme's port, not the old one.
        {direct, "https://b/y", false, {"b", "b", "443", "/y", "https://b/y", true}},
        {direct, "http://b", false, {"b", "b", "80", "/", "http://b", false}},
        // Without a proxy the port goes into the connection, not into Location.
        {direct, "http://b:81/z", false, {"b", "b", "81", "/z", "http://b/z", false}},
        {direct, "/z", false, {"a", "a", "8080", "/z", "http://a/z", false}},
        // Without protocol the hop keeps its own, https included.
        {secure, "/z", false, {"a", "a", "8443", "/z", "https://a/z", true}},
        {secure, "http://b/z", false, {"b", "b", "80", "/z", "http://b/z", false}},
        {direct, "page.htm", false, {"a", "a", "8080", "http://a/page.htm", "http://a/page.htm", false}},
        // Through a proxy the connection stays and the address, port and all,
        // goes into the request line.
        {proxied, "/z", true, {"proxy", "a", "3128", "http://a:81/z", "http://a:81/z", false}},
        {proxied, "page.htm", true, {"proxy", "a", "3128", "http://a:81/page.htm", "http://a:81/page.htm", false}},
        {proxied, "https://b:444/y", true, {"proxy", "b", "3128", "https://b:444/y", "https://b:444/y", false}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE((c.value + (c.viaProxy ? " via proxy" : "")).toStdString());
        HttpHop got = c.from;
        lb::net::followLocation(got, c.value, c.viaProxy);
        EXPECT_EQ(got.hostName, c.want.hostName);
        EXPECT_EQ(got.targetHost, c.want.targetHost);
        EXPECT_EQ(got.port, c.want.port);
        EXPECT_EQ(got.path, c.want.path);
        EXPECT_EQ(got.location, c.want.location);
        EXPECT_EQ(got.tls, c.want.tls);
    }
}

TEST(DocumentName, TheLastSegmentWithoutQueryAtMost255Characters) {
    const QString n255(255, 'n');
    const QList<QPair<QString, QString>> cases = {
        {"", "document.htm"}, {"/", "document.htm"}, {"/x/y.htm?q=1", "y.htm"},
        {"/dir/", "dir"},     {"/" + n255, n255},    {"/" + n255 + "n", n255},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(lb::net::documentNameOf(path), name) << path.toStdString();
}
