#pragma once
// A file size limit for the life of the object, standing in for a full disk:
// no file this process writes grows past `bytes` (a write past it fails with
// EFBIG instead of raising SIGXFSZ, which is ignored meanwhile).

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        struct sigaction ignore { };
        ignore.sa_handler = SIG_IGN;
        EXPECT_EQ(::sigaction(SIGXFSZ, &ignore, &previousAction_), 0);
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &previousLimit_), 0);
        rlimit limit = previousLimit_;
        limit.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previousLimit_);
        ::sigaction(SIGXFSZ, &previousAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct sigaction previousAction_ { };
    rlimit previousLimit_{};
};
