#include "net/http_text.h"

#include "util/conversions.h"

void SplitUrl(const std::string& url, std::string& scheme, std::string& host, uint16_t& port,
              std::string& path, std::string& query) {
    scheme.clear();
    host.clear();
    port = 0;
    path.clear();
    query.clear();
    std::string rest = url;

    const std::string::size_type schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos) {
        scheme = rest.substr(0, schemeEnd);
        rest.erase(0, schemeEnd + 3);
    }
    const std::string::size_type hostEnd = rest.find_first_of(":/");
    if (hostEnd != std::string::npos) {
        host = rest.substr(0, hostEnd);
        rest.erase(0, hostEnd);
    }
    // A port counts only when a path follows it.
    const std::string::size_type slash = rest.find('/');
    if (!rest.empty() && rest[0] == ':' && slash != std::string::npos) {
        port = static_cast<uint16_t>(StrToInt(rest.substr(1, slash - 1)));
        rest.erase(0, slash);
    }
    const std::string::size_type queryStart = rest.find('?');
    if (queryStart != std::string::npos) {
        path = rest.substr(0, queryStart);
        query = rest.substr(queryStart);
    } else {
        path = rest;
    }
}
