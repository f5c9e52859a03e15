#pragma once
#include <functional>
#include <string>

namespace pm {

// What "Abrir" does with the file the dialog gave.
enum class FileAction {
    Use,         // a plot file: it becomes the chosen file as it is
    Convert,     // an HPGL drawing: convert it to plotFile, then choose that
    AskReplace,  // the same, but plotFile exists: ask before replacing it
    Refuse,      // plotFile is the file a running operation reads: say message
};

struct FileChoice {
    FileAction action = FileAction::Use;
    std::string plotFile;  // the file that becomes the chosen one
    std::string message;   // for Refuse
};

// chosen: the path the dialog gave. inUse: the plot file a running job or
// scan reads, empty when none runs. exists: whether a path names a file.
FileChoice ChooseFile(const std::string& chosen, const std::string& inUse,
                      const std::function<bool(const std::string&)>& exists);

}  // namespace pm
