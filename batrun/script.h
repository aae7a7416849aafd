#pragma once

// Reading and parsing a join script. It knows the two commands such a script
// uses:
//
//   cd DIR
//   copy /b SRC+SRC+... DEST
//
// A path is bare, or in double quotes when it holds blanks or '+'; a bare
// "cd" takes the rest of its line.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace batrun {

struct Blank
{
};
struct Cd
{
    std::string dir;
};
struct Copy
{
    std::vector<std::string> sources;
    std::string dest;
};
using Command = std::variant<Blank, Cd, Copy>;

// Where in the script: what a message and the echo show.
struct Place
{
    int number = 0;
    std::string_view text;
};

struct Line
{
    Place place;
    Command command;
};

// A line as it may go to a terminal: control characters as \xHH, nothing cut.
std::string escaped(std::string_view line);

// The whole script file, refused when it is not a plain file of a script's size.
std::string readScript(const std::string &path);

// The script's commands; `current` is at the line that failed when a Failure is thrown.
std::vector<Line> parseScript(std::string_view text, Place &current);

} // namespace batrun
