#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace kurvex::test {

// The column cache in a fresh folder of the test's own (DIR/cache) for as
// long as this lives.
struct CacheHome {
    explicit CacheHome(const std::string& name) : dir(FreshDir(name)) {
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    }
    ~CacheHome() { ::unsetenv("XDG_CACHE_HOME"); }
    // Entries and leftovers in the cache folder.
    std::size_t Entries() const {
        std::size_t n = 0;
        std::error_code ec;
        for (std::filesystem::directory_iterator e(dir / "cache/kurvex", ec), end; !ec && e != end;
             e.increment(ec))
            ++n;
        return n;
    }
    const std::filesystem::path dir;
};

}  // namespace kurvex::test
