#include "card/service_call_bound.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <string>

namespace ddd {
namespace {

// Where pcsc-lite's client connects: its documented variable, else the Debian default.
std::string serviceSocketPath() {
    const char* configured = ::getenv("PCSCLITE_CSOCK_NAME");
    return configured != nullptr && configured[0] != '\0' ? configured : "/run/pcscd/pcscd.comm";
}

// Open descriptors of this process connected to the smart-card service.
std::set<std::pair<int, unsigned long>> serviceConnections() {
    std::set<std::pair<int, unsigned long>> found;
    const std::string path = serviceSocketPath();
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (descriptors == nullptr) return found;
    while (const dirent* entry = ::readdir(descriptors)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(descriptors)) continue;
        struct stat info {};
        if (::fstat(static_cast<int>(fd), &info) != 0 || !S_ISSOCK(info.st_mode)) continue;
        sockaddr_un peer{};
        socklen_t size = sizeof peer;
        if (::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &size) != 0) continue;
        if (peer.sun_family != AF_UNIX || size <= offsetof(sockaddr_un, sun_path)) continue;
        if (std::strncmp(peer.sun_path, path.c_str(), sizeof peer.sun_path) == 0) {
            found.emplace(static_cast<int>(fd), static_cast<unsigned long>(info.st_ino));
        }
    }
    ::closedir(descriptors);
    return found;
}

} // namespace

ServiceCallBound::ServiceCallBound(std::chrono::milliseconds limit)
    : limit_(limit), connectionsBefore_(serviceConnections()), watcher_([this] { watch(); }) {}

ServiceCallBound::~ServiceCallBound() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    watcher_.join();
}

bool ServiceCallBound::expired() const {
    std::lock_guard lock(mutex_);
    return expired_;
}

void ServiceCallBound::arm() {
    {
        std::lock_guard lock(mutex_);
        deadline_ = std::chrono::steady_clock::now() + limit_;
    }
    wake_.notify_all();
}

void ServiceCallBound::disarm() {
    std::lock_guard lock(mutex_);
    deadline_.reset();
}

void ServiceCallBound::watch() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!deadline_) {
            wake_.wait(lock);
            continue;
        }
        const auto deadline = *deadline_;
        if (wake_.wait_until(lock, deadline) == std::cv_status::timeout && deadline_ == deadline) {
            expired_ = true;
            deadline_.reset();
            cutConnections();
        }
    }
}

void ServiceCallBound::cutConnections() {
    for (const auto& connection : serviceConnections()) {
        if (!connectionsBefore_.contains(connection)) ::shutdown(connection.first, SHUT_RDWR);
    }
}

} // namespace ddd
