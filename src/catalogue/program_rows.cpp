#include "catalogue/catalogue.h"

#include <algorithm>

namespace sorana::catalogue {

namespace {

using enum Role;

// Parts the two phases share, joined below in the order the rows stand.
template <size_t... N>
constexpr auto Join(const std::array<ProgramRow, N>&... parts) {
  std::array<ProgramRow, (N + ...)> rows{};
  size_t at = 0;
  ((std::copy(parts.begin(), parts.end(), rows.begin() + at), at += N), ...);
  return rows;
}

constexpr ProgramRow Set(std::string_view name, std::string_view folder, std::string_view extension) {
  return {name, Template, folder, extension};
}
#define SORANA_TEMPLATE_SET(code, folder, extension) \
  Set("LIST." code, folder, extension), Set("TEMPLATE." code, folder, extension)

// Main program, help program, layout editor and three tools.
constexpr auto kFirstPrograms = std::to_array<ProgramRow>({
    {"FOTODESK.EX_", MainProgram},
    {"FDHELP.EX_", Program},
    {"LAYOUTED.EX_", Program},
    {"FDCHECK.EX_", Program},
    {"FDPRINT.EX_", Program},
    {"FDCONV.EX_", Program},
});
constexpr auto kLibrariesAndSettings = std::to_array<ProgramRow>({
    {"FDCORE.DL_", Library},
    {"FDIMAGE.DL_", Library},
    {"FOTODESK.IN_", Settings},
});
// The template sets the old-version components bring.
constexpr auto kFirstTemplateSets = std::to_array<ProgramRow>({
    SORANA_TEMPLATE_SET("4K_", "Template\\14年度\\KEN", ".4KE"),
    SORANA_TEMPLATE_SET("4N_", "Template\\14年度\\NOU", ".4NO"),
    SORANA_TEMPLATE_SET("6K_", "Template\\16年度\\KEN", ".6KE"),
    SORANA_TEMPLATE_SET("6N_", "Template\\16年度\\NOU", ".6NO"),
    SORANA_TEMPLATE_SET("JH_", "Template\\日本道路公団\\KEN", ".JH"),
});
constexpr auto kCorinsArchives = std::to_array<ProgramRow>({
    {"CORINS0.lzh", CorinsArchive, "corins0.0"},
    {"CORINS5.lzh", CorinsArchive, "corins5.0"},
    {"CORINS6.lzh", CorinsArchive, "corins6.0"},
});

constexpr auto kOldRows = Join(kFirstPrograms, kLibrariesAndSettings, kFirstTemplateSets, kCorinsArchives,
                               std::to_array<ProgramRow>({{"ヘルプ.lzh", Help, "ヘルプ"}}));

constexpr auto kNewRows = Join(  //
    kFirstPrograms,
    // two more tools, and the launcher installed one folder up as FOTODESK.EXE
    std::to_array<ProgramRow>({
        {"FDMEDIA.EX_", Program},
        {"FDSETUP.EX_", Program},
        {"FDLAUNCH.EX_", ProgramAbove},
    }),
    kLibrariesAndSettings, kFirstTemplateSets,
    std::to_array<ProgramRow>({
        SORANA_TEMPLATE_SET("NK_", "Template\\日本高速道路\\KEN", ".NK"),
        SORANA_TEMPLATE_SET("EZ_", "Template\\建築\\KEN", ".EZ"),
        SORANA_TEMPLATE_SET("0K_", "Template\\20年度\\KEN", ".0KE"),
        SORANA_TEMPLATE_SET("1N_", "Template\\21年度\\NOU", ".1NO"),
        SORANA_TEMPLATE_SET("KU_", "Template\\空港\\KEN", ".KUK"),
        SORANA_TEMPLATE_SET("KO_", "Template\\港湾\\KEN", ".KOU"),
    }),
    kCorinsArchives,
    std::to_array<ProgramRow>({
        {"MERGEHELP.IN_", Help, "ヘルプ"},
        // further executables and libraries
        {"FDXMLOUT.EX_", Program},
        {"FDPICVW.EX_", Program},
        {"FDXMLLIB.DL_", Library},
        {"FDPICLIB.DL_", Library},
    }));

#undef SORANA_TEMPLATE_SET

// A row added or removed changes the count: the two must agree.
static_assert(kOldRows.size() == kOldProgramCount);
static_assert(kNewRows.size() == kNewProgramCount);

}  // namespace

const std::array<ProgramRow, kOldProgramCount> OldProgramRows = kOldRows;
const std::array<ProgramRow, kNewProgramCount> NewProgramRows = kNewRows;

std::span<const ProgramRow> ProgramRows(bool oldPhase) {
  return oldPhase ? std::span<const ProgramRow>(OldProgramRows) : std::span<const ProgramRow>(NewProgramRows);
}

const ProgramRow* FindProgramRow(std::string_view name) {
  for (bool oldPhase : {false, true}) {
    for (const ProgramRow& row : ProgramRows(oldPhase)) {
      if (row.name == name) return &row;
    }
  }
  return nullptr;
}

}  // namespace sorana::catalogue
