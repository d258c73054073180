// Verbs.h - diaghost's commands, each one row of one table: its name, what it
// does, its options and the function that carries it out. The parser, the
// help texts and the completion data are all made from this table, so a new
// command is one row of kVerbs and its function; the manual page's COMMANDS
// and OPTIONS are held to the table by host_cli_tests.
#pragma once

#include <cstddef>
#include <string>

namespace CLI {
class App;
}

namespace diaghost {

struct Options;
struct Session;

struct Verb {
    const char* name;
    const char* summary;                           // its line in --help
    void (*addOptions)(CLI::App& command, Options& options);
    int (*run)(Session& session);                  // null for help, answered by the parser
    bool needsSession;                             // false: no package loaded, no machine made (report)
    std::string (*footer)();                       // what its help tells after the options, lines; may be null
};

// The commands in the order --help, the manual page and completion list them.
extern const Verb kVerbs[];
extern const std::size_t kVerbCount;
const Verb* findVerb(const std::string& name);

// The options of diaghost itself, which may come anywhere on the command line.
void addGlobalOptions(CLI::App& app, Options& options);

// One row of a list in a help text: "  NAME  text", NAME padded to width
// columns, the text wrapped within 79 columns beside it.
std::string helpRow(const std::string& name, std::size_t width, const std::string& text);
// The simulated machines, as --simulate=help lists them.
std::string machinesHelp();

}  // namespace diaghost
