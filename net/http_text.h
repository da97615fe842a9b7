#pragma once
// Text helpers around the HTTP/1.0 exchange with the unit's web server.
#include <cstdint>
#include <string>

// Splits url into scheme, host, port (0 when none is given), path and query
// (the query keeps its leading '?'). False when the URL names a port outside
// 1..65535 (port is then 0); other odd URLs give odd parts.
bool SplitUrl(const std::string& url, std::string& scheme, std::string& host, uint16_t& port,
              std::string& path, std::string& query);

// "GET " target extra " HTTP/1.0\r\n\r\n", extra with blanks as '+' and '"' as %22.
// "" when the target or extra holds a control byte (such a request is refused).
std::string BuildGetRequest(const std::string& target, const std::string& extra);
// Fixed columns of the status line; the fields stay as they were for answers
// of 14 characters or less.
void ParseStatusLine(const std::string& answer, std::string& httpVersion,
                     std::string& statusCode, std::string& reasonPhrase);
bool IsSuccessResponse(const std::string& answer);  // status 200..299
// From the first "<nivoml" to the end of the last "</nivoml>", or "".
std::string ExtractNivoml(const std::string& answer);
// What an answer's header says of where the answer ends. The header is complete
// at the first empty line; contentLength is -1 when it names no length (or one
// that is not a plain decimal number, or two different ones): the end of the
// stream ends the answer then.
struct AnswerFraming {
    bool headerComplete = false;
    size_t bodyStart = 0;
    long long contentLength = -1;
};
AnswerFraming ReadAnswerFraming(const std::string& answer);
// True when text holds a byte below 0x20 or 0x7F.
bool HasControlByte(const std::string& text);
