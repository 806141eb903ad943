#include "tests/support/win32/registry_tree_win32.h"

#include <stdexcept>

namespace {

constexpr const char* kTestsKey = "Software\\PelmoraTests\\";

HKEY CreateKey(HKEY parent, const std::string& path) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot make the registry key " + path);
    }
    return key;
}

} // namespace

RegistryTree::RegistryTree()
    : m_path(kTestsKey + std::to_string(::GetCurrentProcessId())),
      m_root(CreateKey(HKEY_CURRENT_USER, m_path)) {}

RegistryTree::~RegistryTree() {
    ::RegCloseKey(m_root);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
}

void RegistryTree::SetText(const std::string& path, const std::string& name,
                           const std::string& text) {
    const HKEY key = CreateKey(m_root, path);
    ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
    ::RegCloseKey(key);
}

void RegistryTree::SetNumber(const std::string& path, const std::string& name, DWORD number) {
    const HKEY key = CreateKey(m_root, path);
    ::RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
    ::RegCloseKey(key);
}
