#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kurvex {

// What identifies one state of a source file read one way: a changed file, or one read
// otherwise, gets a new entry.
struct CacheKey {
    std::string path;  // canonical
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
    // A rewrite that keeps size and modification time (cp -p, rsync -t) still moves these.
    std::int64_t ctimeNs = 0;
    std::uint64_t device = 0;
    // Where change times and inode numbers say little (FAT, exFAT): a hash of some of the
    // file's blocks; 0 elsewhere.
    std::uint64_t sampled = 0;
    // How the entry is made from the file: the converter, its version and every read
    // option that changes what the entry holds.
    std::string reading;

    bool operator==(const CacheKey&) const = default;
    // The entry's folder name: 16 hex digits of a hash of the fields.
    std::string Hash() const;
};

// The key of `source` as it is now, read as `reading` says; false with `error` set when it
// cannot be read.
bool KeyOf(const std::string& source, CacheKey& key, std::string& error,
           const std::string& reading = {});
// Fills the fields of `key` that follow the file's state from `fd`, the file open for
// reading; false when it cannot be told.
bool FileStateOf(int fd, CacheKey& key);

// The cache folder ($XDG_CACHE_HOME/kurvex or ~/.cache/kurvex, links resolved), made
// owner-only when new; false with `error` set when it cannot be made, is not ours, is
// writable by others or lies in a folder others can write to (unless sticky).
bool CacheFolder(std::string& folder, std::string& error);

// The cache folder opened once, after the checks CacheFolder makes: a descriptor the caller
// closes, so that every later step is taken relative to it; -1 with `error` set when refused.
int OpenCacheFolderFd(std::string& folder, std::string& error);

// The default size limit: a fifth of the free space where `folder` lives (0 when unknown).
std::uint64_t DefaultCacheLimit(const std::string& folder);

// The shape of an entry: variables by runs of columns, and named extra files.
struct CacheLayout {
    std::vector<std::string> names;  // one per variable
    std::vector<std::int64_t> rows;  // one per run
    std::vector<std::string> extras;
};

// How a writer waits for another that holds the same key.
struct CacheWait {
    std::chrono::milliseconds step{100};
    // The holder is taken for stopped when its folder has not grown for this long.
    std::chrono::milliseconds stall{10000};
    // Called at each step with the bytes the holder has written and whether it seems
    // stopped; false gives up, and Begin fails with GaveUp(). None: waits as long as it takes.
    std::function<bool(std::uint64_t written, bool stalled)> waiting;
};

// Writes one entry beside its final name and moves it into place only when complete,
// so that an entry seen in the cache is always whole; without Commit() it leaves nothing.
class CacheWriter {
public:
    CacheWriter() = default;
    ~CacheWriter();
    CacheWriter(const CacheWriter&) = delete;
    CacheWriter& operator=(const CacheWriter&) = delete;

    // Starts the entry of `key`, first waiting for another writer of the same key as `wait`
    // says. False with Error() set when the folder is refused, the entry would not fit in
    // `limit` bytes or the wait was given up; true with Finished() when the entry was
    // already there (nothing to write).
    bool Begin(const CacheKey& key, const CacheLayout& layout, std::uint64_t limit,
               const CacheWait& wait = {});
    bool GaveUp() const { return gaveUp_; }
    // True when Begin() found a valid entry, which CacheEntry::Open now gives.
    bool Finished() const { return finished_; }
    // Appends samples of variable `v` in run `r`; `valid` may be null (all valid).
    bool Append(std::int32_t v, std::int32_t r, const double* values, const bool* valid,
                std::size_t count);
    // Writes the whole of the extra file `name`, one the layout names.
    bool WriteExtra(const std::string& name, const void* bytes, std::size_t count);
    // Writes `count` bytes at `offset` of the extra file `name` that WriteExtra
    // began, for a file put down in pieces in any order.
    bool WriteExtraAt(const std::string& name, std::int64_t offset, const void* bytes,
                      std::size_t count);
    // Writes the header, flushes everything to disk and moves the entry into place.
    bool Commit();
    // Removes the partial entry.
    void Abort();
    const std::string& Error() const { return error_; }
    // Where the samples and the validity bits of variable `v` in run `r` are being
    // written (empty before Begin): what has been appended can be read while the rest is.
    std::string PartialValues(std::int32_t v, std::int32_t r) const;
    std::string PartialFlags(std::int32_t v, std::int32_t r) const;

private:
    struct Column {
        std::int64_t written = 0;
        std::uint8_t pendingBits = 0;  // flags of a byte not yet full
    };
    bool Fail(const std::string& what, int err);
    bool AppendBytes(const std::string& file, const void* bytes, std::size_t count);
    bool WaitForKey(const std::string& hash, const CacheWait& wait);
    void Release();

    CacheKey key_;
    CacheLayout layout_;
    std::vector<Column> columns_;  // variable-major
    std::vector<bool> extraWritten_;
    std::string folder_;        // the path, for messages and readers of the partial files
    std::string temp_, final_;  // names within the folder
    int folderFd_ = -1, tempFd_ = -1;
    std::uint64_t limit_ = 0;
    int lock_ = -1;
    bool finished_ = false, gaveUp_ = false;
    std::string error_;
};

// A complete entry with its columns mapped (samples copy-on-write, so that a write never
// reaches the file; the rest read-only); unmapped when the last holder lets go.
class CacheEntry {
public:
    enum class Status { Found, Missing, Damaged, Refused };

    ~CacheEntry();
    CacheEntry(const CacheEntry&) = delete;
    CacheEntry& operator=(const CacheEntry&) = delete;

    // The entry of `key`, or null with `status` saying why; a damaged entry is removed
    // (`error` says what was wrong) so that the caller can build it again.
    static std::shared_ptr<const CacheEntry> Open(const CacheKey& key, Status& status,
                                                  std::string& error);

    const CacheKey& Key() const { return key_; }
    const CacheLayout& Layout() const { return layout_; }
    // The samples of variable `v` in run `r` (Layout().rows[r] of them; null when none).
    const double* Values(std::int32_t v, std::int32_t r) const;
    // The validity bits of variable `v` in run `r`, sample i in bit i % 8 of byte i / 8.
    const std::uint8_t* Flags(std::int32_t v, std::int32_t r) const;
    bool Valid(std::int32_t v, std::int32_t r, std::int64_t i) const {
        return (Flags(v, r)[i >> 3] >> (i & 7)) & 1;
    }
    // The bytes of an extra file (null when empty or not named by the layout).
    const std::uint8_t* Extra(const std::string& name, std::size_t& size) const;

private:
    friend class CacheWriter;
    struct Map {
        void* base = nullptr;
        std::size_t size = 0;
    };
    CacheEntry() = default;
    // Open, in the cache folder open as `folder`.
    static std::shared_ptr<const CacheEntry> OpenIn(int folder, const CacheKey& key, Status& status,
                                                    std::string& error);

    CacheKey key_;
    CacheLayout layout_;
    std::vector<Map> values_, flags_, extras_;
};

// One entry as the cache folder holds it.
struct CacheListing {
    std::string hash;
    std::string source;  // empty when the header cannot be read
    std::uint64_t bytes = 0;
    std::int64_t lastUseNs = 0;
};

// What writers left unfinished (killed, or still at work): temporary folders.
struct CachePartial {
    std::size_t count = 0;
    std::uint64_t bytes = 0;
};

// The entries of the cache, least recently used first, and what is unfinished; false with
// `error` set when the folder is refused.
bool ListCache(std::vector<CacheListing>& entries, std::string& error,
               CachePartial* partial = nullptr);

// Removes every entry not being written by another process (and what aborted writers left);
// the number and bytes removed. False with `error` set when the folder is refused.
bool ClearCache(std::size_t& removed, std::uint64_t& bytes, std::string& error);

}  // namespace kurvex
