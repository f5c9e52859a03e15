#include <gtest/gtest.h>

#include <set>

#include "app/FileChoice.h"

namespace pm {
namespace {

TEST(FileChoice, EachChosenFileGetsItsAction) {
    struct Row {
        const char* chosen;
        const char* inUse;
        std::set<std::string> existing;
        FileAction action;
        const char* plotFile;
    };
    const Row rows[] = {
        // A plot file is taken as it is, whatever runs and whatever exists.
        {"/d/casa.red", "", {}, FileAction::Use, "/d/casa.red"},
        {"/d/casa.red", "/d/casa.red", {"/d/casa.red"}, FileAction::Use, "/d/casa.red"},
        {"/d/notas.txt", "", {}, FileAction::Use, "/d/notas.txt"},
        // A drawing (HPGL, G-code, SVG) becomes the .red beside it.
        {"/d/casa.plt", "", {}, FileAction::Convert, "/d/casa.red"},
        {"/d/CASA.HPGL", "", {}, FileAction::Convert, "/d/CASA.red"},
        {"/d/casa.hpg", "/d/outro.red", {}, FileAction::Convert, "/d/casa.red"},
        {"/d/casa.nc", "", {}, FileAction::Convert, "/d/casa.red"},
        {"/d/casa.svg", "", {}, FileAction::Convert, "/d/casa.red"},
        // An existing .red is replaced only when the operator says so.
        {"/d/casa.plt", "", {"/d/casa.red"}, FileAction::AskReplace, "/d/casa.red"},
        {"/d/casa.plt", "/d/outro.red", {"/d/casa.red"}, FileAction::AskReplace, "/d/casa.red"},
        // The file a running operation reads is never rewritten under it.
        {"/d/casa.plt", "/d/casa.red", {"/d/casa.red"}, FileAction::Refuse, "/d/casa.red"},
        {"/d/casa.plt", "/d/casa.red", {}, FileAction::Refuse, "/d/casa.red"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.chosen) + " in use: " + r.inUse);
        const FileChoice c = ChooseFile(r.chosen, r.inUse,
                                        [&](const std::string& p) { return r.existing.count(p) > 0; });
        EXPECT_EQ(c.action, r.action);
        EXPECT_EQ(c.plotFile, r.plotFile);
        if (r.action == FileAction::Refuse) {
            EXPECT_EQ(c.message, std::string("O arquivo ") + r.plotFile +
                                     " está em uso. Converta depois que a operação terminar.");
        } else {
            EXPECT_EQ(c.message, "");
        }
    }
}

}  // namespace
}  // namespace pm
