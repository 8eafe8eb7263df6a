#include "AuditSite.h"

#include <cstring>

namespace sim {

namespace {

struct DemoPage {
    const char* path;
    const char* head; // what goes into <head> besides the charset
    const char* body;
    bool inSitemap;
};

// Each page is sound but for the one fault its name says.
const DemoPage kPages[] = {
    {"/audit/",
     "<title>Garden Audit Demo</title><meta name=\"description\" content=\"A demo site with one "
     "fault of each kind\">",
     "<h1>Garden Audit Demo</h1><ul>"
     "<li><a href=\"about.html\">About</a></li>"
     "<li><a href=\"missing.html\">A page that is gone</a></li>"
     "<li><a href=\"moved\">Moved once</a></li>"
     "<li><a href=\"chain\">Moved twice</a></li>"
     "<li><a href=\"loop-a\">Moved in a circle</a></li>"
     "<li><a href=\"untitled.html\">No title</a></li>"
     "<li><a href=\"twin-1.html\">Twin one</a> <a href=\"twin-2.html\">Twin two</a></li>"
     "<li><a href=\"long-title.html\">Long title</a></li>"
     "<li><a href=\"no-description.html\">No description</a></li>"
     "<li><a href=\"long-description.html\">Long description</a></li>"
     "<li><a href=\"no-h1.html\">No heading</a> <a href=\"two-h1.html\">Two headings</a></li>"
     "<li><a href=\"noindex.html\">Not for the index</a></li>"
     "<li><a href=\"canonical.html\">Canonical elsewhere</a></li>"
     "<li><a href=\"images.html\">Images</a></li>"
     "<li><a href=\"private/secret.html\">Private</a></li>"
     "<li><a href=\"/delay/2100/audit/slow.html\">Slow</a></li>"
     "<li><a href=\"extra.html\">Not in the sitemap</a></li>"
     "<li><a href=\"latin1.html\">Caf&eacute;</a></li>"
     "<li><a href=\"mailto:info@example.com\">Mail</a> <a href=\"javascript:void(0)\">Script</a> "
     "<a href=\"http://www.example.com/\">Elsewhere</a> <img src=\"logo.gif\" alt=\"Logo\"></li>"
     "</ul>",
     true},
    {"/audit/about.html",
     "<title>About the demo</title><meta name=\"description\" content=\"Who made the demo\">",
     "<h1>About</h1><p><a href=\"/audit/\">Home</a></p>", true},
    {"/audit/untitled.html",
     "<title>  </title><meta name=\"description\" content=\"No title here\">", "<h1>Untitled</h1>",
     true},
    {"/audit/twin-1.html",
     "<title>Twin page</title><meta name=\"description\" content=\"One of two twins\">",
     "<h1>Twin one</h1>", true},
    {"/audit/twin-2.html",
     "<title>Twin  page</title><meta name=\"description\" content=\"One of two   twins\">",
     "<h1>Twin two</h1>", true},
    {"/audit/long-title.html",
     "<title>A title that goes on and on about garden tools, spades and forks</title>"
     "<meta name=\"description\" content=\"A page with a long title\">",
     "<h1>Long title</h1>", true},
    {"/audit/no-description.html", "<title>No description</title>", "<h1>No description</h1>",
     true},
    {"/audit/long-description.html",
     "<title>Long description</title><meta name=\"description\" content=\"A description that "
     "says far more than a search result can show: spades, forks, rakes, hoes, trowels, "
     "shears, wheelbarrows and watering cans, all of them made by hand in our workshop.\">",
     "<h1>Long description</h1>", true},
    {"/audit/no-h1.html",
     "<title>No heading</title><meta name=\"description\" content=\"A page without a heading\">",
     "<h2>Only a second-level heading</h2>", true},
    {"/audit/two-h1.html",
     "<title>Two headings</title><meta name=\"description\" content=\"A page with two headings\">",
     "<h1>First</h1><h1>Second</h1>", true},
    {"/audit/noindex.html",
     "<title>Not for the index</title><meta name=\"description\" content=\"A page kept out of "
     "search results\"><meta name=\"robots\" content=\"noindex, follow\">",
     "<h1>Noindex</h1>", true},
    {"/audit/canonical.html",
     "<title>Canonical elsewhere</title><meta name=\"description\" content=\"A copy of the about "
     "page\"><link rel=\"canonical\" href=\"/audit/about.html\">",
     "<h1>Canonical</h1>", true},
    {"/audit/images.html",
     "<title>Images</title><meta name=\"description\" content=\"A page with pictures\">",
     "<h1>Images</h1><img src=\"a.gif\"><img src=\"b.gif\" alt=\"\">", true},
    {"/audit/slow.html",
     "<title>Slow page</title><meta name=\"description\" content=\"A page that takes its time\">",
     "<h1>Slow</h1>", true},
    {"/audit/extra.html",
     "<title>Not in the sitemap</title><meta name=\"description\" content=\"A page the sitemap "
     "forgot\">",
     "<h1>Extra</h1>", false},
    {"/audit/orphan.html",
     "<title>Orphan</title><meta name=\"description\" content=\"A page no link leads to\">",
     "<h1>Orphan</h1>", true},
    {"/audit/private/secret.html",
     "<title>Secret</title><meta name=\"description\" content=\"Kept from crawlers\">",
     "<h1>Secret</h1>", false},
};

std::string html(const DemoPage& p, const char* charset = "utf-8") {
    return std::string("<!DOCTYPE html>\r\n<html lang=\"en\"><head><meta charset=\"") + charset +
           "\">" + p.head + "</head>\r\n<body>" + p.body + "</body></html>\r\n";
}

void redirect(AuditAnswer& a, int code, const std::string& to) {
    a.code = code;
    a.body = "<html><body>Moved.</body></html>\r\n";
    a.extraHeaders = "Location: " + to + "\r\n";
}

} // namespace

bool auditSiteAnswer(const std::string& path, const std::string& origin, AuditAnswer& a) {
    a = AuditAnswer();
    if (path == "/robots.txt") {
        a.type = "text/plain";
        a.body = "# Crawlers of the demo targets\r\n"
                 "User-agent: *\r\nDisallow: /audit/private/\r\n\r\n"
                 "User-agent: GPTBot\r\nUser-agent: CCBot\r\nDisallow: /\r\n\r\n"
                 "Sitemap: " +
                 origin + "/audit/sitemap.xml\r\n";
        return true;
    }
    if (path.compare(0, 7, "/audit/") != 0)
        return false;
    if (path == "/audit/sitemap.xml") {
        a.type = "application/xml";
        a.body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
        for (const DemoPage& p : kPages) {
            if (!p.inSitemap)
                continue;
            const std::string at = std::strcmp(p.path, "/audit/slow.html") == 0
                                       ? "/delay/2100/audit/slow.html"
                                       : p.path;
            a.body += "<url><loc>" + origin + at + "</loc></url>\n";
        }
        a.body += "<url><loc>" + origin + "/audit/latin1.html</loc></url>\n</urlset>\n";
        return true;
    }
    if (path == "/audit/moved")
        redirect(a, 301, "/audit/about.html");
    else if (path == "/audit/chain")
        redirect(a, 302, "chain-2");
    else if (path == "/audit/chain-2")
        redirect(a, 301, origin + "/audit/about.html");
    else if (path == "/audit/loop-a")
        redirect(a, 302, "/audit/loop-b");
    else if (path == "/audit/loop-b")
        redirect(a, 302, "/audit/loop-a");
    else if (path == "/audit/latin1.html") {
        a.type = "text/html; charset=iso-8859-1";
        a.body = "<html lang=\"fr\"><head><title>Caf\xE9 des jardins</title><meta "
                 "name=\"description\" content=\"Le caf\xE9 du jardin\"></head><body><h1>Caf\xE9"
                 "</h1></body></html>\r\n";
    } else {
        for (const DemoPage& p : kPages)
            if (path == p.path) {
                a.body = html(p);
                return true;
            }
        a.code = 404;
        a.body = "<html><head><title>Not Found</title></head><body>No such page.</body></html>\r\n";
    }
    return true;
}

} // namespace sim
