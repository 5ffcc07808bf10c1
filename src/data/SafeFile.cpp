#include "data/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "data/NumberText.h"

namespace kurvex {

SafeFile::~SafeFile() {
    Abandon();
}

void SafeFile::Abandon() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool SafeFile::Open(const std::string& path) {
    Abandon();
    path_ = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error_ = Format("Cannot create \"%s\": %s.", path.c_str(), std::strerror(EISDIR));
        return false;
    }
    std::string pattern = path + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error_ = Format("Cannot create \"%s\": %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    // mkstemp makes the file private; a saved result gets the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    temp_ = name.data();
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        error_ = Format("Cannot create \"%s\": %s.", path.c_str(), std::strerror(errno));
        ::close(fd);
        Abandon();
        return false;
    }
    static const size_t kBuffer = 1 << 20;
    std::setvbuf(file_, nullptr, _IOFBF, kBuffer);
    return true;
}

bool SafeFile::Commit() {
    if (!file_) return false;
    const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
    const int err = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) {
        error_ =
            Format("Cannot write \"%s\": %s.", path_.c_str(), std::strerror(written ? errno : err));
        Abandon();
        return false;
    }
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        error_ = Format("Cannot write \"%s\": %s.", path_.c_str(), std::strerror(errno));
        Abandon();
        return false;
    }
    temp_.clear();
    return true;
}

}  // namespace kurvex
