#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelmora::server {

// The page in "ja" or "en", whole: it fetches only its script and styles from this server, so
// that it works on a lab network cut off from everything else.
std::string WebPage(std::string_view language);

struct WebFile {
    std::string_view body;
    std::string_view type;
};

// The page's own files by their paths ("/app.js"): its scripts, styles and icon; or none.
std::optional<WebFile> WebAsset(std::string_view path);

} // namespace pelmora::server
