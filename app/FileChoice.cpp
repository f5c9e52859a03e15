#include "app/FileChoice.h"

#include "importer/Drawing.h"
#include "importer/Plot.h"

namespace pm {

FileChoice ChooseFile(const std::string& chosen, const std::string& inUse,
                      const std::function<bool(const std::string&)>& exists) {
    if (!IsDrawingFileName(chosen)) return {FileAction::Use, chosen, {}};
    std::string plot = PlotFileNameFor(chosen);
    // The file a running job or scan is reading is never rewritten under it.
    if (!inUse.empty() && plot == inUse) {
        std::string message =
            "O arquivo " + plot + " está em uso. Converta depois que a operação terminar.";
        return {FileAction::Refuse, std::move(plot), std::move(message)};
    }
    const FileAction action = exists(plot) ? FileAction::AskReplace : FileAction::Convert;
    return {action, std::move(plot), {}};
}

}  // namespace pm
