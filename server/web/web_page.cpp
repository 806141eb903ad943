#include "server/web/web_page.h"

namespace pelmora::server {

namespace assets {
extern const std::string_view kPageHtml;
extern const std::string_view kAppJs;
extern const std::string_view kAppCss;
extern const std::string_view kCurrentPlotJs;
extern const std::string_view kPageTextsJs;
extern const std::string_view kEnglishTextsJs;
extern const std::string_view kIconSvg;
} // namespace assets

namespace {

constexpr std::string_view kLanguageMark = "{{lang}}";
constexpr std::string_view kScriptType = "text/javascript; charset=utf-8";
constexpr std::string_view kStyleType = "text/css; charset=utf-8";

struct NamedAsset {
    std::string_view path;
    const std::string_view& body;
    std::string_view type;
};

// The page's own files, as page.html names them.
const NamedAsset kAssets[] = {
    {"/app.js", assets::kAppJs, kScriptType},
    {"/app.css", assets::kAppCss, kStyleType},
    {"/current_plot.js", assets::kCurrentPlotJs, kScriptType},
    {"/page_texts.js", assets::kPageTextsJs, kScriptType},
    {"/english_texts.js", assets::kEnglishTextsJs, kScriptType},
    {"/pelmora.svg", assets::kIconSvg, "image/svg+xml"},
};

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
    for (const auto& asset : kAssets) {
        if (asset.path == path) {
            return WebFile{asset.body, asset.type};
        }
    }
    return std::nullopt;
}

} // namespace pelmora::server
