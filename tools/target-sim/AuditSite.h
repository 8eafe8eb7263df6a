#pragma once
// /robots.txt and the site audit's demo site under /audit/: one page for each
// issue the audit reports, a sitemap, and a robots.txt that shuts out a few
// crawlers and one folder.
#include <string>

namespace sim {

struct AuditAnswer {
    int code = 200;
    std::string type = "text/html";
    std::string body;
    std::string extraHeaders; // whole lines, each ended by CR LF
};

// origin: "http://host:port" as the client named the server.
bool auditSiteAnswer(const std::string& path, const std::string& origin, AuditAnswer& a);

} // namespace sim
