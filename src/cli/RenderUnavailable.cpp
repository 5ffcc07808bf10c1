// kurvex-cli built without the Qt shell has no pictures to make.
#include "cli/ExitStatus.h"
#include "cli/RenderCommand.h"

namespace kurvex::cli {

int Render(const std::vector<std::string>&, std::FILE*, std::FILE* err) {
    std::fprintf(err, "kurvex-cli: render needs a build with the Qt shell (KURVEX_GUI)\n");
    return kExitUsage;
}

}  // namespace kurvex::cli
