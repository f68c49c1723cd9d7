// Build tool that turns one page of app/pages/ into a C++ source: every <script src="…"></script>
// that names a script beside the page takes that script's text in its place, every url("…") that
// names a file beside it (the fonts) is replaced by a base64 data: URI of that file, and the
// resulting text becomes a raw string literal returned by a function of ddd::app.
//
//   embed_page PAGE.html HEADER FUNCTION OUT.cpp
//
// The output is replaced only when its text changes, so an unchanged page rebuilds nothing.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kEndMarker = ")DDDPAGE\"";

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += {kAlphabet[v >> 18], kAlphabet[v >> 12 & 63], kAlphabet[v >> 6 & 63], kAlphabet[v & 63]};
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += {kAlphabet[v >> 18], kAlphabet[v >> 12 & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += {kAlphabet[v >> 18], kAlphabet[v >> 12 & 63], kAlphabet[v >> 6 & 63], '='};
    }
    return out;
}

std::optional<std::string> mediaType(const fs::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".woff2") return "font/woff2";
    if (ext == ".svg") return "image/svg+xml";
    if (ext == ".png") return "image/png";
    return std::nullopt;
}

bool isLocalReference(std::string_view ref) {
    return !ref.empty() && ref.rfind("data:", 0) != 0 && ref.find("://") == std::string_view::npos && ref[0] != '#' &&
           ref[0] != '/';
}

// The page with its local url("…") references inlined; nothing when a referenced file is missing
// or of an unknown type, after naming it on standard error.
std::optional<std::string> inlineReferences(const std::string& page, const fs::path& folder) {
    constexpr std::string_view kOpen = "url(\"";
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = page.find(kOpen, from)) != std::string::npos;) {
        const std::size_t begin = at + kOpen.size();
        const std::size_t end = page.find('"', begin);
        if (end == std::string::npos) break;
        const std::string ref = page.substr(begin, end - begin);
        out.append(page, from, begin - from);
        from = end;
        if (!isLocalReference(ref)) {
            out += ref;
            continue;
        }
        const fs::path file = folder / ref;
        const std::optional<std::string> type = mediaType(file);
        const std::optional<std::string> bytes = readFile(file);
        if (!type || !bytes) {
            std::fprintf(stderr, "embed_page: %s: %s\n", file.string().c_str(), type ? "cannot be read" : "unknown file type");
            return std::nullopt;
        }
        out += "data:" + *type + ";base64," + base64(*bytes);
    }
    out.append(page, from, std::string::npos);
    return out;
}

// The page with the local scripts it names placed inside their script elements; nothing when one
// is missing or would end its element early, after naming it on standard error.
std::optional<std::string> inlineScripts(const std::string& page, const fs::path& folder) {
    constexpr std::string_view kOpen = "<script src=\"", kClose = "\"></script>";
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = page.find(kOpen, from)) != std::string::npos;) {
        const std::size_t begin = at + kOpen.size();
        const std::size_t end = page.find(kClose, begin);
        if (end == std::string::npos) break;
        const std::string ref = page.substr(begin, end - begin);
        if (!isLocalReference(ref)) {
            out.append(page, from, end - from);
            from = end;
            continue;
        }
        const std::optional<std::string> script = readFile(folder / ref);
        if (!script || script->find("</script") != std::string::npos) {
            std::fprintf(stderr, "embed_page: %s: %s\n", (folder / ref).string().c_str(), script ? "holds </script" : "cannot be read");
            return std::nullopt;
        }
        out.append(page, from, at - from).append("<script>\n").append(*script).append("</script>");
        from = end + kClose.size();
    }
    return out.append(page, from, std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: embed_page PAGE.html HEADER FUNCTION OUT.cpp\n");
        return 2;
    }
    const fs::path pagePath = argv[1];
    const std::optional<std::string> page = readFile(pagePath);
    if (!page) {
        std::fprintf(stderr, "embed_page: %s cannot be read\n", argv[1]);
        return 1;
    }
    const std::optional<std::string> scripted = inlineScripts(*page, pagePath.parent_path());
    if (!scripted) return 1;
    const std::optional<std::string> html = inlineReferences(*scripted, pagePath.parent_path());
    if (!html) return 1;
    if (html->find(kEndMarker) != std::string::npos) {
        std::fprintf(stderr, "embed_page: %s holds the end marker of the embedded string\n", argv[1]);
        return 1;
    }
    std::ostringstream source;
    source << "#include \"" << argv[2] << "\"\n\nnamespace ddd::app {\n\nstd::string_view " << argv[3] << "() {\n"
           << "    static constexpr const char kHtml[] = R\"DDDPAGE(" << *html << ")DDDPAGE\";\n"
           << "    return {kHtml, sizeof kHtml - 1};\n}\n\n}  // namespace ddd::app\n";
    const fs::path outPath = argv[4];
    if (readFile(outPath) == source.str()) return 0;
    fs::create_directories(outPath.parent_path());
    const fs::path temporary = outPath.string() + ".new";
    std::ofstream(temporary, std::ios::binary) << source.str();
    std::error_code error;
    fs::rename(temporary, outPath, error);
    if (error) {
        std::fprintf(stderr, "embed_page: %s: %s\n", argv[4], error.message().c_str());
        return 1;
    }
    return 0;
}
