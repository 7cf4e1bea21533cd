// Minimal Windows program files with a version resource, for tests that need
// fotodesk.exe and friends of a given version. The writer itself is a product
// library (the update-site tool packs such files too); this header gives the
// tests its names.
#pragma once

#include "tools/program_file_writer.h"

namespace sorana::test {

using tools::MakeProgramFile;
using tools::MakeProgramFileWithoutVersion;
using tools::ProgramFileLayout;
using tools::VersionParts;

}  // namespace sorana::test
