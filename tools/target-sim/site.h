#pragma once
// The demo web site under /site/: a few pages with TITLE and META tags for the
// spider to walk, and /site/gen/N/ generated sites of N linked pages.
#include <string>

namespace sim {

struct SitePage {
    int code = 404;
    std::string phrase = "Not Found";
    std::string body = "<html><head><title>Not Found</title></head><body>No such page."
                       "</body></html>\r\n";
};

// The page at path (which starts with "/site").
SitePage sitePage(const std::string& path);

} // namespace sim
