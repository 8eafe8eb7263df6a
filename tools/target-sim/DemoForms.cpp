#include "DemoForms.h"

#include <map>
#include <vector>

namespace sim {

namespace {

// The engine lines of the bundled databases, made by the build from their
// plain sources.
const char* const kDemoEngines =
#include "DemoEngines.inc"
    ;

enum Field {
    SiteUrl,
    CgiUrl,
    Title,
    Url,
    Email,
    Description,
    Category,
    CategoryType,
    FirstName,
    Hidden,
    LastName,
    Company,
    Address1,
    Address2,
    City,
    State,
    Zip,
    Phone,
    Fax,
    Method,
    Key1,
    Country = Key1 + 16,
    FieldCount
};

struct Engine {
    std::string name;
    std::vector<std::string> f;
};

Engine parseLine(const std::string& line) {
    Engine e;
    const size_t eq = line.find('=');
    e.name = line.substr(0, eq);
    size_t pos = eq == std::string::npos ? line.size() : eq + 1;
    for (int i = 0; i < FieldCount; ++i) {
        const size_t bar = line.find('|', pos);
        if (bar == std::string::npos) {
            e.f.push_back(std::string());
            pos = line.size();
        } else {
            e.f.push_back(line.substr(pos, bar - pos));
            pos = bar + 1;
        }
    }
    return e;
}

// The path (and query) of an address on the demo host.
std::string pathOf(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return url;
    const size_t slash = url.find('/', scheme + 3);
    return slash == std::string::npos ? std::string("/") : url.substr(slash);
}

std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

// The category lists the three category types of the bundled category file offer.
std::vector<std::string> categories(const std::string& type) {
    if (type == "Cat1")
        return {"Business",   "Computers", "Education",    "Entertainment",
                "Government", "Personal",  "Miscellaneous"};
    if (type == "Cat2")
        return {"Business", "Computers", "Education",  "Entertainment", "Government",
                "Personal", "Health",    "Recreation", "Web Stuff",     "Miscellaneous"};
    if (type == "Cat3")
        return {"Automotive", "Business",      "Communications", "Community",     "Computers",
                "Consumer",   "Education",     "Employment",     "Entertainment", "Finance",
                "Government", "Health",        "Internet",       "Manufacturing", "Media",
                "Medical",    "Miscellaneous", "News",           "Opportunities", "Personal",
                "Politics",   "Publishing",    "Recreation",     "Reference",     "Religion",
                "Sci-Tech",   "Services",      "Transportation", "Travel",        "Web_Stuff"};
    return {};
}

std::string formPage(const Engine& e, const std::string& action) {
    const bool get = e.f[Method] == "GET";
    std::string html = "<html><head><title>" + escaped(e.name) +
                       " - add your site</title></head>\r\n<body>\r\n<h1>" + escaped(e.name) +
                       "</h1>\r\n<p>Fill in the form below to add your site. Every entry is "
                       "looked at before it is listed.</p>\r\n<form method=\"" +
                       (get ? "GET" : "POST") + "\" action=\"" + escaped(action) + "\">\r\n";
    // Hidden values: "&a=1&b=2".
    const std::string& hidden = e.f[Hidden];
    size_t pos = 0;
    while (pos < hidden.size()) {
        size_t amp = hidden.find('&', pos);
        if (amp == std::string::npos)
            amp = hidden.size();
        const std::string pair = hidden.substr(pos, amp - pos);
        const size_t eq = pair.find('=');
        if (!pair.empty())
            html += "<input type=\"hidden\" name=\"" + escaped(pair.substr(0, eq)) + "\" value=\"" +
                    escaped(eq == std::string::npos ? std::string() : pair.substr(eq + 1)) +
                    "\">\r\n";
        pos = amp + 1;
    }
    html += "<table>\r\n";
    auto row = [&html](const std::string& label, const std::string& control) {
        html += "<tr><td>" + label + "</td><td>" + control + "</td></tr>\r\n";
    };
    auto input = [&](const char* label, int field, const std::string& value = std::string()) {
        if (e.f[size_t(field)].empty())
            return;
        row(label, "<input type=\"text\" name=\"" + escaped(e.f[size_t(field)]) + "\" size=\"40\"" +
                       (value.empty() ? "" : " value=\"" + value + "\"") + ">");
    };
    input("Site title:", Title);
    input("Site URL:", Url, "http://");
    input("E-mail:", Email);
    if (!e.f[Description].empty())
        row("Description:", "<textarea name=\"" + escaped(e.f[Description]) +
                                "\" rows=\"4\" cols=\"40\"></textarea>");
    if (!e.f[Category].empty()) {
        std::string select = "<select name=\"" + escaped(e.f[Category]) + "\">";
        for (const std::string& c : categories(e.f[CategoryType]))
            select += "<option>" + c + "</option>";
        row("Category:", select + "</select>");
    }
    input("First name:", FirstName);
    input("Last name:", LastName);
    input("Company:", Company);
    input("Address:", Address1);
    input("Address (2):", Address2);
    input("City:", City);
    input("State:", State);
    input("Zip:", Zip);
    input("Country:", Country);
    input("Phone:", Phone);
    input("Fax:", Fax);
    for (int k = 0; k < 16; ++k) {
        const std::string label = "Keyword " + std::to_string(k + 1) + ":";
        input(label.c_str(), Key1 + k);
    }
    row("", "<input type=\"submit\" value=\"Add my site\">");
    html += "</table>\r\n</form>\r\n<p><a href=\"/demo/\">Home</a></p>\r\n</body></html>\r\n";
    return html;
}

// Site_Url path -> engine, for every demo engine.
const std::map<std::string, Engine>& demoPages() {
    static const std::map<std::string, Engine> pages = [] {
        std::map<std::string, Engine> m;
        const std::string all = kDemoEngines;
        size_t pos = 0;
        while (pos < all.size()) {
            size_t end = all.find_first_of("\r\n", pos);
            if (end == std::string::npos)
                end = all.size();
            const std::string line = all.substr(pos, end - pos);
            pos = end + 1;
            if (line.find('=') == std::string::npos)
                continue;
            Engine e = parseLine(line);
            const std::string site = e.f[SiteUrl];
            // Only pages on the demo host that the demo targets would otherwise answer.
            if (site.find("://127.0.0.1:8642/demo/") != std::string::npos)
                m.emplace(pathOf(site), std::move(e));
        }
        return m;
    }();
    return pages;
}

std::string notePage(const std::string& title, const std::string& text) {
    return "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1><p>" + text +
           "</p></body></html>\r\n";
}

} // namespace

bool demoFormAnswer(const std::string& path, int port, FormAnswer& a) {
    if (path == "/demo/check/redesigned.html") {
        // The directory's new form posts to a new script: the old record is stale.
        Engine e =
            parseLine("Redesigned Directory=|http://127.0.0.1/demo/check/suggest-site.cgi|"
                      "title|url|email|description||||&step=1||||||||||POST||||||||||||||||||");
        a.body = formPage(e, "/demo/check/suggest-site.cgi");
        return true;
    }
    if (path == "/demo/check/relocated.html") {
        a.code = 301;
        a.phrase = "Moved Permanently";
        a.extraHeaders =
            "Location: http://localhost:" + std::to_string(port) + "/demo/ffa/acorn/links.htm\r\n";
        a.body = notePage("Moved", "This page has a new home.");
        return true;
    }
    if (path == "/demo/check/closed.html") {
        a.code = 410;
        a.phrase = "Gone";
        a.body = notePage("Gone", "This link page was closed.");
        return true;
    }
    if (path == "/demo/check/members.html") {
        a.code = 403;
        a.phrase = "Access Denied";
        a.body = notePage("Access Denied", "Members only.");
        return true;
    }
    const auto& pages = demoPages();
    const auto it = pages.find(path);
    if (it == pages.end())
        return false;
    a.body = formPage(it->second, pathOf(it->second.f[CgiUrl]));
    return true;
}

} // namespace sim
