#include "server/web/web_page.h"

namespace pelmora::server {

namespace assets {
extern const std::string_view kPageHtml;
extern const std::string_view kAppJs;
extern const std::string_view kAppCss;
} // namespace assets

namespace {

constexpr std::string_view kLanguageMark = "{{lang}}";

} // namespace

std::string WebPage(std::string_view language) {
    std::string page(assets::kPageHtml);
    for (auto at = page.find(kLanguageMark); at != std::string::npos;
         at = page.find(kLanguageMark)) {
        page.replace(at, kLanguageMark.size(), language);
    }
    return page;
}

std::optional<WebFile> WebAsset(std::string_view path) {
    if (path == "/app.js") {
        return WebFile{assets::kAppJs, "text/javascript; charset=utf-8"};
    }
    if (path == "/app.css") {
        return WebFile{assets::kAppCss, "text/css; charset=utf-8"};
    }
    return std::nullopt;
}

} // namespace pelmora::server
