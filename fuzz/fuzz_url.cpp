// Splits arbitrary bytes as a URL and checks that the parts fit the input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    std::string scheme, host, path, query;
    uint16_t port = 0;
    const bool ok = SplitUrl(url, scheme, host, port, path, query);
    if (!ok && port != 0) abort();  // a refused port is never half taken
    const std::string tail = path + query;
    if (tail.size() > url.size() || url.compare(url.size() - tail.size(), tail.size(), tail) != 0) {
        abort();
    }
    if (!query.empty() && query[0] != '?') abort();
    if (!scheme.empty() && url.compare(0, scheme.size() + 3, scheme + "://") != 0) abort();
    return 0;
}
