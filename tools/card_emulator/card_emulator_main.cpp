// ddd-card-emulator: puts the content of a card download into the virtual reader as an emulated
// driver card, for trying the card reader by hand against a pcscd with vsmartcard's reader.
// Usage: ddd-card-emulator [--port N] FILE.ddd   (port of the virtual reader, default 35963)

#include "tools/card_emulator/emulated_card.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

int usage() {
    std::fputs("usage: ddd-card-emulator [--port N] FILE.ddd\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    long port = 35963;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--port" && i + 1 < argc) {
            port = std::strtol(argv[++i], nullptr, 10);
        } else if (path.empty() && argument.rfind("--", 0) != 0) {
            path = argument;
        } else {
            return usage();
        }
    }
    if (path.empty() || port <= 0 || port > 65535) return usage();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> download{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    try {
        ddd::emu::EmulatedCard card(ddd::emu::cardImageFromDownload(download));
        if (!card.insert(static_cast<std::uint16_t>(port), std::chrono::seconds(10))) {
            std::fprintf(stderr, "no virtual reader listens on port %ld\n", port);
            return 1;
        }
        std::signal(SIGINT, requestStop);
        std::signal(SIGTERM, requestStop);
        std::fprintf(stderr, "card inserted; Ctrl-C pulls it\n");
        while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::fprintf(stderr, "%d commands answered\n", card.commandCount());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
