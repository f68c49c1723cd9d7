// The test stack of a live card read: a private pcscd with the virtual reader, an emulated
// driver card in it, and a private temporary directory that receives "card.ddd".
#pragma once

#include "tools/card_emulator/emulated_card.h"
#include "tools/card_emulator/virtual_reader_service.h"
#include "tools/generator/card_generator.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ddd::test {

using namespace std::chrono_literals;

// A temporary directory of the test's own, set as TMPDIR so that the reader saves inside it.
class PrivateTempDir {
public:
    PrivateTempDir() {
        path_ = emu::privateServiceFolder() / ("tmp-" + std::to_string(++count_));
        std::filesystem::create_directories(path_);
        if (const char* previous = ::getenv("TMPDIR")) previous_ = previous;
        ::setenv("TMPDIR", path_.c_str(), 1);
    }
    // The tests after this one find their temporary folder where it was.
    ~PrivateTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        if (previous_) {
            ::setenv("TMPDIR", previous_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    const std::filesystem::path& path() const { return path_; }

    // Folders the reader left behind.
    std::vector<std::filesystem::path> entries() const {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) found.push_back(entry.path());
        return found;
    }

private:
    std::optional<std::string> previous_;
    static inline int count_ = 0;
    std::filesystem::path path_;
};

// pcscd with the virtual reader and, when given, an emulated card inserted and seen by the service.
class CardStack {
public:
    explicit CardStack(std::optional<emu::CardImage> image, emu::CardBehaviour behaviour = {},
                       emu::VirtualReaderService::Readers readers = emu::VirtualReaderService::Readers::VirtualReader)
        : service_(std::make_unique<emu::VirtualReaderService>(readers)) {
        if (!image) return;
        card_ = std::make_unique<emu::EmulatedCard>(std::move(*image), behaviour);
        if (!card_->insert(service_->cardPort(), 5s) || !service_->waitForCard(true, 5s)) {
            throw std::runtime_error("the emulated card did not reach the service: " + service_->log());
        }
    }

    emu::VirtualReaderService& service() { return *service_; }
    emu::EmulatedCard& card() { return *card_; }

private:
    std::unique_ptr<emu::VirtualReaderService> service_;
    std::unique_ptr<emu::EmulatedCard> card_;
};

inline emu::CardImage imageOf(const gen::CardDescription& description) {
    return emu::cardImageFromDownload(gen::writeCardDownload(description));
}

} // namespace ddd::test
