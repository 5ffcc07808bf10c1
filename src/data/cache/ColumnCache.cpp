#include "data/cache/ColumnCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

namespace kurvex {

static_assert(std::endian::native == std::endian::little,
              "cache columns are little-endian doubles mapped as they are");

namespace {

constexpr char kMagic[8] = {'K', 'V', 'X', 'C', 'A', 'C', 'H', 'E'};
constexpr std::uint32_t kVersion = 3;
constexpr std::uint64_t kMaxHeader = 64ull << 20;
constexpr std::int64_t kMaxRows = std::int64_t(1) << 56;  // keeps byte counts from overflowing
constexpr char kHeader[] = "header";
constexpr char kUsed[] = "used";
constexpr long kExfatMagic = 0x2011BAB0;  // not in every linux/magic.h

std::uint64_t Fnv(const void* bytes, std::size_t n, std::uint64_t h = 0xcbf29ce484222325ull) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

std::string ValuesFile(std::size_t v, std::size_t r) {
    return "v" + std::to_string(v) + "r" + std::to_string(r) + ".f64";
}
std::string FlagsFile(std::size_t v, std::size_t r) {
    return "v" + std::to_string(v) + "r" + std::to_string(r) + ".bits";
}
std::string ExtraFile(const std::string& name) {
    return "x-" + name;
}

bool ValidExtraName(const std::string& name) {
    return !name.empty() && name.size() <= 200 && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name != "." && name != "..";
}

bool IsHash(const std::string& name) {
    return name.size() == 16 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// Every file of an entry but the header, in the order the header lists them, with its size.
std::vector<std::pair<std::string, std::uint64_t>> ExpectedFiles(const CacheLayout& layout) {
    std::vector<std::pair<std::string, std::uint64_t>> files;
    for (std::size_t v = 0; v < layout.names.size(); ++v)
        for (std::size_t r = 0; r < layout.rows.size(); ++r) {
            const auto rows = std::uint64_t(layout.rows[r]);
            files.emplace_back(ValuesFile(v, r), rows * 8);
            files.emplace_back(FlagsFile(v, r), (rows + 7) / 8);
        }
    return files;
}

// The bytes of the columns, or UINT64_MAX when a row count is out of range.
std::uint64_t ColumnBytes(const CacheLayout& layout) {
    std::uint64_t total = 0;
    for (const std::int64_t rows : layout.rows) {
        if (rows < 0 || rows > kMaxRows) return UINT64_MAX;
        const std::uint64_t one = std::uint64_t(rows) * 8 + (std::uint64_t(rows) + 7) / 8;
        if (!layout.names.empty() && one > (UINT64_MAX - total) / layout.names.size())
            return UINT64_MAX;
        total += one * layout.names.size();
    }
    return total;
}

std::string Megabytes(std::uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}

// FAT and exFAT keep no change time, and make inode numbers up at each mount.
bool CoarseFileSystem(int fd) {
    struct statfs vfs {};
    return ::fstatfs(fd, &vfs) == 0 &&
           (vfs.f_type == MSDOS_SUPER_MAGIC || vfs.f_type == kExfatMagic);
}

// A hash of the file's first and last blocks and of some evenly spaced between: a rewrite
// on such a file system that keeps size and time rarely keeps them all.
bool SampledBlocks(int fd, std::uint64_t size, std::uint64_t& hash) {
    constexpr std::uint64_t kBlock = 4096;
    constexpr int kBlocks = 8;
    hash = Fnv("", 0);
    std::vector<char> block(kBlock);
    const std::uint64_t last = size > kBlock ? size - kBlock : 0;
    for (int k = 0; k < kBlocks; ++k) {
        const std::uint64_t from =
            k == kBlocks - 1 ? last : last / (kBlocks - 1) * std::uint64_t(k) / kBlock * kBlock;
        const std::uint64_t want = std::min(kBlock, size - from);
        std::uint64_t got = 0;
        while (got < want) {
            const ssize_t n = ::pread(fd, block.data() + got, want - got, off_t(from + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            got += std::uint64_t(n);
        }
        hash = Fnv(block.data(), want, hash);
    }
    return true;
}

// The key lock of `hash` in the folder `dir`, taken now or not at all; -1 when not taken.
// The file is checked after locking because a holder removes it when done.
int LockKey(int dir, const std::string& hash) {
    const std::string name = hash + ".lock";
    for (;;) {
        const int fd = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return -1;
        int done;
        while ((done = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (done != 0) {
            ::close(fd);
            return -1;
        }
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 &&
            ::fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            return fd;
        ::close(fd);
    }
}

void UnlockKey(int dir, const std::string& hash, int fd) {
    ::unlinkat(dir, (hash + ".lock").c_str(), 0);
    ::close(fd);
}

// Writes all of `bytes` to `fd`; false with errno set.
bool WriteAll(int fd, const void* bytes, std::size_t count) {
    const auto* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n = ::write(fd, p, std::min<std::size_t>(count, 1u << 30));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        count -= std::size_t(n);
    }
    return true;
}

// A folder within `dir`, never through a link; -1 when it is not there.
int OpenDir(int dir, const std::string& name) {
    return ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The names in the folder `dir` but "." and "..".
std::vector<std::string> Names(int dir) {
    std::vector<std::string> names;
    // A descriptor of its own: a duplicate would share (and move) `dir`'s position.
    const int own = OpenDir(dir, ".");
    DIR* d = own >= 0 ? ::fdopendir(own) : nullptr;
    if (!d) {
        if (own >= 0) ::close(own);
        return names;
    }
    while (const dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

// Removes `name` in `dir` with all it holds, never following a link.
void RemoveTree(int dir, const std::string& name) {
    const int sub = OpenDir(dir, name);
    if (sub < 0) {
        ::unlinkat(dir, name.c_str(), 0);
        return;
    }
    for (const std::string& inner : Names(sub))
        if (::unlinkat(sub, inner.c_str(), 0) != 0 && (errno == EISDIR || errno == EPERM))
            RemoveTree(sub, inner);
    ::close(sub);
    ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
}

class HeaderOut {
public:
    void U32(std::uint32_t v) { Bytes(v, 4); }
    void U64(std::uint64_t v) { Bytes(v, 8); }
    void Str(const std::string& s) {
        U32(std::uint32_t(s.size()));
        b.append(s);
    }
    std::string b;

private:
    void Bytes(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(char((v >> (8 * i)) & 0xff));
    }
};

// Reads a header's fields without ever trusting a count beyond the bytes left.
class HeaderIn {
public:
    HeaderIn(const std::string& b, std::size_t end) : b_(b), end_(end) {}
    bool U32(std::uint32_t& v) {
        std::uint64_t w;
        if (!Bytes(w, 4)) return false;
        v = std::uint32_t(w);
        return true;
    }
    bool U64(std::uint64_t& v) { return Bytes(v, 8); }
    bool Str(std::string& s) {
        std::uint32_t n;
        if (!U32(n) || n > end_ - at_) return false;
        s.assign(b_, at_, n);
        at_ += n;
        return true;
    }
    // A count of items of at least `each` bytes that the rest could hold.
    bool Count(std::uint32_t& n, std::size_t each) { return U32(n) && n <= (end_ - at_) / each; }
    bool AtEnd() const { return at_ == end_; }

private:
    bool Bytes(std::uint64_t& v, int n) {
        if (end_ - at_ < std::size_t(n)) return false;
        v = 0;
        for (int i = 0; i < n; ++i) v |= std::uint64_t(std::uint8_t(b_[at_ + i])) << (8 * i);
        at_ += std::size_t(n);
        return true;
    }
    const std::string& b_;
    std::size_t end_;
    std::size_t at_ = 0;
};

std::string HeaderBytes(const CacheKey& key, const CacheLayout& layout,
                        const std::vector<std::pair<std::string, std::uint64_t>>& files) {
    HeaderOut h;
    h.b.append(kMagic, sizeof kMagic);
    h.U32(kVersion);
    h.Str(key.path);
    h.U64(key.size);
    h.U64(std::uint64_t(key.mtimeNs));
    h.U64(key.inode);
    h.U64(std::uint64_t(key.ctimeNs));
    h.U64(key.device);
    h.U64(key.sampled);
    h.Str(key.reading);
    h.U32(std::uint32_t(layout.names.size()));
    for (const auto& name : layout.names) h.Str(name);
    h.U32(std::uint32_t(layout.rows.size()));
    for (const std::int64_t rows : layout.rows) h.U64(std::uint64_t(rows));
    h.U32(std::uint32_t(layout.extras.size()));
    for (const auto& name : layout.extras) h.Str(name);
    h.U32(std::uint32_t(files.size()));
    for (const auto& [name, size] : files) {
        h.Str(name);
        h.U64(size);
    }
    h.U64(Fnv(h.b.data(), h.b.size()));
    return h.b;
}

// Reads the header of the entry in `dir`; false with `why` set when it is damaged.
bool ReadHeader(int dir, CacheKey& key, CacheLayout& layout,
                std::vector<std::pair<std::string, std::uint64_t>>& files, std::string& why) {
    const int fd = ::openat(dir, kHeader, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || std::uint64_t(st.st_size) > kMaxHeader ||
        st.st_size < 20) {
        if (fd >= 0) ::close(fd);
        why = "its header is missing or of a wrong size";
        return false;
    }
    std::string b(std::size_t(st.st_size), '\0');
    std::size_t got = 0;
    while (got < b.size()) {
        const ssize_t n = ::read(fd, b.data() + got, b.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += std::size_t(n);
    }
    ::close(fd);
    why = "its header is damaged";
    if (got != b.size()) return false;
    const std::size_t body = b.size() - 8;
    std::uint64_t stored = 0;
    const std::string sumBytes = b.substr(body);
    HeaderIn tail(sumBytes, 8);
    if (!tail.U64(stored) || stored != Fnv(b.data(), body)) return false;
    if (std::memcmp(b.data(), kMagic, sizeof kMagic) != 0) return false;
    const std::string rest = b.substr(sizeof kMagic, body - sizeof kMagic);
    HeaderIn in(rest, rest.size());
    std::uint32_t version, n;
    std::uint64_t mtime, ctime, rows;
    if (!in.U32(version) || version != kVersion) {
        why = "its format is not this program's";
        return false;
    }
    if (!in.Str(key.path) || !in.U64(key.size) || !in.U64(mtime) || !in.U64(key.inode) ||
        !in.U64(ctime) || !in.U64(key.device) || !in.U64(key.sampled) || !in.Str(key.reading))
        return false;
    key.mtimeNs = std::int64_t(mtime);
    key.ctimeNs = std::int64_t(ctime);
    if (!in.Count(n, 4)) return false;
    layout.names.resize(n);
    for (auto& name : layout.names)
        if (!in.Str(name)) return false;
    if (!in.Count(n, 8)) return false;
    layout.rows.resize(n);
    for (auto& r : layout.rows) {
        if (!in.U64(rows) || rows > std::uint64_t(kMaxRows)) return false;
        r = std::int64_t(rows);
    }
    if (!in.Count(n, 4)) return false;
    layout.extras.resize(n);
    for (auto& name : layout.extras)
        if (!in.Str(name) || !ValidExtraName(name)) return false;
    if (!in.Count(n, 12)) return false;
    files.resize(n);
    for (auto& [name, size] : files)
        if (!in.Str(name) || !in.U64(size)) return false;
    if (!in.AtEnd()) return false;
    // The column files must be exactly those the shape calls for.
    const auto expected = ExpectedFiles(layout);
    if (files.size() != expected.size() + layout.extras.size() ||
        !std::equal(expected.begin(), expected.end(), files.begin()))
        return false;
    for (std::size_t i = 0; i < layout.extras.size(); ++i)
        if (files[expected.size() + i].first != ExtraFile(layout.extras[i])) return false;
    return true;
}

std::int64_t MtimeNs(int dir, const char* name) {
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
    return std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The bytes of the files in the folder `name` of `dir`.
std::uint64_t FolderBytes(int dir, const std::string& name) {
    std::uint64_t total = 0;
    const int sub = OpenDir(dir, name);
    if (sub < 0) return 0;
    for (const std::string& inner : Names(sub)) {
        struct stat st {};
        if (::fstatat(sub, inner.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            total += std::uint64_t(st.st_size);
    }
    ::close(sub);
    return total;
}

std::vector<CacheListing> ListIn(int folder) {
    std::vector<CacheListing> entries;
    for (const std::string& name : Names(folder)) {
        if (!IsHash(name)) continue;
        const int dir = OpenDir(folder, name);
        if (dir < 0) continue;
        CacheListing e;
        e.hash = name;
        CacheKey key;
        CacheLayout layout;
        std::vector<std::pair<std::string, std::uint64_t>> files;
        std::string why;
        if (ReadHeader(dir, key, layout, files, why)) e.source = key.path;
        e.bytes = FolderBytes(folder, name);
        e.lastUseNs = MtimeNs(dir, kUsed);
        if (!e.lastUseNs) e.lastUseNs = MtimeNs(dir, ".");
        ::close(dir);
        entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.lastUseNs != b.lastUseNs ? a.lastUseNs < b.lastUseNs : a.hash < b.hash;
    });
    return entries;
}

// The temporary folders of every writer, at work or killed: names and the hashes they are of.
std::vector<std::pair<std::string, std::string>> Unfinished(int folder) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string& name : Names(folder)) {
        const std::string hash = name.substr(0, 16);
        if (name.size() > 21 && name.compare(16, 5, ".tmp-") == 0 && IsHash(hash))
            found.emplace_back(name, hash);
    }
    return found;
}

// The folders a writer of `hash` leaves while it works.
std::vector<std::string> TempFolders(int folder, const std::string& hash) {
    std::vector<std::string> found;
    for (const auto& [name, of] : Unfinished(folder))
        if (of == hash) found.push_back(name);
    return found;
}

// Removes what killed writers left, then evicts the least recently used entries (never
// `keep`, never one being written) until the cache, with the writers' unfinished folders,
// holds at most `limit` bytes.
void EvictIn(int folder, std::uint64_t limit, const std::string& keep) {
    std::uint64_t total = 0;
    // A temporary folder whose key lock is free is a killed writer's; one held grows still.
    for (const auto& [name, hash] : Unfinished(folder)) {
        const int lock = LockKey(folder, hash);
        if (lock < 0) {
            total += FolderBytes(folder, name);
            continue;
        }
        RemoveTree(folder, name);
        UnlockKey(folder, hash, lock);
    }
    const std::vector<CacheListing> entries = ListIn(folder);
    for (const auto& e : entries) total += e.bytes;
    for (const auto& e : entries) {
        if (total <= limit) break;
        if (e.hash == keep) continue;
        const int lock = LockKey(folder, e.hash);
        if (lock < 0) continue;
        RemoveTree(folder, e.hash);
        UnlockKey(folder, e.hash, lock);
        total -= e.bytes;
    }
}

// A name for a writer's temporary folder of `hash` not yet taken in `folder`, made there.
bool MakeTemp(int folder, const std::string& hash, std::string& name) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = hash + ".tmp-";
        for (int i = 0; i < 6; ++i) name += kChars[random() % (sizeof kChars - 1)];
        if (::mkdirat(folder, name.c_str(), 0700) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

}  // namespace

std::string CacheKey::Hash() const {
    std::uint64_t h = Fnv(path.data(), path.size());
    h = Fnv("", 1, h);
    h = Fnv(reading.data(), reading.size(), h);
    h = Fnv("", 1, h);
    for (const std::uint64_t field :
         {size, std::uint64_t(mtimeNs), inode, std::uint64_t(ctimeNs), device, sampled}) {
        std::uint8_t le[8];
        for (int i = 0; i < 8; ++i) le[i] = std::uint8_t(field >> (8 * i));
        h = Fnv(le, sizeof le, h);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

bool FileStateOf(int fd, CacheKey& key) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    key.size = std::uint64_t(st.st_size);
    key.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    key.ctimeNs = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    key.inode = std::uint64_t(st.st_ino);
    key.device = std::uint64_t(st.st_dev);
    key.sampled = 0;
    return !CoarseFileSystem(fd) || SampledBlocks(fd, key.size, key.sampled);
}

bool KeyOf(const std::string& source, CacheKey& key, std::string& error,
           const std::string& reading) {
    char* canonical = ::realpath(source.c_str(), nullptr);
    // The state is taken from the file opened, the one a reader then reads.
    const int fd = canonical ? ::open(canonical, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (fd < 0 || !FileStateOf(fd, key)) {
        error = "Cannot read " + source + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        std::free(canonical);
        return false;
    }
    ::close(fd);
    key.path = canonical;
    std::free(canonical);
    key.reading = reading;
    return true;
}

namespace {

// The cache folder, resolved once (a user's own link to a larger disk is followed) and
// checked: ours, and writable by no one else, in a parent no one else can rename it in.
// Every later step is taken relative to it, so that no one can make the path lead
// elsewhere meanwhile. -1 with `error` set when it is refused.
int OpenCacheFolder(std::string& folder, std::string& error) {
    std::string base;
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            error = "Cannot use a cache folder: neither XDG_CACHE_HOME nor HOME is set";
            return -1;
        }
        base = std::string(home) + "/.cache";
    }
    folder = base + "/kurvex";
    // Folders made here are the user's alone, as the base directory specification asks.
    for (std::size_t at = base.find('/', 1); at != std::string::npos; at = base.find('/', at + 1))
        ::mkdir(base.substr(0, at).c_str(), 0700);
    ::mkdir(base.c_str(), 0700);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "Cannot make the cache folder " + folder + ": " + std::strerror(errno);
        return -1;
    }
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        folder = real;
        std::free(real);
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {
    }, up{};
    const int parent = fd >= 0 ? OpenDir(fd, "..") : -1;
    const char* why = nullptr;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode))
        why = "it is not a folder";
    else if (st.st_uid != ::geteuid())
        why = "it belongs to another user";
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        why = "others can write to it";
    else if (::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        why = "it is not writable";
    else if (parent < 0 || ::fstat(parent, &up) != 0)
        why = "its parent folder cannot be read";
    else if ((up.st_mode & (S_IWGRP | S_IWOTH)) && !(up.st_mode & S_ISVTX))
        why = "others can write to the folder it is in";
    if (parent >= 0) ::close(parent);
    if (why) {
        if (fd >= 0) ::close(fd);
        error = "Cannot use the cache folder " + folder + ": " + why;
        return -1;
    }
    return fd;
}

// The cache folder's descriptor for as long as this lives.
struct OpenFolder {
    OpenFolder(std::string& error) : fd(OpenCacheFolder(path, error)) {}
    ~OpenFolder() {
        if (fd >= 0) ::close(fd);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    std::string path;
    const int fd;
};

std::shared_ptr<const CacheEntry> NoEntry(CacheEntry::Status& status, CacheEntry::Status why) {
    status = why;
    return nullptr;
}

}  // namespace

int OpenCacheFolderFd(std::string& folder, std::string& error) {
    return OpenCacheFolder(folder, error);
}

bool CacheFolder(std::string& folder, std::string& error) {
    const OpenFolder open(error);
    folder = open.path;
    return open.fd >= 0;
}

std::uint64_t DefaultCacheLimit(const std::string& folder) {
    struct statvfs vfs {};
    if (::statvfs(folder.c_str(), &vfs) != 0) return 0;
    return std::uint64_t(vfs.f_bavail) * vfs.f_frsize / 5;
}

CacheWriter::~CacheWriter() {
    Abort();
    if (folderFd_ >= 0) ::close(folderFd_);
}

void CacheWriter::Release() {
    if (lock_ >= 0) UnlockKey(folderFd_, key_.Hash(), lock_);
    lock_ = -1;
}

void CacheWriter::Abort() {
    if (tempFd_ >= 0) ::close(tempFd_);
    tempFd_ = -1;
    if (!temp_.empty()) RemoveTree(folderFd_, temp_);
    temp_.clear();
    Release();
}

bool CacheWriter::Fail(const std::string& what, int err) {
    Abort();
    error_ = "Cannot write the cache entry of " + key_.path + ": " + what;
    if (err == ENOSPC || err == EDQUOT)
        error_ += ": the disk is full";
    else if (err)
        error_ += std::string(": ") + std::strerror(err);
    return false;
}

bool CacheWriter::WaitForKey(const std::string& hash, const CacheWait& wait) {
    using Clock = std::chrono::steady_clock;
    std::uint64_t seen = 0;
    auto grew = Clock::now();
    for (;;) {
        lock_ = LockKey(folderFd_, hash);
        if (lock_ >= 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return Fail("cannot lock " + hash + ".lock", errno);
        // The holder is at work for as long as its temporary folder grows.
        std::uint64_t bytes = 0;
        for (const std::string& temp : TempFolders(folderFd_, hash))
            bytes += FolderBytes(folderFd_, temp);
        if (bytes != seen) grew = Clock::now();
        seen = bytes;
        const bool stalled = Clock::now() - grew >= wait.stall;
        if (wait.waiting && !wait.waiting(bytes, stalled)) {
            error_ = "Gave up waiting for another conversion of " + key_.path;
            gaveUp_ = true;
            return false;
        }
        std::this_thread::sleep_for(wait.step);
    }
}

bool CacheWriter::Begin(const CacheKey& key, const CacheLayout& layout, std::uint64_t limit,
                        const CacheWait& wait) {
    Abort();
    finished_ = false;
    gaveUp_ = false;
    key_ = key;
    layout_ = layout;
    limit_ = limit;
    if (folderFd_ >= 0) ::close(folderFd_);
    folderFd_ = OpenCacheFolder(folder_, error_);
    if (folderFd_ < 0) return false;
    for (std::size_t i = 0; i < layout.extras.size(); ++i)
        if (!ValidExtraName(layout.extras[i]) ||
            std::count(layout.extras.begin(), layout.extras.end(), layout.extras[i]) != 1)
            return Fail("bad extra file name \"" + layout.extras[i] + "\"", 0);
    const std::uint64_t bytes = ColumnBytes(layout);
    if (bytes > limit) {
        error_ = "The cache entry of " + key.path + " (" +
                 (bytes == UINT64_MAX ? std::string("too many rows") : Megabytes(bytes)) +
                 ") would not fit in the cache's limit of " + Megabytes(limit);
        return false;
    }
    const std::string hash = key.Hash();
    if (!WaitForKey(hash, wait)) return false;
    final_ = hash;
    struct stat st {};
    if (::fstatat(folderFd_, hash.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        CacheEntry::Status status;
        std::string why;
        if (CacheEntry::OpenIn(folderFd_, key, status, why)) {
            finished_ = true;
            Release();
            return true;
        }
        RemoveTree(folderFd_, hash);  // another key of the same hash, or damaged
    }
    // With the lock held, a temporary folder of this key is what a killed writer left.
    for (const auto& stale : TempFolders(folderFd_, hash)) RemoveTree(folderFd_, stale);
    EvictIn(folderFd_, limit - bytes, hash);
    std::string name;
    if (!MakeTemp(folderFd_, hash, name)) return Fail("cannot make a folder in " + folder_, errno);
    temp_ = name;
    tempFd_ = OpenDir(folderFd_, temp_);
    if (tempFd_ < 0) return Fail("cannot open " + folder_ + "/" + temp_, errno);
    columns_.assign(layout.names.size() * layout.rows.size(), Column{});
    extraWritten_.assign(layout.extras.size(), false);
    return true;
}

bool CacheWriter::AppendBytes(const std::string& file, const void* bytes, std::size_t count) {
    const std::string path = folder_ + "/" + temp_ + "/" + file;
    const int fd = ::openat(tempFd_, file.c_str(),
                            O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return Fail("cannot write " + path, errno);
    const bool ok = WriteAll(fd, bytes, count);
    const int err = errno;
    // The disk starts on it now rather than all at once in Commit's flush.
    if (ok && count > 0) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (::close(fd) != 0 || !ok) return Fail("cannot write " + path, ok ? errno : err);
    return true;
}

bool CacheWriter::Append(std::int32_t v, std::int32_t r, const double* values, const bool* valid,
                         std::size_t count) {
    if (temp_.empty()) return Fail("no entry begun", 0);
    if (v < 0 || std::size_t(v) >= layout_.names.size() || r < 0 ||
        std::size_t(r) >= layout_.rows.size())
        return Fail("no variable " + std::to_string(v) + " in run " + std::to_string(r), 0);
    Column& c = columns_[std::size_t(v) * layout_.rows.size() + std::size_t(r)];
    if (count > std::uint64_t(layout_.rows[std::size_t(r)] - c.written))
        return Fail("more samples than rows for " + layout_.names[std::size_t(v)], 0);
    if (!AppendBytes(ValuesFile(std::size_t(v), std::size_t(r)), values, count * 8)) return false;
    std::vector<std::uint8_t> full;
    full.reserve(count / 8 + 1);
    std::uint8_t byte = c.pendingBits;
    int bit = int(c.written % 8);
    for (std::size_t i = 0; i < count; ++i) {
        if (!valid || valid[i]) byte |= std::uint8_t(1u << bit);
        if (++bit == 8) {
            full.push_back(byte);
            byte = 0;
            bit = 0;
        }
    }
    c.pendingBits = byte;
    c.written += std::int64_t(count);
    return AppendBytes(FlagsFile(std::size_t(v), std::size_t(r)), full.data(), full.size());
}

std::string CacheWriter::PartialValues(std::int32_t v, std::int32_t r) const {
    return temp_.empty() ? std::string()
                         : folder_ + "/" + temp_ + "/" + ValuesFile(std::size_t(v), std::size_t(r));
}
std::string CacheWriter::PartialFlags(std::int32_t v, std::int32_t r) const {
    return temp_.empty() ? std::string()
                         : folder_ + "/" + temp_ + "/" + FlagsFile(std::size_t(v), std::size_t(r));
}

bool CacheWriter::WriteExtra(const std::string& name, const void* bytes, std::size_t count) {
    if (temp_.empty()) return Fail("no entry begun", 0);
    const auto at = std::find(layout_.extras.begin(), layout_.extras.end(), name);
    if (at == layout_.extras.end()) return Fail("no extra file \"" + name + "\" named", 0);
    ::unlinkat(tempFd_, ExtraFile(name).c_str(), 0);  // written whole: a second write replaces
    extraWritten_[std::size_t(at - layout_.extras.begin())] = true;
    return AppendBytes(ExtraFile(name), bytes, count);
}

bool CacheWriter::WriteExtraAt(const std::string& name, std::int64_t offset, const void* bytes,
                               std::size_t count) {
    if (temp_.empty()) return Fail("no entry begun", 0);
    const auto at = std::find(layout_.extras.begin(), layout_.extras.end(), name);
    if (at == layout_.extras.end() || !extraWritten_[std::size_t(at - layout_.extras.begin())])
        return Fail("the extra file \"" + name + "\" was not begun", 0);
    const std::string path = temp_ + "/" + ExtraFile(name);
    const int fd = ::openat(tempFd_, ExtraFile(name).c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Fail("cannot write " + path, errno);
    const auto* p = static_cast<const char*>(bytes);
    bool ok = offset >= 0;
    while (ok && count > 0) {
        const ssize_t n = ::pwrite(fd, p, count, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        ok = n > 0;
        if (ok) {
            p += n;
            offset += n;
            count -= std::size_t(n);
        }
    }
    const int err = errno;
    if (::close(fd) != 0 || !ok) return Fail("cannot write " + path, ok ? errno : err);
    return true;
}

bool CacheWriter::Commit() {
    if (temp_.empty()) return Fail("no entry begun", 0);
    auto files = ExpectedFiles(layout_);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const std::size_t r = i % layout_.rows.size();
        if (columns_[i].written != layout_.rows[r])
            return Fail(layout_.names[i / layout_.rows.size()] + " in run " +
                            std::to_string(r + 1) + " is incomplete",
                        0);
        const std::size_t partial = columns_[i].written % 8 ? 1 : 0;
        if (!AppendBytes(files[2 * i].first, nullptr, 0) ||
            !AppendBytes(files[2 * i + 1].first, &columns_[i].pendingBits, partial))
            return false;
    }
    const std::string temp = folder_ + "/" + temp_;
    for (std::size_t i = 0; i < layout_.extras.size(); ++i) {
        if (!extraWritten_[i])
            return Fail("the extra file " + layout_.extras[i] + " is missing", 0);
        struct stat st {};
        const std::string name = ExtraFile(layout_.extras[i]);
        if (::fstatat(tempFd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Fail("cannot read " + temp + "/" + name, errno);
        files.emplace_back(name, std::uint64_t(st.st_size));
    }
    const std::string header = HeaderBytes(key_, layout_, files);
    if (!AppendBytes(kHeader, header.data(), header.size()) || !AppendBytes(kUsed, nullptr, 0))
        return false;
    std::uint64_t total = header.size();
    files.emplace_back(kHeader, 0);
    for (const auto& [name, size] : files) {
        total += size;
        const int fd = ::openat(tempFd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            const int err = errno;
            if (fd >= 0) ::close(fd);
            return Fail("cannot flush " + temp + "/" + name, err);
        }
        ::close(fd);
    }
    if (total > limit_)
        return Fail("it (" + Megabytes(total) + ") would not fit in the cache's limit of " +
                        Megabytes(limit_),
                    0);
    if (::fsync(tempFd_) != 0 ||
        ::renameat(folderFd_, temp_.c_str(), folderFd_, final_.c_str()) != 0)
        return Fail("cannot move it into place as " + folder_ + "/" + final_, errno);
    ::close(tempFd_);
    tempFd_ = -1;
    temp_.clear();
    ::fsync(folderFd_);
    EvictIn(folderFd_, limit_, final_);
    Release();
    return true;
}

CacheEntry::~CacheEntry() {
    for (const auto* maps : {&values_, &flags_, &extras_})
        for (const Map& m : *maps)
            if (m.base) ::munmap(m.base, m.size);
}

std::shared_ptr<const CacheEntry> CacheEntry::Open(const CacheKey& key, Status& status,
                                                   std::string& error) {
    const OpenFolder folder(error);
    if (folder.fd < 0) return NoEntry(status, Status::Refused);
    return OpenIn(folder.fd, key, status, error);
}

std::shared_ptr<const CacheEntry> CacheEntry::OpenIn(int folder, const CacheKey& key,
                                                     Status& status, std::string& error) {
    const std::string hash = key.Hash();
    const int dir = OpenDir(folder, hash);
    if (dir < 0) return NoEntry(status, Status::Missing);
    std::shared_ptr<CacheEntry> entry(new CacheEntry);
    std::vector<std::pair<std::string, std::uint64_t>> files;
    std::string why;
    bool ok = ReadHeader(dir, entry->key_, entry->layout_, files, why);
    if (ok && entry->key_ != key) {  // another source of the same hash
        ::close(dir);
        return NoEntry(status, Status::Missing);
    }
    const std::size_t columns = entry->layout_.names.size() * entry->layout_.rows.size();
    for (std::size_t i = 0; ok && i < files.size(); ++i) {
        const int fd = ::openat(dir, files[i].first.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        Map m;
        m.size = std::size_t(files[i].second);
        if (fd < 0 || ::fstat(fd, &st) != 0 || std::uint64_t(st.st_size) != files[i].second) {
            why = files[i].first + " is missing or of a wrong size";
            ok = false;
        } else if (m.size > 0) {
            // Samples are mapped copy-on-write: a data set over them hands out writable
            // arrays, and a write there costs a private page but never changes the file.
            // Unreserved, or a column larger than memory would be refused up front.
            const bool samples = i < 2 * columns && i % 2 == 0;
            m.base = samples ? ::mmap(nullptr, m.size, PROT_READ | PROT_WRITE,
                                      MAP_PRIVATE | MAP_NORESERVE, fd, 0)
                             : ::mmap(nullptr, m.size, PROT_READ, MAP_SHARED, fd, 0);
            if (m.base == MAP_FAILED) {
                m.base = nullptr;
                why = "cannot map " + files[i].first + ": " + std::strerror(errno);
                ok = false;
            }
        }
        if (fd >= 0) ::close(fd);
        auto& maps = i >= 2 * columns ? entry->extras_ : i % 2 ? entry->flags_ : entry->values_;
        maps.push_back(m);
    }
    if (!ok) {
        struct stat st {};
        const bool there = ::fstatat(folder, hash.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        ::close(dir);
        if (!there) return NoEntry(status, Status::Missing);  // evicted while we looked
        error = "The cache entry of " + key.path + " was damaged (" + why + ") and is removed";
        RemoveTree(folder, hash);
        return NoEntry(status, Status::Damaged);
    }
    const int used = ::openat(dir, kUsed, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (used >= 0) {
        ::futimens(used, nullptr);
        ::close(used);
    }
    ::close(dir);
    status = Status::Found;
    return entry;
}

const double* CacheEntry::Values(std::int32_t v, std::int32_t r) const {
    return static_cast<const double*>(
        values_[std::size_t(v) * layout_.rows.size() + std::size_t(r)].base);
}

const std::uint8_t* CacheEntry::Flags(std::int32_t v, std::int32_t r) const {
    return static_cast<const std::uint8_t*>(
        flags_[std::size_t(v) * layout_.rows.size() + std::size_t(r)].base);
}

const std::uint8_t* CacheEntry::Extra(const std::string& name, std::size_t& size) const {
    const auto at = std::find(layout_.extras.begin(), layout_.extras.end(), name);
    size = 0;
    if (at == layout_.extras.end()) return nullptr;
    const Map& m = extras_[std::size_t(at - layout_.extras.begin())];
    size = m.size;
    return static_cast<const std::uint8_t*>(m.base);
}

bool ListCache(std::vector<CacheListing>& entries, std::string& error, CachePartial* partial) {
    const OpenFolder folder(error);
    if (folder.fd < 0) return false;
    entries = ListIn(folder.fd);
    if (partial) {
        *partial = {};
        for (const auto& [name, hash] : Unfinished(folder.fd)) {
            ++partial->count;
            partial->bytes += FolderBytes(folder.fd, name);
        }
    }
    return true;
}

bool ClearCache(std::size_t& removed, std::uint64_t& bytes, std::string& error) {
    removed = 0;
    bytes = 0;
    const OpenFolder folder(error);
    if (folder.fd < 0) return false;
    for (const CacheListing& e : ListIn(folder.fd)) {
        const int lock = LockKey(folder.fd, e.hash);
        if (lock < 0) continue;  // being written (or read for a rewrite) by another
        RemoveTree(folder.fd, e.hash);
        for (const auto& temp : TempFolders(folder.fd, e.hash)) RemoveTree(folder.fd, temp);
        UnlockKey(folder.fd, e.hash, lock);
        ++removed;
        bytes += e.bytes;
    }
    // What killed writers left, an entry never finished.
    for (const auto& [name, hash] : Unfinished(folder.fd)) {
        const int lock = LockKey(folder.fd, hash);
        if (lock < 0) continue;
        bytes += FolderBytes(folder.fd, name);
        RemoveTree(folder.fd, name);
        UnlockKey(folder.fd, hash, lock);
    }
    return true;
}

}  // namespace kurvex
