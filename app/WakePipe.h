#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace pm {

// How another thread tells the window's thread that something waits for
// it: a byte through a pipe whose read end a QSocketNotifier watches.
// Nothing crosses it but the wake-up; what waits is handed over under the
// sender's mutex, where ThreadSanitizer sees it (it cannot see Qt's own
// locks behind posted events).
class WakePipe {
public:
    WakePipe() {
        if (::pipe2(fd_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category());
    }
    ~WakePipe() {
        ::close(fd_[0]);
        ::close(fd_[1]);
    }
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    int readFd() const { return fd_[0]; }
    // From any thread. A full pipe already holds a wake-up.
    void wake() const {
        const char b = 1;
        [[maybe_unused]] const ssize_t w = ::write(fd_[1], &b, 1);
    }
    // On the watching thread, before it looks at what waits.
    void drain() const {
        char buf[64];
        while (::read(fd_[0], buf, sizeof buf) > 0) {
        }
    }

private:
    int fd_[2] = {-1, -1};
};

}  // namespace pm
