#include "app/command_line.h"

#include "base/text.h"

namespace app {

void applyOptions(const std::vector<std::string>& parameters, const OptionRules& rules, RunPaths& paths) {
    for (const std::string& parameter : parameters) {
        if (!parameter.empty() && parameter[0] == '/') {
            if (base::upperAscii(std::string_view(parameter).substr(0, 5)) == "/LOG=") {
                paths.logPath = parameter.substr(5);
                continue;
            }
            if (!rules.slashMayStartPath) continue;
        }
        if (!parameter.empty() && rules.firstMatchIsFile(parameter)) paths.configPath = parameter;
    }
}

} // namespace app
