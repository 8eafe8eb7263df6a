#include "BatchSite.h"

namespace {

// The value of NAME in an "&a=1&b=2" form body (no decoding: the program
// sends values as stored).
std::string formValue(const std::string& body, const std::string& name) {
    const std::string key = name + "=";
    size_t pos = 0;
    while ((pos = body.find(key, pos)) != std::string::npos) {
        if (pos == 0 || body[pos - 1] == '&') {
            const size_t start = pos + key.size();
            const size_t end = body.find('&', start);
            return body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
        pos += key.size();
    }
    return std::string();
}

PageAnswer make(int code, const char* phrase, const std::string& title, const std::string& text,
                const std::string& extra = std::string()) {
    return PageAnswer{code, phrase, title, text, extra};
}

} // namespace

PageAnswer batchSiteAnswer(const std::string& method, const std::string& path,
                           const std::string& body) {
    const std::string prefix = "/demo/batch/";
    const std::string rest = path.substr(prefix.size());
    const size_t slash = rest.find('/');
    const std::string site = rest.substr(0, slash);
    const std::string page = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    if (site.empty())
        return make(404, "Not Found", "Not Found", "No such batch site.");
    const std::string base = prefix + site + "/";

    if (page == "submit.cgi") {
        if (method != "POST")
            return make(200, "OK", site + " submission",
                        "Post your site's title, url, email, section and description here.");
        const std::string url = formValue(body, "url");
        if (url.empty())
            return make(400, "Bad Request", "Missing address",
                        "Please give the address of your site.");
        // Like most form handlers: accepted, then off to the thank-you page.
        return make(302, "Found", "Added", url + " was added to all " + site + " pages.",
                    "Location: " + base + "thanks.html\r\n");
    }
    if (page == "thanks.html")
        return make(200, "OK", "Thank you", "Your site has been added to all of our pages.");
    if (page.empty() || page == "info.html")
        return make(200, "OK", site, "One submission here reaches every " + site + " link page.");
    if (page.size() > 5 && page.compare(page.size() - 5, 5, ".html") == 0)
        return make(200, "OK", site + ": " + page.substr(0, page.size() - 5),
                    "<!-- links --> Fresh links from the " + site + " members.");
    return make(404, "Not Found", "Not Found", "No such page.");
}
