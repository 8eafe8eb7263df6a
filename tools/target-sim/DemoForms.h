#pragma once
// The submission pages of the bundled demo engines: the Site_Url of every
// engine in the bundled databases answers with the form its record
// describes (posting to its CGI URL), so the source viewer, the auto
// extractor and the engine health check see real forms. Under /demo/check/
// a few engines of the bundled "check-demo" database that are not well:
// a redesigned form, a move to another host, a closed and a private page.
#include <string>

namespace sim {

struct FormAnswer {
    int code = 200;
    std::string phrase = "OK";
    std::string body;
    std::string extraHeaders; // whole lines, each ended by CR LF
};

// The answer for path when it is a demo engine's page or a /demo/check/
// page; port is the server's own (the moved page's new address names it).
bool demoFormAnswer(const std::string& path, int port, FormAnswer& answer);

} // namespace sim
