#pragma once

#include <array>
#include <cstdint>

// The grabbing parameters (p1..p8 of CComPort::SetParameters) for an image width:
// 180 and 360 have a fixed set; any other width has none and gives false.
bool ParametersForWidth(int width, std::array<uint16_t, 8>& params);
