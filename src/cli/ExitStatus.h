#pragma once

namespace kurvex::cli {

// Exit statuses that scripts rely on.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailed = 1,  // reading, writing or a formula failed (the reason on stderr)
    kExitUsage = 2,   // bad command line or missing file
};

}  // namespace kurvex::cli
