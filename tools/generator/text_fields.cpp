// Code-paged text fields: names (code page + 35 bytes), registrations (nation + code page +
// 13 bytes) and plain padded ASCII fields (card and licence numbers, VINs).
// The text is converted with glibc's iconv rather than with tables of our own, so the
// decoder's code-page tables are checked against an independent implementation.

#include "tools/generator/card_files.h"
#include "tools/generator/card_generator.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <string>

namespace ddd::gen {
namespace {

// Charset name of a code-page byte; bytes without a table of their own read as ISO 8859-1.
std::string charsetOf(std::uint8_t codePage) {
    if (codePage == 80) return "KOI8-R";
    if (codePage == 85) return "KOI8-U";
    if (codePage >= 1 && codePage <= 16 && codePage != 12) return "ISO-8859-" + std::to_string(codePage);
    return "ISO-8859-1";
}

std::vector<std::uint8_t> convert(const std::string& utf8, std::uint8_t codePage) {
    const std::string charset = charsetOf(codePage);
    iconv_t cd = iconv_open(charset.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::invalid_argument("iconv cannot convert to " + charset);
    std::string in = utf8;
    std::vector<char> out(in.size() * 4 + 4);
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || rc != 0) {
        // rc > 0 counts irreversible (approximated) conversions, which would hide a bad table.
        throw std::invalid_argument("text \"" + utf8 + "\" cannot be written in " + charset);
    }
    return {reinterpret_cast<std::uint8_t*>(out.data()), reinterpret_cast<std::uint8_t*>(outPtr)};
}

} // namespace

std::vector<std::uint8_t> encodeText(const Text& text, std::size_t width) {
    std::vector<std::uint8_t> bytes = text.raw ? *text.raw : convert(text.utf8, text.codePage);
    if (bytes.size() > width) {
        throw std::invalid_argument("text \"" + text.utf8 + "\" needs " + std::to_string(bytes.size()) +
                                    " bytes, the field holds " + std::to_string(width));
    }
    bytes.resize(width, 0x20);
    return bytes;
}

void writeName(ByteWriter& w, const Text& text) {
    w.u8(text.codePage);
    w.bytes(encodeText(text, 35));
}

void writeRegistration(ByteWriter& w, const Registration& reg) {
    w.u8(reg.nation);
    w.u8(reg.plate.codePage);
    w.bytes(encodeText(reg.plate, 13));
}

void writePadded(ByteWriter& w, const std::string& ascii, std::size_t width, std::uint8_t pad) {
    if (ascii.size() > width) {
        throw std::invalid_argument("\"" + ascii + "\" is longer than its field of " + std::to_string(width));
    }
    w.bytes(std::span(reinterpret_cast<const std::uint8_t*>(ascii.data()), ascii.size()));
    w.fill(pad, width - ascii.size());
}

} // namespace ddd::gen
