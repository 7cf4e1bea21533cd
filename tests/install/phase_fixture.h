// A phase ready for Unpress on a temporary prefix: the catalogue's file list,
// every component in the download folder as the update server delivers it
// (SZDD files, LHA archives, the help bundle), and a window that records.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "form/form_state.h"
#include "support/fake_window.h"
#include "support/temp_prefix.h"

namespace sorana::install {

class PhaseFixture : public ::testing::Test {
 protected:
  static constexpr const char* kRoot = "C:\\VELMORA\\SORANA\\";

  static void SetUpTestSuite();
  // The LHA library the archive steps extract through: by its build path on
  // Linux, UNLHA32.DLL beside the test on Windows.
  static void LoadTheLhaLibrary();
  // Without the library (the Windows build has none yet) every phase stops at
  // its first archive step: the tests that get that far are skipped.
  static bool NoLhaLibrary();
  static constexpr const char* kNoLhaLibrary = "no LHA library to extract the archive steps with";
  // The archive library maps Windows paths through WINEPREFIX on each call.
  void SetUp() override;
  void TearDown() override;

  // Fills FileList for the phase and the chosen standards and writes every
  // download into a fresh download folder; the work folder starts empty too.
  void Prepare(bool oldPhase, const std::vector<int>& standards);
  // Replaces one download (the name stays).
  void PutDownload(size_t position, const std::string& bytes);
  bool Run();

  // The expanded bytes each entry installs.
  static std::string ContentOf(const std::string& name);
  // An LHA archive of the catalogue (CORINS0.lzh ... or ヘルプ.lzh) holding
  // ContentOf(name) below the folder it belongs to.
  static std::string ArchiveFor(const std::string& name);

  std::filesystem::path Work(const std::string& relative) const;
  std::filesystem::path Download(const std::string& name) const;
  std::string ReadWork(const std::string& relative) const;
  std::vector<std::string> DownloadFolderNames() const;
  // The text of the failure box for a CreateError message and an error (errno) code.
  static std::string FailureBox(const std::string& message, int code);

  test::TempPrefix prefix_;
  test::FakeWindow window_;
  form::FormState state_;
};

}  // namespace sorana::install
