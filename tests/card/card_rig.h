// The test stack of a live card read: a private pcscd with the virtual reader, an emulated
// driver card in it, and a private temporary directory that receives "card.ddd".
#pragma once
#include "tools/card_emulator/emulated_card.h"
#include "tools/card_emulator/virtual_reader_service.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

#include <stdlib.h>

#include <memory>
#include <optional>
#include <string>

namespace ddd::test {

using namespace std::chrono_literals;

// A temporary folder of the test's own, set as TMPDIR so that the reader saves inside it (the
// service's folder is made outside it first); the tests after this one find theirs where it was.
class PrivateTempDir : public TempFolder {
public:
    PrivateTempDir() {
        emu::privateServiceFolder();
        if (const char* previous = ::getenv("TMPDIR")) previous_ = previous;
        ::setenv("TMPDIR", path().c_str(), 1);
    }
    ~PrivateTempDir() { previous_ ? ::setenv("TMPDIR", previous_->c_str(), 1) : ::unsetenv("TMPDIR"); }

private:
    std::optional<std::string> previous_;
};

// pcscd with the virtual reader and, when given, an emulated card inserted and seen by the service.
class CardStack {
public:
    explicit CardStack(std::optional<emu::CardImage> image, emu::CardBehaviour behaviour = {},
                       emu::VirtualReaderService::Readers readers = emu::VirtualReaderService::Readers::VirtualReader)
        : service_(std::make_unique<emu::VirtualReaderService>(readers)) {
        if (!image) return;
        card_ = std::make_unique<emu::EmulatedCard>(std::move(*image), behaviour);
        if (!card_->insert(service_->cardPort(), std::chrono::seconds(5)) || !service_->waitForCard(true, std::chrono::seconds(5))) {
            throw std::runtime_error("the emulated card did not reach the service: " + service_->log());
        }
    }

private:
    std::unique_ptr<emu::VirtualReaderService> service_;
    std::unique_ptr<emu::EmulatedCard> card_;
};

inline emu::CardImage imageOf(const gen::CardDescription& description) {
    return emu::cardImageFromDownload(gen::writeCardDownload(description));
}

} // namespace ddd::test
