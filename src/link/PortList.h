#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where the system keeps names of serial devices that stay the same across plugging and
// reboots, one symbolic link per device.
inline constexpr const char* kStableNameFolder = "/dev/serial/by-id";

// One serial port the system offers.
struct CSerialPortEntry {
    std::string m_sDevice;  // what to open: /dev/ttyUSB0, COM3
    std::string m_sDescription;
    std::string m_sManufacturer;
    std::string m_sSerialNumber;
    std::optional<uint16_t> m_nVendorId;
    std::optional<uint16_t> m_nProductId;
    std::string m_sStableName;             // its name under kStableNameFolder; empty when none
    std::optional<int> m_nLatencyTimerMs;  // where its driver reports one
};

// Where Linux shows the drivers of USB serial adapters, one folder per device.
inline constexpr const char* kUsbSerialFolder = "/sys/bus/usb-serial/devices";

// The latency timer the adapter's driver reports for the device (in ms), found through
// the device's own name under folder; none where it reports none.
std::optional<int> LatencyTimerMs(const std::string& device,
                                  const std::string& folder = kUsbSerialFolder);

// The serial ports the system has now, sorted by device.
std::vector<CSerialPortEntry> ListSerialPorts();

// The name under folder that leads to the same device as the path; empty when there is
// none, when the device does not exist, or on a system without such names. A path that
// is already such a name is its own stable name.
std::string StableSerialName(const std::string& device,
                             const std::string& folder = kStableNameFolder);

// Whether the device can be found now (on Windows: the system lists a port of that name).
bool IsDevicePresent(const std::string& device);
