#pragma once

#include <string>
#include <vector>

#include "canvas/workspace.h"

namespace scribeline {

// Quit ends the key loop for shutdown; NextPhoto and PreviousPhoto end it
// for a step through the photos of a folder (ignored with a single photo).
enum class CommandResult { Continue, Quit, NextPhoto, PreviousPhoto };

// One hot key: its code (the low byte of the key wait's result), its line in
// the help text, and the command it runs. keyCode is the full code.
struct Command {
  int code;
  const char* keyName;
  const char* description;
  CommandResult (*run)(Workspace& workspace, int keyCode);
};

// The hot keys, in the order of the help text.
const std::vector<Command>& commandTable();

// The help text printed at start-up, made from the table: "Hot keys: " and
// one line per key (tab, key name padded to 13 characters, "= ",
// description).
std::string helpText();

// Keys beyond the printed help (undo, redo, arrows, page keys), matched on
// their full code (kFirstNamedKey and above). They never appear in
// helpText().
const std::vector<Command>& namedKeyTable();

// Character keys beyond the printed help (tools and commands added to the
// program's first set). Matched like commandTable() after it; never in
// helpText().
const std::vector<Command>& addedKeyTable();

// The lines of namedKeyTable() and addedKeyTable() in the layout of
// helpText(), for --help.
std::string namedKeyHelpText();

// Runs the command of a key code returned by the key wait. Codes from
// kFirstNamedKey up go to namedKeyTable(); for all others the low 8 bits,
// taken as a signed character, pick the command of commandTable() or else
// addedKeyTable(). Codes without a command are
// ignored. Returns Quit for Escape.
CommandResult runCommand(Workspace& workspace, int keyCode);

// "Current Tool = iScissor\n", "... = lSnapper\n", "... = pen\n" or
// "... = fill\n": the line
// that says which tool a tool number is.
std::string currentToolLine(int tool);

// Saves the mask now; a failure is reported on the console. Returns success.
bool saveMaskNow(Workspace& workspace);

}  // namespace scribeline
