// pcscd is started by socket activation: the service socket is created and bound here and
// handed over as descriptor 3 with LISTEN_FDS/LISTEN_PID, the way systemd does it. pcscd then
// neither creates nor removes the system socket, and the client library finds ours through
// PCSCLITE_CSOCK_NAME.

#include "tools/card_emulator/virtual_reader_service.h"

#include <winscard.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace ddd::emu {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path makeServiceFolder() {
    std::string pattern = (fs::temp_directory_path() / "ddd-pcscd-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create the service folder");
    const fs::path folder = pattern;
    ::setenv("PCSCLITE_CSOCK_NAME", (folder / "pcscd.comm").c_str(), 1);
    return folder;
}

// Removes the service folder when the process ends normally.
struct ServiceFolder {
    fs::path path = makeServiceFolder();
    ~ServiceFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

bool portFree(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool free = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

// vpcd listens on the configured port for its first slot and on the next one for its second.
std::uint16_t freePortPair() {
    for (int attempt = 0; attempt < 64; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), size);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(fd);
        const std::uint16_t port = ntohs(address.sin_port);
        if (port != 0 && port < 65535 && portFree(port) && portFree(static_cast<std::uint16_t>(port + 1))) return port;
    }
    throw std::runtime_error("no free port pair for the virtual reader");
}

int listeningSocket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot bind the service socket " + path.string());
    }
    return fd;
}

// Decimal digits of a number into a buffer, usable between fork and exec.
void formatNumber(char* out, long value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0) *out++ = digits[--n];
    *out = '\0';
}

} // namespace

const fs::path& privateServiceFolder() {
    static const ServiceFolder folder;
    return folder.path;
}

VirtualReaderService::VirtualReaderService(Readers readers) {
    const fs::path& base = privateServiceFolder();
    const fs::path socketPath = base / "pcscd.comm";
    folder_ = base / ("service-" + std::to_string(::getpid()) + "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    const fs::path config = folder_ / "reader.conf.d";
    fs::create_directories(config);
    if (readers == Readers::VirtualReader) {
        port_ = freePortPair();
        std::ofstream entry(config / "vpcd");
        entry << "FRIENDLYNAME \"Virtual PCD\"\n"
              << "DEVICENAME   /dev/null:" << port_ << "\n"
              << "LIBPATH      /usr/lib/pcsc/drivers/serial/libifdvpcd.so\n"
              << "CHANNELID    " << port_ << "\n";
    }
    std::error_code ignored;
    fs::remove(socketPath, ignored);
    const int listener = listeningSocket(socketPath);
    const int logFd = ::open((folder_ / "pcscd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

    // Everything exec needs is prepared before fork: the child may only make async-signal-safe calls.
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "LISTEN_", 7) != 0) environment.emplace_back(*variable);
    }
    environment.emplace_back("LISTEN_FDS=1");
    char listenPid[40] = "LISTEN_PID=";
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(listenPid);
    envp.push_back(nullptr);
    std::string configArgument = config.string();
    char program[] = "/usr/sbin/pcscd";
    char foreground[] = "--foreground";
    char configOption[] = "--config";
    char* argv[] = {program, foreground, configOption, configArgument.data(), nullptr};

    pid_ = ::fork();
    if (pid_ == 0) {
        // A test process that is killed takes its service with it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        formatNumber(listenPid + std::strlen("LISTEN_PID="), static_cast<long>(::getpid()));
        ::dup2(listener, 3);
        ::fcntl(3, F_SETFD, 0);
        if (logFd >= 0) {
            ::dup2(logFd, 1);
            ::dup2(logFd, 2);
        }
        ::execve(program, argv, envp.data());
        ::_exit(127);
    }
    ::close(listener);
    if (logFd >= 0) ::close(logFd);
    if (pid_ < 0) throw std::runtime_error("cannot start pcscd");

    // Ready when a client gets a context and, with the virtual reader, sees it.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (;;) {
        SCARDCONTEXT context = 0;
        bool ready = false;
        if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) == SCARD_S_SUCCESS) {
            DWORD size = 0;
            const LONG rv = SCardListReaders(context, nullptr, nullptr, &size);
            ready = readers == Readers::None || (rv == SCARD_S_SUCCESS && size > 1);
            SCardReleaseContext(context);
        }
        if (ready) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            const std::string message = "pcscd did not come up: " + log();
            stop();
            throw std::runtime_error(message);
        }
        std::this_thread::sleep_for(20ms);
    }
}

VirtualReaderService::~VirtualReaderService() { stop(); }

void VirtualReaderService::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
    }
    std::error_code ignored;
    fs::remove(privateServiceFolder() / "pcscd.comm", ignored);
    fs::remove_all(folder_, ignored);
}

bool VirtualReaderService::waitForCard(bool present, std::chrono::milliseconds timeout) const {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) return false;
    const std::string reader = readerName();
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool reached = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        const LONG rv = SCardGetStatusChange(context, static_cast<DWORD>(left.count()), &state, 1);
        if (rv != SCARD_S_SUCCESS) break;
        reached = ((state.dwEventState & SCARD_STATE_PRESENT) != 0) == present;
        if (reached) break;
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
    }
    SCardReleaseContext(context);
    return reached;
}

std::string VirtualReaderService::log() const {
    std::ifstream in(folder_ / "pcscd.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace ddd::emu
