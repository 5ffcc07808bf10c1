#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kurvex {

// Runs a library that trusts the files it reads in a child process, under
// limits on memory and time, and talks with it over a socket: a damaged file
// that makes the library crash, abort or loop takes only the child with it.
// The child is forked, not started anew, so the locks the parent's other
// threads held stay taken in it: it keeps to the reading library and raw
// writes on its socket, and ends with _exit.
class ChildReader {
public:
    struct Limits {
        // Address space the child may take beyond the parent's; 0: no limit
        // (as under AddressSanitizer, whose shadow memory it would break).
        std::uint64_t memory = 0;
        int cpuSeconds = 600;
        // The longest the parent waits for the child's next byte.
        int silentSeconds = 30;
    };

    ChildReader() = default;
    ChildReader(const ChildReader&) = delete;
    ChildReader& operator=(const ChildReader&) = delete;
    ~ChildReader();

    // Forks the child, which runs `serve` with its end of the socket, then ends.
    bool Start(const std::function<void(int fd)>& serve, const Limits& limits);

    // The parent's side: false once the child is gone or silent, and
    // Failure() then says what became of it ("crashed (Segmentation fault)").
    bool Send(const void* data, size_t size);
    bool Receive(void* data, size_t size);
    const std::string& Failure() const { return failure_; }

    // The child's side: whole writes and reads, false once the parent is gone.
    static bool Put(int fd, const void* data, size_t size);
    static bool Get(int fd, void* data, size_t size);

private:
    bool Fail(bool silent);
    void Stop();

    pid_t pid_ = -1;
    int fd_ = -1;
    Limits limits_;
    std::string failure_;
};

}  // namespace kurvex
