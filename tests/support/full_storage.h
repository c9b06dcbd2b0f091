// A folder whose storage runs out, for the tests of writes that must fail cleanly.
#pragma once

#include <sys/mount.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tembrel::test {

// Mounts a small tmpfs on an existing empty folder where the process may mount one;
// fill() then takes all its room, so the next write there fails with ENOSPC as on a
// full disk. Where mounting is refused, fill() sets a file-size limit instead (writes
// past it fail with EFBIG) for as long as this lives.
class FullStorage {
  public:
    explicit FullStorage(const std::string& folder) : folder_(folder) {
        mounted_ = mount("tembrel-test", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                         "size=512k,mode=0755") == 0;
    }
    ~FullStorage() {
        if (limited_) {
            setrlimit(RLIMIT_FSIZE, &saved_);
            std::signal(SIGXFSZ, previousHandler_);
        }
        if (mounted_)
            umount2(folder_.c_str(), MNT_DETACH);
    }
    FullStorage(const FullStorage&) = delete;
    FullStorage& operator=(const FullStorage&) = delete;

    void fill() {
        if (mounted_) {
            std::ofstream filler(folder_ + "/filler", std::ios::binary);
            const std::vector<char> block(4096, 'x');
            while (filler.write(block.data(), std::streamsize(block.size())))
                filler.flush();
            return;
        }
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = 256;
        limited_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    // The names fill() added to the folder.
    std::vector<std::string> fillerNames() const {
        return mounted_ ? std::vector<std::string>{"filler"} : std::vector<std::string>{};
    }

  private:
    std::string folder_;
    bool mounted_ = false;
    bool limited_ = false;
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

}  // namespace tembrel::test
