// ddd-gen: writes driver-card downloads for tests and the demo from a seed, the built-in demo
// driver or a plain-text description.

#include "tools/generator/card_generator.h"
#include "tools/generator/description_text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

const char* const kUsage = R"(usage: ddd-gen demo OUT.ddd
       ddd-gen random SEED DAYS gen1|gen2|both|v2 OUT.ddd
       ddd-gen describe DESCRIPTION.txt OUT.ddd
       ddd-gen --help

Writes a driver-card download (.ddd): the bundled demo driver, a random but plausible
history (identical for identical arguments; v2: a second-version card with border crossings
and load operations), or a card given by a description file.
)";

int usageError(const std::string& message) {
    std::cerr << "ddd-gen: " << message << "\n" << kUsage;
    return 1;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "ddd-gen: cannot write " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    return true;
}

bool parseUnsigned(const std::string& text, unsigned long long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    try {
        value = std::stoull(text);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

int run(int argc, char** argv) {
    using namespace ddd::gen;
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        std::cout << kUsage << "\n" << kDescriptionFormatHelp;
        return 0;
    }
    if (command == "demo" && argc == 3) return writeFile(argv[2], writeCardDownload(demoCard())) ? 0 : 1;
    if (command == "random" && argc == 6) {
        unsigned long long seed = 0;
        unsigned long long days = 0;
        if (!parseUnsigned(argv[2], seed)) return usageError("SEED must be a number");
        if (!parseUnsigned(argv[3], days) || days < 1 || days > 3650) return usageError("DAYS must be 1 to 3650");
        const std::string g = argv[4];
        Generation generation = Generation::Gen1;
        if (g == "gen2") generation = Generation::Gen2;
        else if (g == "both" || g == "v2") generation = Generation::Both;
        else if (g != "gen1") return usageError("generation must be gen1, gen2, both or v2");
        auto card = randomCard(seed, static_cast<int>(days), generation);
        if (g == "v2") addSecondVersionRecords(card, static_cast<int>(days) * 3, static_cast<int>(days) * 4);
        return writeFile(argv[5], writeCardDownload(card)) ? 0 : 1;
    }
    if (command == "describe" && argc == 4) {
        std::ifstream in(argv[2], std::ios::binary);
        if (!in) {
            std::cerr << "ddd-gen: cannot read " << argv[2] << "\n";
            return 1;
        }
        std::stringstream text;
        text << in.rdbuf();
        try {
            return writeFile(argv[3], writeCardDownload(parseDescription(text.str()))) ? 0 : 1;
        } catch (const DescriptionError& e) {
            std::cerr << argv[2] << ":" << e.line() << ": " << e.message() << "\n";
            return 1;
        }
    }
    return usageError(command.empty() ? "no command" : "bad arguments for \"" + command + "\"");
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "ddd-gen: " << e.what() << "\n";
        return 1;
    }
}
