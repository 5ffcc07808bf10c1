#include "data/platform/SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

#include "data/platform/NumberText.h"

namespace kurvex {
namespace {

constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr size_t kRandomChars = 6;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// `path` with every symbolic link of its last part followed, also when the
// file it finally names does not exist yet; empty after too many links.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string to(size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
        if (n < 0 || size_t(n) >= to.size()) return path;  // changed under us: replace the link
        to.resize(size_t(n));
        path = to.front() == '/' ? to : FolderOf(path) + "/" + to;
    }
    errno = ELOOP;
    return {};
}

bool IsOurTempName(const char* name) {
    const char* mark = std::strstr(name, SafeFile::kTempMark);
    if (!mark || mark == name) return false;
    const char* tail = mark + std::strlen(SafeFile::kTempMark);
    if (std::strlen(tail) != kRandomChars) return false;
    for (const char* c = tail; *c; ++c)
        if (!std::strchr(kNameChars, *c)) return false;
    return true;
}

// Creates a new file beside `target` under a fresh name of ours. The mode
// 0666 lets the kernel apply the umask: reading the umask would mean setting it,
// which is not safe while saves run on worker threads.
int CreateTemp(const std::string& target, std::string& name) {
    static std::atomic<unsigned> counter{0};
    std::random_device seed;
    std::mt19937_64 random(seed() ^ (std::uint64_t(::getpid()) << 32) ^ counter++);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + SafeFile::kTempMark;
        for (size_t i = 0; i < kRandomChars; ++i)
            name += kNameChars[random() % (sizeof kNameChars - 1)];
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot
    ::close(fd);
    return synced;
}

}  // namespace

void RemoveStaleSaves(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsOurTempName(entry->d_name)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
        if (now - st.st_mtime <= SafeFile::kStaleSeconds) continue;  // may be a save running now
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

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
    target_ = FollowLinks(path);
    const auto fail = [&](int err) {
        error_ = Format("Cannot create \"%s\": %s.", path.c_str(), std::strerror(err));
        return false;
    };
    if (target_.empty()) return fail(errno);
    struct stat old {};
    const bool replacing = ::stat(target_.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) return fail(EISDIR);
    RemoveStaleSaves(FolderOf(target_));
    std::string name;
    const int fd = CreateTemp(target_, name);
    if (fd < 0) return fail(errno);
    temp_ = name;
    if (replacing) {
        // The group first: changing it may clear set-id bits that the mode then restores.
        if (::fchown(fd, uid_t(-1), old.st_gid) != 0) {
            // Not a member of that group: the new file keeps ours.
        }
        ::fchmod(fd, old.st_mode & 07777);
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        const int err = errno;
        ::close(fd);
        Abandon();
        return fail(err);
    }
    static const size_t kBuffer = 1 << 20;
    std::setvbuf(file_, nullptr, _IOFBF, kBuffer);
    return true;
}

bool SafeFile::Commit() {
    if (!file_) return false;
    // On disk before the rename, so that a power loss leaves the old file or the new one whole.
    bool written = std::fflush(file_) == 0 && !std::ferror(file_) && ::fsync(::fileno(file_)) == 0;
    int err = errno;
    const bool closed = std::fclose(file_) == 0;
    if (written && !closed) err = errno;
    file_ = nullptr;
    if (!written || !closed) {
        error_ = Format("Cannot write \"%s\": %s.", path_.c_str(), std::strerror(err));
        Abandon();
        return false;
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        error_ = Format("Cannot write \"%s\": %s.", path_.c_str(), std::strerror(errno));
        Abandon();
        return false;
    }
    temp_.clear();
    // The rename itself is only durable once the folder is.
    SyncFolder(FolderOf(target_));
    return true;
}

}  // namespace kurvex
