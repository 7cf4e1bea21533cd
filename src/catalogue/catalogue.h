// The update catalogue: every component file the update server offers for the
// two download phases. Program rows are fetched on every run; a standard's row
// only when that standard is checked. The names are the server's names (appended
// to the phase's URL path) and the names in the download folder. This is the one
// list of file names: the driver, the installation and the update-site tool all
// read it from here.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/standards.h"

namespace sorana::catalogue {

inline constexpr int kOldProgramCount = 23;
inline constexpr int kNewProgramCount = 42;
inline constexpr size_t kOldStandardSlots = 12;
inline constexpr size_t kNewStandardSlots = 60;

// URL paths below the update server, one per phase.
inline constexpr std::string_view kOldPhasePath = "/sorana/v128/";
inline constexpr std::string_view kNewPhasePath = "/sorana/20240410/";

// One row per standard, in the order of the check list; names fill the leading
// slots, the rest are empty.
template <size_t Slots>
using StandardRows = std::array<std::array<std::string_view, Slots>, catalogue::kStandardCount>;

// What a program row is for: the installation puts each row by its role, in
// the order of the rows.
enum class Role {
  MainProgram,    // the main program (.EXE, the first row), refreshed last
  Program,        // an executable of the work folder (.EXE)
  ProgramAbove,   // the launcher, installed one folder up as FOTODESK.EXE
  Library,        // a library of the work folder (.DLL)
  Settings,       // the main program's settings file (.INI), kept when it holds label settings
  Template,       // a list or template file of the template set in `folder`
  CorinsArchive,  // an LHA archive extracted into the work folder, creating `folder`
  Help,           // the help in `folder`: an LHA archive, or the help bundle MERGEHELP.IN_
};

struct ProgramRow {
  std::string_view name;
  Role role;
  std::string_view folder = {};     // below the work folder, for templates, archives and help
  std::string_view extension = {};  // of a template set's expanded copies
};

// Program rows in the positions the installation expects: executables (the main
// program first), libraries, the settings file, the list/template pairs, the
// CORINS archives and the help.
extern const std::array<ProgramRow, kOldProgramCount> OldProgramRows;
extern const std::array<ProgramRow, kNewProgramCount> NewProgramRows;
std::span<const ProgramRow> ProgramRows(bool oldPhase);
// The program row of that name (as spelled in the catalogue) in either phase; nullptr for none.
const ProgramRow* FindProgramRow(std::string_view name);
extern const StandardRows<kOldStandardSlots> OldStandardFiles;
extern const StandardRows<kNewStandardSlots> NewStandardFiles;

using StandardChoice = std::array<bool, catalogue::kStandardCount>;

// The phase's fetch order: all program rows, then the non-empty names of every
// checked standard in list order. Duplicates are kept (each is fetched).
std::vector<std::string> BuildFileList(bool oldPhase, const StandardChoice& checked);

// Number of program rows of a phase (the first plug-in position).
inline constexpr int ProgramCount(bool oldPhase) { return oldPhase ? kOldProgramCount : kNewProgramCount; }
inline constexpr std::string_view PhasePath(bool oldPhase) {
  return oldPhase ? kOldPhasePath : kNewPhasePath;
}

}  // namespace sorana::catalogue
