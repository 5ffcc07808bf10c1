#include "data/platform/ChildReader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data/platform/NumberText.h"

#if defined(__SANITIZE_ADDRESS__)
#define KURVEX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KURVEX_ADDRESS_SANITIZER 1
#endif
#endif

namespace kurvex {

namespace {

// The address space the process has mapped: the child starts with all of it.
std::uint64_t MappedBytes() {
    unsigned long long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

void CloseFrom(int first) {
    if (close_range(static_cast<unsigned>(first), ~0U, 0) == 0) return;
    long last = sysconf(_SC_OPEN_MAX);
    if (last < 0 || last > (1 << 16)) last = 1 << 16;
    for (int fd = first; fd < last; ++fd) close(fd);
}

pid_t Reap(pid_t pid, int& status) {
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    return r;
}

// Only async-signal-safe calls until `serve`: the parent's other threads may
// have held any lock when it forked.
[[noreturn]] void BecomeChild(int mine, int theirs, std::uint64_t space, int cpuSeconds,
                              const std::function<void(int)>& serve) {
    if (theirs != 3) close(theirs);
    if (mine != 3) dup2(mine, 3);
    CloseFrom(4);
    // The libraries' own complaints about a damaged file are no news.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0 && null != 2) {
        dup2(null, 2);
        close(null);
    }
    // Handlers the parent set (a crash reporter, a fuzzer's) are not the child's.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    for (const int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGSYS, SIGTRAP, SIGXCPU,
                          SIGPIPE, SIGALRM, SIGTERM, SIGINT})
        sigaction(sig, &plain, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const rlimit cpu{static_cast<rlim_t>(cpuSeconds), static_cast<rlim_t>(cpuSeconds) + 5};
    setrlimit(RLIMIT_CPU, &cpu);
    if (space) {
        const rlimit as{space, space};
        setrlimit(RLIMIT_AS, &as);
    }
    serve(3);
    _exit(0);
}

}  // namespace

ChildReader::~ChildReader() {
    Stop();
}

bool ChildReader::Start(const std::function<void(int)>& serve, const Limits& limits) {
    Stop();
    limits_ = limits;
    failure_.clear();
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        failure_ = Format("could not be started (%s)", std::strerror(errno));
        return false;
    }
    std::uint64_t memory = limits.memory;
#ifdef KURVEX_ADDRESS_SANITIZER
    memory = 0;
#endif
    const std::uint64_t space = memory ? MappedBytes() + memory : 0;
    const pid_t pid = fork();
    if (pid == 0) BecomeChild(sv[1], sv[0], space, limits.cpuSeconds, serve);
    close(sv[1]);
    if (pid < 0) {
        failure_ = Format("could not be started (%s)", std::strerror(errno));
        close(sv[0]);
        return false;
    }
    pid_ = pid;
    fd_ = sv[0];
    return true;
}

bool ChildReader::Send(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0 && fd_ >= 0) {
        const ssize_t n = send(fd_, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(false);
        p += n;
        size -= static_cast<size_t>(n);
    }
    return fd_ >= 0;
}

bool ChildReader::Receive(void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0 && fd_ >= 0) {
        pollfd ready{fd_, POLLIN, 0};
        const int r = poll(&ready, 1, limits_.silentSeconds * 1000);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) return Fail(true);
        const ssize_t n = r < 0 ? -1 : recv(fd_, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(false);
        p += n;
        size -= static_cast<size_t>(n);
    }
    return fd_ >= 0;
}

bool ChildReader::Put(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ChildReader::Get(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ChildReader::Fail(bool silent) {
    close(fd_);
    fd_ = -1;
    if (pid_ <= 0) return false;
    int status = 0;
    pid_t r = 0;
    if (!silent) {
        // The socket closed with the child: give it a moment to be gone.
        for (int i = 0; i < 200 && (r = waitpid(pid_, &status, WNOHANG)) == 0; ++i) usleep(10000);
    }
    if (r == 0) {
        kill(pid_, SIGKILL);
        r = Reap(pid_, status);
    }
    pid_ = -1;
    if (silent) {
        failure_ = Format("gave no answer within %d s", limits_.silentSeconds);
    } else if (r < 0) {
        failure_ = "ended unseen";
    } else if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        failure_ = sig == SIGXCPU
                       ? Format("used more than %d s of processor time", limits_.cpuSeconds)
                   : sig == SIGKILL ? std::string("was killed")
                                    : Format("crashed (%s)", strsignal(sig));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        failure_ = Format("stopped with status %d", WEXITSTATUS(status));
    } else {
        failure_ = "ended without an answer";
    }
    return false;
}

void ChildReader::Stop() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        Reap(pid_, status);
    }
    pid_ = -1;
}

}  // namespace kurvex
