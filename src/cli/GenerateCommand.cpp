#include "Commands.h"

#include <ostream>

namespace quillon::cli {

int RunGenerateCommand(const CommandContext& context) {
    context.err << "quillon-cli: generate is not available yet\n";
    return kExitUsage;
}

} // namespace quillon::cli
