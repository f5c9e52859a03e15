// convert: an HPGL plot file from a drawing program or an instrument, turned
// into the program's own plot form.
#include <iostream>
#include <string>

#include "cli/ConvertCommand.h"
#include "cli/Runner.h"
#include "importer/Hpgl.h"
#include "files/SafeFile.h"

namespace pm::cli {

int ConvertCommand(int argc, char** argv) {
    if (argc != 2) return UsageError("convert espera o arquivo HPGL (IN) e o arquivo a gravar (OUT)");
    const std::string in = argv[0];
    const std::string out = argv[1];
    if (in.rfind("--", 0) == 0 || out.rfind("--", 0) == 0)
        return UsageError("convert não aceita opções");
    // Refused before anything is opened: the original would be lost.
    if (const std::string same = SameFileConflict({in}, {out}); !same.empty()) {
        return UsageError(same);
    }
    const HpglResult r = ConvertHpglFile(in, out);
    if (!r.ok) {
        std::cerr << "portmill-cli: " << r.error << '\n';
        return kExitFile;
    }
    std::cout << DescribeSummary(r.summary);
    return kExitOk;
}

}  // namespace pm::cli
