#include "app/gtk/finder_standby.h"

#include <glib-unix.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "app/shell_host.h"
#include "finder/archive_index.h"

namespace ddd::app {

bool takeLine(std::string& pending, std::string& line) {
    const std::size_t end = pending.find('\n');
    if (end == std::string::npos) return false;
    line = pending.substr(0, end);
    pending.erase(0, end + 1);
    return true;
}

bool readAvailable(int fd, std::string& pending) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            pending.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

bool sendLine(int fd, const std::string& line) {
    const std::string text = line + "\n";
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t wrote = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        sent += static_cast<std::size_t>(wrote);
    }
    return true;
}

FinderStandby::~FinderStandby() { close(); }

void FinderStandby::close() {
    if (watch_) g_source_remove(watch_);
    watch_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pending_.clear();
}

void FinderStandby::prepare() {
    if (state_ != State::None) return;
    std::error_code ignored;
    if (!std::filesystem::exists(finder::defaultArchiveIndexPath(), ignored)) return;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
    gchar* argv[] = {const_cast<gchar*>(exePath_.c_str()), const_cast<gchar*>("--finder"), const_cast<gchar*>("--standby"), nullptr};
    GError* error = nullptr;
    // Without a pid to reap: the finder outlives the dashboard once handed a request, and its end
    // shows as the end of the socket.
    const bool spawned = g_spawn_async_with_fds(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, ends[1], -1, -1, &error);
    ::close(ends[1]);
    if (!spawned) {
        diagLog(std::string("finder standby not started: ") + (error && error->message ? error->message : "unknown error"));
        if (error) g_error_free(error);
        ::close(ends[0]);
        return;
    }
    fd_ = ends[0];
    state_ = State::Starting;
    watch_ = g_unix_fd_add(fd_, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), &FinderStandby::onSocket, this);
}

bool FinderStandby::handOver(const std::string& scanFolder, const std::string& startupId) {
    // A folder that would break the line goes the ordinary way.
    if (state_ != State::Ready || scanFolder.find('\n') != std::string::npos || startupId.find_first_of("\t\n") != std::string::npos) {
        return false;
    }
    if (!sendLine(fd_, std::string(kStandbyRequest) + "\t" + startupId + "\t" + scanFolder)) {
        close();
        state_ = State::None;
        return false;
    }
    state_ = State::HandingOver;
    handedFolder_ = scanFolder;
    handedStartupId_ = startupId;
    return true;
}

gboolean FinderStandby::onSocket(gint, GIOCondition, gpointer self) {
    auto* standby = static_cast<FinderStandby*>(self);
    const bool open = readAvailable(standby->fd_, standby->pending_);
    for (std::string line; takeLine(standby->pending_, line);) {
        if (line == kStandbyReady && standby->state_ == State::Starting) standby->state_ = State::Ready;
        if (line == kStandbyShown && standby->state_ == State::HandingOver) standby->state_ = State::HandedOver;
    }
    if (open) return G_SOURCE_CONTINUE;
    standby->watch_ = 0;
    standby->ended();
    return G_SOURCE_REMOVE;
}

// The finder's process has ended (or closed its end).
void FinderStandby::ended() {
    const State was = state_;
    close();
    state_ = State::None;
    if (was == State::HandingOver) {
        diagLog("finder ended before showing its window");
        if (lost_) lost_(handedFolder_, handedStartupId_);
    } else if (was == State::HandedOver) {
        // The user has closed the finder: the next one is made ready. While one is open there is
        // no second, which would double the memory for a second click that rarely comes.
        prepare();
    } else {
        diagLog("finder standby ended");
    }
}

}  // namespace ddd::app
