#include "net/http_text.h"

#include <algorithm>
#include <cctype>

#include "util/conversions.h"
#include "util/utilities.h"

namespace {

constexpr std::string::size_type kStatusLineMin = 15;  // "HTTP/1.0 200 " and two more
constexpr std::string::size_type kReasonStart = 13;

}  // namespace

bool SplitUrl(const std::string& url, std::string& scheme, std::string& host, uint16_t& port,
              std::string& path, std::string& query) {
    scheme.clear();
    host.clear();
    port = 0;
    path.clear();
    query.clear();
    std::string rest = url;
    bool portOk = true;

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
    // A port counts only when a path follows it; a value that does not fit a port
    // is refused rather than wrapped onto some other port.
    const std::string::size_type slash = rest.find('/');
    if (!rest.empty() && rest[0] == ':' && slash != std::string::npos) {
        const std::string text = rest.substr(1, slash - 1);
        if (!text.empty()) {
            const int value = StrToInt(text);
            portOk = value >= 1 && value <= 65535;
            if (portOk) port = static_cast<uint16_t>(value);
        }
        rest.erase(0, slash);
    }
    const std::string::size_type queryStart = rest.find('?');
    if (queryStart != std::string::npos) {
        path = rest.substr(0, queryStart);
        query = rest.substr(queryStart);
    } else {
        path = rest;
    }
    return portOk;
}

std::string BuildGetRequest(const std::string& target, const std::string& extra) {
    // A CR or LF would end the request line early and smuggle in header lines.
    if (HasControlByte(target) || HasControlByte(extra)) return "";
    std::string request = "GET " + target;
    if (!extra.empty()) {
        std::string encoded = extra;
        EncodeUrlText(encoded);
        request += encoded;
    }
    return request + " HTTP/1.0\r\n\r\n";
}

void ParseStatusLine(const std::string& answer, std::string& httpVersion, std::string& statusCode,
                     std::string& reasonPhrase) {
    if (answer.size() < kStatusLineMin) return;
    httpVersion = answer.substr(0, 8);
    statusCode = answer.substr(9, 3);
    std::string::size_type end = answer.find('\n', kReasonStart);
    if (end == std::string::npos) end = answer.size();
    if (end > kReasonStart && answer[end - 1] == '\r') --end;
    reasonPhrase = answer.substr(kReasonStart, end - kReasonStart);
}

bool IsSuccessResponse(const std::string& answer) {
    std::string version, status, reason;
    ParseStatusLine(answer, version, status, reason);
    return static_cast<unsigned>(StrToInt(status)) - 200u < 100u;
}

std::string ExtractNivoml(const std::string& answer) {
    static const std::string kOpen = "<nivoml";
    static const std::string kClose = "</nivoml>";
    const std::string::size_type start = answer.find(kOpen);
    const std::string::size_type end = answer.rfind(kClose);
    if (start == std::string::npos || end == std::string::npos || start >= end) return "";
    return answer.substr(start, end + kClose.size() - start);
}

namespace {

// The value of a "Content-Length:" header line (name in any case), -1 when the
// line is another header or the value is not a plain decimal number.
long long ContentLengthOf(const std::string& line) {
    static const char kName[] = "content-length:";
    const size_t nameLength = sizeof kName - 1;
    if (line.size() < nameLength) return -1;
    for (size_t i = 0; i < nameLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != kName[i]) return -1;
    }
    size_t first = line.find_first_not_of(" \t", nameLength);
    size_t last = line.find_last_not_of(" \t\r");
    if (first == std::string::npos || last < first) return -1;
    long long value = 0;
    for (size_t i = first; i <= last; ++i) {
        if (line[i] < '0' || line[i] > '9') return -1;
        // Anything past this is far beyond every answer bound.
        if (value < (1LL << 40)) value = value * 10 + (line[i] - '0');
    }
    return value;
}

}  // namespace

AnswerFraming ReadAnswerFraming(const std::string& answer) {
    AnswerFraming framing;
    const size_t crlf = answer.find("\r\n\r\n");
    const size_t lf = answer.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos) return framing;
    const size_t headerEnd = std::min(crlf, lf);
    framing.headerComplete = true;
    framing.bodyStart = headerEnd + (headerEnd == crlf ? 4 : 2);
    size_t start = answer.find('\n');  // the status line names no length
    while (start != std::string::npos && start < headerEnd) {
        const size_t end = answer.find('\n', start + 1);
        const long long value = ContentLengthOf(answer.substr(start + 1, end - start - 1));
        if (value >= 0) {
            if (framing.contentLength >= 0 && framing.contentLength != value) {
                framing.contentLength = -1;  // contradicting lengths: trust the stream
                return framing;
            }
            framing.contentLength = value;
        }
        start = end;
    }
    return framing;
}

bool HasControlByte(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}
