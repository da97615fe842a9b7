#pragma once
// Text helpers around the HTTP/1.0 exchange with the unit's web server.
#include <cstdint>
#include <string>

// Splits url into scheme, host, port (0 when none is given), path and query
// (the query keeps its leading '?'). Never fails: odd URLs give odd parts.
void SplitUrl(const std::string& url, std::string& scheme, std::string& host, uint16_t& port,
              std::string& path, std::string& query);
