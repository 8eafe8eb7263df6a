// The search service emulation and the demo FFA link pages of target-sim.
// The service answers the advanced query under /altavista/ (the crawler
// recognises result pages by that word in their address), listing demo FFA
// pages on this server; the pages carry submission forms that post to the
// /demo/ targets, so a crawled list can be submitted to at once.
#include "FfaSite.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct DemoPage {
    const char* path;
    const char* title;
};

// Result order of the service; rotated per query.
const DemoPage kPages[] = {
    {"/ffa/garden/links.htm", "Garden Links - free for all"},
    {"/ffa/pond/ffa.htm", "Pond and water garden FFA page"},
    {"/ffa/bakery/link.htm", "Bakers' link exchange"},
    {"/ffa/radio/links.shtm", "Radio amateurs free links"},
    {"/ffa/kites/links.htm", "Kite flyers' links"},
    {"/ffa/notes/about.htm", "About free for all pages"},
    {"/ffa/cycling/links.htm", "Cycling links, add yours"},
};
const int kPageCount = int(sizeof kPages / sizeof kPages[0]);

std::string rawQueryValue(const std::string& query, const std::string& key) {
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t amp = query.find('&', pos);
        if (amp == std::string::npos)
            amp = query.size();
        const size_t eq = query.find('=', pos);
        if (eq != std::string::npos && eq < amp && query.compare(pos, eq - pos, key) == 0)
            return query.substr(eq + 1, amp - eq - 1);
        pos = amp + 1;
    }
    return std::string();
}

uint32_t hashOf(const std::string& s) {
    uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

std::string htmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if (c == '&')
            out += "&amp;";
        else
            out += c;
    }
    return out;
}

std::string head(const std::string& title) {
    return "<html>\r\n<head><title>" + title + "</title></head>\r\n<body>\r\n<h1>" + title +
           "</h1>\r\n";
}

const char kCat1Options[] = "<option>Business<option>Computers<option>Education"
                            "<option>Entertainment<option>Government<option>Personal"
                            "<option>Miscellaneous\r\n";

std::string resultPage(const std::string& origin, const std::string& q, bool second, int genPages) {
    std::vector<std::pair<std::string, std::string>> results;
    const int start = int(hashOf(q) % uint32_t(kPageCount));
    for (int i = 0; i < kPageCount; ++i) {
        const DemoPage& p = kPages[(start + i) % kPageCount];
        results.emplace_back(origin + p.path, p.title);
    }
    if (genPages > 0)
        results.emplace_back(origin + "/ffa/gen/0/links.htm", "Link exchange network, page 0");
    const size_t half = (results.size() + 1) / 2;
    std::string out = head("AltaVista: Advanced Query Results");
    out += "<p>Search: " + htmlEscape(q) + "</p>\r\n";
    if (!second)
        out += "<p>Result pages: [1] <a href=\"/cgi-bin/query?pg=aq&stype=stext&Translate=on"
               "&text=yes&q=" +
               q + "&stq=10\">[2]</a></p>\r\n";
    out += "<dl>\r\n";
    const size_t from = second ? half : 0, to = second ? results.size() : half;
    for (size_t i = from; i < to; ++i) {
        out += "<dt><b>" + std::to_string(i + 1) + ". </B><A HREF=\"" + results[i].first + "\">" +
               results[i].second + "</A>\r\n<dd>A free for all links page.\r\n";
        if (i == from) {
            // Links the crawler has to refuse: a script and the service itself.
            out += "<dt><b>*. </B><A HREF=\"" + origin + "/cgi-bin/ffa.cgi\">FFA script</A>\r\n";
            out +=
                "<dt><b>*. </B><A HREF=\"" + origin + "/altavista/help.htm\">Search help</A>\r\n";
        }
    }
    out += "</dl>\r\n</body></html>\r\n";
    return out;
}

std::string ffaForm(const std::string& method, const std::string& action,
                    const std::string& category) {
    return "<form method=\"" + method + "\" action=\"" + action +
           "\">\r\n<input type=\"hidden\" name=\"action\" value=\"add\">\r\n"
           "Title: <input type=\"text\" name=\"title\" size=\"40\"><br>\r\n"
           "URL: <input type=\"text\" name=\"url\" value=\"http://\" size=\"40\"><br>\r\n"
           "E-mail: <input type=\"text\" name=\"email\" size=\"30\"><br>\r\n" +
           category + "<input type=\"submit\" value=\"Add my link\">\r\n</form>\r\n";
}

std::string demoPage(const std::string& origin, const std::string& path, int genPages,
                     bool& found) {
    found = true;
    const std::string links =
        "<p>Friends: <a href=\"" + origin + "/ffa/pond/ffa.htm\">Ponds</a> | <a href=\"" + origin +
        "/ffa/kites/links.htm\">Kites</a> | <a href=\"" + origin +
        "/ffa/notes/\">Notes</a> | <a href=\"" + origin + "/ffa/garden/add.cgi\">Add</a></p>\r\n";
    if (path == "/ffa/garden/links.htm")
        return head("Garden Links") + links +
               ffaForm("post", "add.cgi",
                       std::string("Section: <select name=\"section\">") + kCat1Options +
                           "</select><br>\r\n") +
               "</body></html>\r\n";
    if (path == "/ffa/pond/ffa.htm")
        return head("Pond FFA") + links +
               ffaForm("GET", "/demo/ffa/pond/add.cgi",
                       std::string("Category: <select name=\"catagory\">") + kCat1Options +
                           "<option>Ponds</select><br>\r\n") +
               "</body></html>\r\n";
    if (path == "/ffa/bakery/link.htm") {
        std::string cats = "Category: <SELECT NAME=\"selection\">\r\n";
        for (const char* c : {"Business", "Computers", "Education", "Entertainment", "Government",
                              "Personal", "Health", "Recreation", "Web Stuff", "Miscellaneous"})
            cats += std::string("<OPTION VALUE=\"") + c + "\">" + c + "\r\n";
        cats += "</SELECT><br>\r\n";
        return head("Bakers' link exchange") + links +
               ffaForm("POST", "/demo/ffa/bakery/links.pl", cats) + "</body></html>\r\n";
    }
    if (path == "/ffa/radio/links.shtm") {
        std::string cats = "Category: <select name=\"section\">\r\n";
        for (const char* c :
             {"Automotive", "Business",      "Communications", "Community",     "Computers",
              "Consumer",   "Education",     "Employment",     "Entertainment", "Finance",
              "Government", "Health",        "Internet",       "Manufacturing", "Media",
              "Medical",    "Miscellaneous", "News",           "Opportunities", "Personal",
              "Politics",   "Publishing",    "Recreation",     "Reference",     "Religion",
              "Sci-Tech",   "Services",      "Transportation", "Travel",        "Web_Stuff"})
            cats += std::string("<option value=\"") + c + "\">" + c + "\r\n";
        cats += "</select><br>\r\n";
        return head("Radio amateurs") + links + ffaForm("post", "../demo/ffa/radio/add.cgi", cats) +
               "</body></html>\r\n";
    }
    if (path == "/ffa/kites/links.htm")
        return head("Kite flyers") + links +
               ffaForm("post", "/demo/ffa/kites/add.cgi",
                       "Section: <select name=\"section\"><option>Business<option>Hobbies"
                       "<option>Other</select><br>\r\n") +
               "</body></html>\r\n";
    if (path == "/ffa/notes/about.htm")
        return head("About FFA pages") + links +
               "<p>Free for all pages take any link. This page has no form.</p>\r\n"
               "</body></html>\r\n";
    if (path == "/ffa/cycling/links.htm")
        return head("Cycling links") + links +
               "<form method=\"get\" action=\"/demo/cycling/search.cgi\">Search: <input "
               "type=\"text\" name=\"words\"><input type=\"submit\"></form>\r\n" +
               ffaForm("post", "/demo/ffa/cycling/add.cgi",
                       std::string("<select name=\"section\">") + kCat1Options + "</select>\r\n") +
               "</body></html>\r\n";
    if (path.size() > 8 && path.compare(path.size() - 8, 8, "/add.cgi") == 0)
        return head("Thank you") + "<p>Your link has been added.</p></body></html>\r\n";
    if (path.rfind("/ffa/gen/", 0) == 0) {
        char* end = nullptr;
        const long n = std::strtol(path.c_str() + 9, &end, 10);
        if (end != path.c_str() + 9 && std::string(end) == "/links.htm" && n >= 0 && n < genPages) {
            std::string out = head("Link exchange network, page " + std::to_string(n));
            out += "<p>More pages:";
            for (long child : {2 * n + 1, 2 * n + 2})
                if (child < genPages)
                    out += " <a href=\"" + origin + "/ffa/gen/" + std::to_string(child) +
                           "/links.htm\">page " + std::to_string(child) + "</a>";
            out += "</p>\r\n";
            out +=
                ffaForm("post", "/demo/ffa/gen/" + std::to_string(n) + "/add.cgi",
                        std::string("<select name=\"section\">") + kCat1Options + "</select>\r\n");
            out += "</body></html>\r\n";
            return out;
        }
    }
    found = false;
    return std::string();
}

} // namespace

bool ffaAnswer(const std::string& path, const std::string& query, int port, int genPages,
               int& status, std::string& body) {
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    if (path.rfind("/altavista/", 0) == 0) {
        if (path == "/altavista/cgi-bin/query" && rawQueryValue(query, "pg") == "aq") {
            status = 200;
            body = resultPage(origin, rawQueryValue(query, "q"),
                              rawQueryValue(query, "stq") == "10", genPages);
        } else {
            status = 404;
            body = head("Not Found") + "</body></html>\r\n";
        }
        return true;
    }
    if (path.rfind("/ffa/", 0) == 0) {
        bool found = false;
        body = demoPage(origin, path, genPages, found);
        status = found ? 200 : 404;
        if (!found)
            body = head("Not Found") + "</body></html>\r\n";
        return true;
    }
    return false;
}
