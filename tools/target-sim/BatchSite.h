#pragma once
// The demo batch sites under /demo/batch/NAME/: a server that enters one
// submission into all of its link pages, as the bundled "linkring" expects.
#include <string>

struct PageAnswer {
    int code = 200;
    std::string phrase;
    std::string title;
    std::string text;
    std::string extraHeaders; // whole lines, each ended by CR LF
};

// The answer to METHOD PATH (PATH below /demo/batch/) with the request body.
PageAnswer batchSiteAnswer(const std::string& method, const std::string& path,
                           const std::string& body);
