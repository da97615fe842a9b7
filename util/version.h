#pragma once
// The release of nivo_lcd and its PC tools, as their --version prints it.
inline constexpr const char* kNivoVersion = "1.0.0";
