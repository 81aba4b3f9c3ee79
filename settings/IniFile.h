// A small INI file: sections in square brackets and "key=value" lines, keys
// and section names matched without regard to (ASCII) case.
//
// The file is kept as its lines, each with its own line ending, so that
// writing it back changes nothing but the values set: unknown keys, comments,
// blank lines, odd key case and the order all stay as they were.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

class IniFile {
  public:
    IniFile() = default;

    // Takes a file's text apart; every byte sequence is accepted.
    static IniFile Parse(std::string_view text);

    // The value of the first "key=" line in the first section of that name:
    // the text after the first "=" exactly as it stands (IniReadValue reads it).
    // Lines before any section belong to none and are never found.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Replaces that value in place, or adds "key=value" after the last key
    // line of the section, or adds the section at the end of the file.
    // CR and LF in the value would split the line; they are dropped.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // The whole file as text.
    std::string Text() const;

  private:
    struct Line {
        std::string text;     // without its ending
        std::string ending;   // "\r\n", "\n", "\r" or "" for a last line without one
        std::string section;  // for a section line: its name; else the enclosing section
        bool isSection = false;
        bool isKey = false;
        std::string key;        // trimmed key of a key line
        size_t valueStart = 0;  // index in `text` just past the "="
    };

    static Line ParseLine(std::string text, std::string ending, const std::string& section);
    void Insert(size_t at, Line line);
    std::string DefaultEnding() const;

    std::vector<Line> lines_;
};

// A stored value as it reads: the blanks (spaces and tabs) around it dropped, then one
// pair of double quotes that encloses it ('LogFile = " my.log " ' reads " my.log ").
std::string IniReadValue(std::string_view stored);

// A stored value with the blanks around it dropped and nothing else: for values that
// quote their items themselves (comma text), whose enclosing quotes belong to an item.
std::string_view IniTrimmedValue(std::string_view stored);

// What to store for a value so that IniReadValue gives it back: the value as it is,
// or, when reading would change it (blanks at either end, or double quotes of its own
// around it), the value in double quotes.
std::string IniStoredValue(std::string_view value);

// ASCII case-insensitive equality, as INI keys and sections are compared.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tarnwick
