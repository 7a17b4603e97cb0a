#pragma once

// A full disk without root: while one of these lives, this process cannot make a file longer
// than `bytes` (writes beyond fail with EFBIG, as on a file system that has run out of room),
// and the signal that would otherwise end the process is ignored.

#include <csignal>
#include <sys/resource.h>

namespace testutil {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        previousSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = previous_;
        limited.rlim_cur = bytes;
        active_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return active_; }

  private:
    struct rlimit previous_ {};
    void (*previousSignal_)(int) = SIG_DFL;
    bool active_ = false;
};

} // namespace testutil
