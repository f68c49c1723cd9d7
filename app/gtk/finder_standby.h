// A finder kept ready for the dashboard: a second process (`--finder --standby`) with its window
// hidden, its page loaded and the kept index read, handed the user's request over a socket so
// that its window shows at once. The dashboard keeps one such process at most and never shares
// its own with the finder.
#pragma once

#include <glib.h>

#include <functional>
#include <string>

namespace ddd::app {

// The lines on the socket between the dashboard and a standby finder. The finder says it is
// ready, and, once handed a request, that its window is shown; the dashboard's request carries the
// startup-notification id (may be empty) and the folder to scan (may be empty), tab-separated.
inline constexpr const char* kStandbyReady = "ready";
inline constexpr const char* kStandbyShown = "shown";
inline constexpr const char* kStandbyRequest = "open";

// Splits off the next whole line of `pending` (without its newline); false while none is complete.
bool takeLine(std::string& pending, std::string& line);

// Appends what is waiting on `fd` to `pending`; false at end of file or on an error.
bool readAvailable(int fd, std::string& pending);

// Writes the line and its newline; false when the peer is gone (never a SIGPIPE).
bool sendLine(int fd, const std::string& line);

// The dashboard's side.
class FinderStandby {
public:
    explicit FinderStandby(std::string exePath) : exePath_(std::move(exePath)) {}
    // Closes the socket: a finder still in standby ends, one handed a request lives on.
    ~FinderStandby();
    FinderStandby(const FinderStandby&) = delete;
    FinderStandby& operator=(const FinderStandby&) = delete;

    // Starts a standby finder when there is none and a kept archive index exists (the user has
    // used the finder before).
    void prepare();
    // Hands the request to a ready standby finder; false when there is none ready (the caller
    // starts a finder the ordinary way).
    bool handOver(const std::string& scanFolder, const std::string& startupId);
    bool ready() const { return state_ == State::Ready; }
    // Runs with the scan folder and startup id when a finder dies after being handed a request but
    // before showing its window, so that the request is not lost.
    void onLost(std::function<void(const std::string&, const std::string&)> fallback) { lost_ = std::move(fallback); }

private:
    enum class State { None, Starting, Ready, HandingOver, HandedOver };
    static gboolean onSocket(gint fd, GIOCondition condition, gpointer self);
    void ended();
    void close();

    std::string exePath_;
    State state_ = State::None;
    int fd_ = -1;
    guint watch_ = 0;
    std::string pending_;
    std::string handedFolder_;
    std::string handedStartupId_;
    std::function<void(const std::string&, const std::string&)> lost_;
};

}  // namespace ddd::app
