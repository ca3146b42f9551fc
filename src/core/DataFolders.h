// Where the program keeps its files. A working directory that holds RV.cfg keeps everything,
// as it always did (a folder set up by hand, the demo, the tests). A folder named with
// --data-dir or RINGVALE_HOME keeps everything too. Otherwise the files follow the desktop's
// base directories: RV.cfg in $XDG_CONFIG_HOME/ringvale, the phone book and the call log in
// $XDG_DATA_HOME/ringvale, the trace in $XDG_STATE_HOME/ringvale.
#pragma once

#include <functional>
#include <string>

struct SDataFolders {
    std::string config; // RV.cfg; the single-instance lock lives here too (one copy per configuration)
    std::string data;   // the phone book and the call log (relative store names resolve here)
    std::string state;  // the trace
    bool operator==(const SDataFolders&) const = default;
};

// What the choice depends on: the --data-dir value ("" when not given), the environment
// (a variable's value, "" when unset) and the working directory.
struct SDataFolderInputs {
    std::string dataDirOption;
    std::function<std::string(const char* name)> env;
    std::string workingDirectory;
};

// The folders, in this order of precedence: --data-dir, RINGVALE_HOME, a working directory
// that holds RV.cfg, the XDG base directories (a relative XDG value is ignored, as the base
// directory rules say; the defaults are ~/.config, ~/.local/share and ~/.local/state). A
// relative --data-dir or RINGVALE_HOME is taken from the working directory.
SDataFolders ChooseDataFolders(const SDataFolderInputs& inputs);

// The inputs of this process: the real environment and working directory.
SDataFolderInputs ProcessDataFolderInputs(const std::string& dataDirOption);

// Creates the folders that are missing (with their parents), mode 0700, and checks that each
// is a folder this user may write in. On failure returns false with a sentence for the user
// naming the folder and the system's reason.
bool PrepareDataFolders(const SDataFolders& folders, std::string& problem);

// mkdir -p with mode 0700 for every folder it makes; 0, or the errno of the step that failed.
int MakeFolders(const std::string& path);

// A file name as the settings hold it, resolved in a folder: an absolute name stays as it is,
// a relative one is taken from the folder ("" folder: the working directory).
std::string PathInFolder(const std::string& folder, const std::string& name);
