#pragma once
// Pages shared by the crawler tests.
#include <QByteArray>

namespace lb::test {

// An FFA page with one submission form after some megabytes of markup: its
// analysis takes long enough for the window to breathe in the middle of it.
inline QByteArray longFfaPage() {
    QByteArray page = "<html><body>";
    while (page.size() < 6'000'000)
        page += "<p><b>filler</b> <i>text</i></p>\r\n";
    page += "<form method=\"post\" action=\"/cgi-bin/add.cgi\">\r\n"
            "<input type=\"hidden\" name=\"action\" value=\"add\">\r\n"
            "Title: <input type=\"text\" name=\"title\" size=\"40\"><br>\r\n"
            "URL: <input type=\"text\" name=\"url\" value=\"http://\" size=\"40\"><br>\r\n"
            "E-mail: <input type=\"text\" name=\"email\" size=\"30\"><br>\r\n"
            "<select name=\"section\"><option value=\"Business\">Business</option>"
            "<option value=\"Other\">Other</option></select>\r\n"
            "<input type=\"submit\" value=\"Add my link\">\r\n</form>\r\n</body></html>";
    return page;
}

} // namespace lb::test
