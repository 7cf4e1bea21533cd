// The content of every component file the update site offers, by phase and
// catalogue name: what is served (SZDD-compressed files, LHA archives) and,
// for tests and checks, what each one installs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/help_bundle_writer.h"
#include "tools/program_file_writer.h"

namespace sorana::tools {

// small: tiny files for tests; realistic: sizes like a real release.
enum class Scale { Small, Realistic };

enum class ComponentKind {
  Program,        // .EX_: a Windows program file with version information
  Library,        // .DL_: a Windows library with version information
  Settings,       // .IN_ (not the help bundle): the main program's INI
  TemplateText,   // LIST.* / TEMPLATE.*: CP932 text of a template set
  CorinsArchive,  // CORINSn.lzh: members below "corinsn.0\"
  HelpArchive,    // another .lzh: the help pages below "ヘルプ\"
  HelpBundle,     // MERGEHELP.IN_: the help bundle
  Plugin,         // a standard's data file (.SP_, .XL_, .DO_)
};

// The kind of a catalogue name; `programRow` tells a program row from a standard's row.
ComponentKind KindOf(std::string_view name, bool programRow);

struct ArchiveMember {
  std::string path;   // UTF-8 with backslashes, as the archive stores it (in CP932)
  std::string bytes;  // empty for a folder entry
  bool folder = false;
};

// The file as installed: the expanded program, INI, text or plug-in; the help
// bundle's text; for archives the archive itself.
std::string ComponentPayload(bool oldPhase, std::string_view name, bool programRow, Scale scale);

// The bytes the server sends: SZDD of the payload, archives as they are.
std::string ServedBytes(bool oldPhase, std::string_view name, bool programRow, Scale scale);

// Members of an archive component, in archive order.
std::vector<ArchiveMember> ArchiveMembers(bool oldPhase, std::string_view name, Scale scale);

// The files the help bundle carries.
std::vector<HelpFile> HelpBundleFiles(Scale scale);

// The version of the programs and libraries of a phase.
VersionParts PhaseVersion(bool oldPhase);

}  // namespace sorana::tools
