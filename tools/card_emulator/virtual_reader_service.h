// A private smart-card service for tests and benchmarks: pcscd in the foreground on a socket
// and reader configuration of its own, with the virtual reader of vsmartcard (vpcd) on a free
// local port pair, so that neither a system pcscd nor a parallel test interferes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace ddd::emu {

// The folder of this process's services and the service socket inside it. pcsc-lite reads the
// socket path from PCSCLITE_CSOCK_NAME once per process, so every service of the process uses
// the same path; call this before the first smart-card call of the process.
const std::filesystem::path& privateServiceFolder();

class VirtualReaderService {
public:
    enum class Readers { VirtualReader, None };

    // Starts pcscd with the virtual reader (or with no reader at all); throws std::runtime_error
    // when the service does not come up within a few seconds.
    explicit VirtualReaderService(Readers readers = Readers::VirtualReader);
    ~VirtualReaderService(); // stops pcscd and removes its socket
    VirtualReaderService(const VirtualReaderService&) = delete;
    VirtualReaderService& operator=(const VirtualReaderService&) = delete;

    // The port an emulated card connects to, and the name the service gives that reader.
    std::uint16_t cardPort() const { return port_; }
    static std::string readerName() { return "Virtual PCD 00 00"; }

    // Waits until the service sees a card in the reader (or sees it gone). False on timeout.
    bool waitForCard(bool present, std::chrono::milliseconds timeout) const;

    // The daemon's own log, for the message of a failing test.
    std::string log() const;

private:
    void stop();

    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
    std::filesystem::path folder_;
};

} // namespace ddd::emu
