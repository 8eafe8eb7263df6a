#pragma once
// An IndexNow endpoint: checks a JSON submission the way the protocol asks
// and answers with the protocol's status codes.
#include <string>

namespace sim {

struct Answer {
    int code = 200;
    std::string phrase;
    std::string body;
};

// method, path and body of the request; root is the folder the key files are
// looked up in (empty: no key file can be found).
Answer indexNowAnswer(const std::string& method, const std::string& path, const std::string& body,
                      const std::string& root);

} // namespace sim
