// While one lives, this process writes no file beyond `bytes` (EFBIG, as on a full disk): how a
// test that runs as root, who may write into any folder, makes a save fail.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace tarvell::test {

struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, SIG_IGN);  // a write beyond it fails instead of ending the process
        const rlimit limit{bytes, before.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &before); }
    rlimit before{};
};

}  // namespace tarvell::test
