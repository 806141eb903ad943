#pragma once

#include <string>
#include <windows.h>

// A registry key of the test's own under HKEY_CURRENT_USER, laid out as the test needs and
// removed with everything under it when the test ends.
class RegistryTree {
public:
    RegistryTree();
    ~RegistryTree();
    RegistryTree(const RegistryTree&) = delete;
    RegistryTree& operator=(const RegistryTree&) = delete;

    HKEY Root() const { return m_root; }
    // Sets a text value in the subkey `path` ("" for the root), making the subkey as needed.
    void SetText(const std::string& path, const std::string& name, const std::string& text);
    void SetNumber(const std::string& path, const std::string& name, DWORD number);

private:
    std::string m_path;
    HKEY m_root = nullptr;
};
