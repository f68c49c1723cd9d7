// ddd-archive-index: brings the kept archive index up to the downloads under the given folders,
// as the finder does in the background, from a shell or a scheduled job. With -v it tells each
// file it reaches; it always tells each stored transaction and the outcome.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "finder/archive_index.h"

int main(int argc, char** argv) {
    std::string file = ddd::finder::defaultArchiveIndexPath();
    bool verbose = false;
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-v") == 0) {
            verbose = true;
        } else if (std::strcmp(argv[i], "--index") == 0 && i + 1 < argc) {
            file = argv[++i];
        } else {
            folders.emplace_back(argv[i]);
        }
    }
    if (folders.empty()) {
        std::fprintf(stderr, "usage: ddd-archive-index [-v] [--index FILE] FOLDER...\n");
        return 1;
    }
    try {
        ddd::finder::ArchiveIndex index(file);
        if (!index.notice().empty()) std::fprintf(stderr, "%s\n", index.notice().c_str());
        const auto counts = index.rescan(
            folders,
            [&](long done, long total) {
                if (verbose) std::printf("Datei %ld von %ld\n", done, total), std::fflush(stdout);
                return true;
            },
            nullptr, [](long stored) { std::printf("gespeichert: %ld\n", stored), std::fflush(stdout); });
        std::printf("fertig: %ld Dateien, %ld gelesen, %ld neu, %ld verschwunden\n", counts.files, counts.read, counts.decoded, counts.vanished);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ddd-archive-index: %s\n", e.what());
        return 1;
    }
}
