#include "cli/CacheCommand.h"

#include <ctime>

#include "cli/CliSupport.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "data/cache/ColumnCache.h"

namespace kurvex::cli {

namespace {

// A local time stamp, the way a person reads it.
std::string LastUse(std::int64_t ns) {
    const std::time_t t = std::time_t(ns / 1000000000);
    std::tm local{};
    char text[32] = "";
    if (localtime_r(&t, &local)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

int Cache(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    Args args;
    if (const int status = StartCommand(Command("cache"), argv, args, out, err); status >= 0)
        return status;
    if (!args.positional.empty()) return Usage(err, "cache takes no file");
    const bool list = args.flags.count("--list"), clear = args.flags.count("--clear");
    if (list == clear) return Usage(err, "cache wants one of --list and --clear");
    const bool json = args.flags.count("--json");
    std::string error;
    if (clear) {
        std::size_t removed = 0;
        std::uint64_t bytes = 0;
        if (!ClearCache(removed, bytes, error)) {
            std::fprintf(err, "%s\n", error.c_str());
            return kExitFailed;
        }
        if (json)
            std::fprintf(out, "{\"removed\": %zu, \"bytes\": %llu}\n", removed,
                         static_cast<unsigned long long>(bytes));
        else
            std::fprintf(out, "removed %zu entr%s, %.1f MB\n", removed, removed == 1 ? "y" : "ies",
                         double(bytes) / 1e6);
        return kExitOk;
    }
    std::vector<CacheListing> entries;
    CachePartial partial;
    if (!ListCache(entries, error, &partial)) {
        std::fprintf(err, "%s\n", error.c_str());
        return kExitFailed;
    }
    if (json) std::fputs("{\"entries\": [", out);
    for (size_t i = 0; i < entries.size(); ++i) {
        const CacheListing& e = entries[i];
        const std::string source = e.source.empty() ? "(damaged entry " + e.hash + ")" : e.source;
        if (json)
            std::fprintf(out, "%s{\"source\": %s, \"bytes\": %llu, \"last_use\": %s}",
                         i ? ", " : "", e.source.empty() ? "null" : JsonString(e.source).c_str(),
                         static_cast<unsigned long long>(e.bytes),
                         JsonString(LastUse(e.lastUseNs)).c_str());
        else
            std::fprintf(out, "%s\t%.1f MB\t%s\n", source.c_str(), double(e.bytes) / 1e6,
                         LastUse(e.lastUseNs).c_str());
    }
    if (json)
        std::fprintf(out, "], \"partial\": {\"count\": %zu, \"bytes\": %llu}}\n", partial.count,
                     static_cast<unsigned long long>(partial.bytes));
    else if (partial.count != 0)
        std::fprintf(out, "partial: %zu, %.1f MB\n", partial.count, double(partial.bytes) / 1e6);
    return kExitOk;
}

}  // namespace kurvex::cli
