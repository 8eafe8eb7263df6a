#include "site.h"

#include <cstdlib>

namespace sim {

namespace {

std::string page(const std::string& title, const std::string& description,
                 const std::string& keywords, const std::string& body) {
    return "<html>\r\n<head>\r\n<title>" + title + "</title>\r\n" +
           "<meta name=\"description\" content=\"" + description + "\">\r\n" +
           "<meta name=\"keywords\" content=\"" + keywords + "\">\r\n</head>\r\n<body>\r\n" + body +
           "</body>\r\n</html>\r\n";
}

const char kMenu[] = "<p><a href=\"/site/\">Home</a> | <a href=\"/site/about.html\">About us</a> | "
                     "<a href=\"/site/tools/spades.html\">Spades</a> | "
                     "<a href=\"/site/contact.html\">Contact</a></p>\r\n";

SitePage ok(std::string body) {
    SitePage p;
    p.code = 200;
    p.phrase = "OK";
    p.body = std::move(body);
    return p;
}

// /site/gen/N/ and /site/gen/N/pK.html: page K links to pages 2K+1 and
// 2K+2 (a binary tree over N pages) and back to page 0.
SitePage generated(const std::string& rest) {
    const size_t slash = rest.find('/');
    const long n = std::atol(rest.c_str());
    if (slash == std::string::npos || n <= 0 || n > 1000000)
        return SitePage();
    const std::string file = rest.substr(slash + 1);
    const std::string count = std::to_string(n);
    if (file.empty())
        return ok(page("Generated site of " + count + " pages", "Start page of a generated site",
                       "generated, site, start", "<p><a href=\"p0.html\">First page</a></p>\r\n"));
    if (file.size() < 7 || file[0] != 'p' || file.compare(file.size() - 5, 5, ".html") != 0)
        return SitePage();
    const long k = std::atol(file.c_str() + 1);
    if (k < 0 || k >= n || std::to_string(k) != file.substr(1, file.size() - 6))
        return SitePage();
    std::string body = "<h1>Page " + std::to_string(k) + "</h1>\r\n<p>";
    for (long child : {2 * k + 1, 2 * k + 2})
        if (child < n)
            body += "<a href=\"p" + std::to_string(child) + ".html\">Page " +
                    std::to_string(child) + "</a>\r\n";
    body += "<a href=\"p0.html\">First page</a></p>\r\n";
    return ok(page("Page " + std::to_string(k) + " of " + count,
                   "Generated page number " + std::to_string(k),
                   "page" + std::to_string(k) + ", generated, site", body));
}

} // namespace

SitePage sitePage(const std::string& path) {
    if (path == "/site" || path == "/site/" || path == "/site/index.html")
        return ok(page("Garden Tools Demo", "Hand tools for small gardens",
                       "garden, tools, spades, forks",
                       std::string("<h1>Garden Tools</h1>\r\n") + kMenu +
                           "<p>We make <a href=\"tools/forks.html\">forks</a> and "
                           "<a href=\"tools/spades.html\">spades</a> that last.</p>\r\n"
                           "<p><img src=\"logo.gif\"> <a href=\"logo.gif\">Our logo</a></p>\r\n"
                           "<p>Friends: <a href=\"http://www.example.com/\">Example</a>, "
                           "<a href=\"mailto:info@example.com\">write to us</a>.</p>\r\n"));
    if (path == "/site/about.html")
        return ok(page("About Garden Tools", "A small family workshop since 1950",
                       "workshop, family, garden", std::string("<h1>About us</h1>\r\n") + kMenu));
    if (path == "/site/contact.html")
        return ok(page("Contact Garden Tools", "How to reach the workshop", "contact, address",
                       std::string("<h1>Contact</h1>\r\n") + kMenu +
                           "<p><a href=\"mailto:info@example.com\">info@example.com</a></p>\r\n"));
    if (path == "/site/tools/spades.html")
        return ok(page("Spades", "Spades of forged steel", "spades, steel, digging",
                       std::string("<h1>Spades</h1>\r\n") + kMenu +
                           "<p>See also our <a href=\"forks.html\">forks</a>.</p>\r\n"));
    if (path == "/site/tools/forks.html")
        return ok(page("Forks", "Digging forks with ash handles", "forks, ash, digging",
                       std::string("<h1>Forks</h1>\r\n") + kMenu));
    if (path.compare(0, 10, "/site/gen/") == 0)
        return generated(path.substr(10));
    return SitePage();
}

} // namespace sim
