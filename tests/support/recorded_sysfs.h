#pragma once

#include <filesystem>
#include <string>

// Pieces of a recorded /sys, laid out as the kernel lays them out, for tests that read a
// machine's serial ports from a tree of their own.

// A USB device's identity files in `dir`; an empty serial leaves its file out, as devices
// without one do.
void RecordUsbDevice(const std::filesystem::path& dir, const char* vendor, const char* product,
                     const char* manufacturer, const char* name, const char* serial);

// The class/tty entry `name` in `ttyClass`, whose "device" link leads to `device`.
void RecordTtyEntry(const std::filesystem::path& ttyClass, const std::string& name,
                    const std::filesystem::path& device);
