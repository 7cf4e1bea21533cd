#include "tools/site_components.h"

#include <cstdint>

#include "catalogue/catalogue.h"
#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "install/expanded_name.h"
#include "install/szdd_compress.h"
#include "platform/windows_system.h"
#include "product_version.h"
#include "tools/site_content.h"
#include "tools/site_error.h"
#include "unlha32/lha_writer.h"

namespace sorana::tools {

namespace {

using formats::AsciiUpper;

constexpr size_t kKiB = 1024;
constexpr size_t kMiB = size_t{1024} * 1024;
// 2024-04-10 09:00 local: the release date of the new-version components.
constexpr int64_t kReleaseTime = 1712739600;
constexpr int64_t kOldReleaseTime = 1212393600;  // 2008-06-02, the old-version components

std::string Seed(bool oldPhase, std::string_view name) {
  return std::string(oldPhase ? "v128/" : "20240410/") + std::string(name);
}

std::string Upper(std::string_view name) { return AsciiUpper(name); }

// Criteria files (code + yyyymm) are the big ones of a standard's row.
bool IsCriteriaFile(std::string_view name) {
  std::string upper = Upper(name);
  return !upper.starts_with("CAD") && !upper.starts_with("PHOTO") && !upper.starts_with("PHOTN") &&
         !upper.starts_with("BORING");
}

size_t SizeFor(ComponentKind kind, bool oldPhase, std::string_view name, Scale scale) {
  ContentRandom random("size/" + Seed(oldPhase, name));
  if (scale == Scale::Small) {
    switch (kind) {
      case ComponentKind::Program:
      case ComponentKind::Library:
        return static_cast<size_t>(random.Between(1 * kKiB, 3 * kKiB));
      default:
        return static_cast<size_t>(random.Between(kKiB / 2, 4 * kKiB));
    }
  }
  switch (kind) {
    case ComponentKind::Program:
      return Upper(name).starts_with("FOTODESK")
                 ? 3 * kMiB
                 : static_cast<size_t>(random.Between(400 * kKiB, 1600 * kKiB));
    case ComponentKind::Library:
      return static_cast<size_t>(random.Between(300 * kKiB, 1200 * kKiB));
    case ComponentKind::Plugin:
      return IsCriteriaFile(name) ? static_cast<size_t>(random.Between(300 * kKiB, 2 * kMiB))
                                  : static_cast<size_t>(random.Between(100 * kKiB, 400 * kKiB));
    default:
      return static_cast<size_t>(random.Between(20 * kKiB, 120 * kKiB));
  }
}

// The compressed name stands for the installed one with its last letter
// replaced by "_"; the header records that letter where the names differ by one.
char MissingChar(std::string_view name) {
  std::string expanded = install::ExpandedName(name);
  std::string ext = formats::ExtractFileExt(expanded);
  std::string served = formats::ExtractFileExt(name);
  if (ext.size() != 4 || served.size() != 4) return '\0';
  return ext.back();
}

std::string SettingsText(bool oldPhase) {
  std::string text =
      "[Setting]\r\n"
      "DataFolder=C:\\VELMORA\\SORANA\\DATA\\\r\n"
      "PhotoSize=640\r\n";
  if (!oldPhase) {
    text +=
        "[MediaLabelPrintSet]\r\n"
        "SettingNameCount=3\r\n"
        "SettingName1=" +
        ToCp932("標準") +
        "\r\n"
        "SettingName2=" +
        ToCp932("CD-R 横書き") +
        "\r\n"
        "SettingName3=" +
        ToCp932("DVD-R 縦書き") + "\r\n";
  }
  return text;
}

// A help page in CP932, CR LF lines, about `size` bytes.
std::string HelpPage(std::string_view title, std::string_view seed, size_t size) {
  std::string page =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n";
  page +=
      "<title>" + ToCp932(title) + "</title><link rel=\"stylesheet\" href=\"help.css\"></head>\r\n<body>\r\n";
  page += "<h1>" + ToCp932(title) + "</h1>\r\n";
  std::string records = RecordText(seed, size > page.size() ? size - page.size() : 0);
  page += records;
  page += "</body></html>\r\n";
  return page;
}

std::string Stylesheet() {
  return "body { font-family: \"MS UI Gothic\"; font-size: 10pt; }\r\n"
         "h1 { color: #003366; border-bottom: 1px solid #003366; }\r\n";
}

std::string Script() {
  return "function openPage(name) {\r\n"
         "  window.location.href = name;\r\n"
         "}\r\n";
}

// A GIF-like image: header bytes, then data that compresses poorly.
std::string Image(std::string_view seed, size_t size) {
  std::string image("GIF89a\x10\x00\x10\x00\x80\x00\x00", 13);
  ContentRandom random(seed);
  while (image.size() < size) image.push_back(static_cast<char>(random.Below(256)));
  return image;
}

std::vector<HelpFile> HelpPages(bool oldPhase, Scale scale) {
  bool small = scale == Scale::Small;
  size_t pageSize = small ? 600 : 24 * kKiB;
  size_t imageSize = small ? 64 : 96 * kKiB;
  uint32_t stamp = oldPhase ? PackFatTime(2008, 6, 2, 9, 0, 0) : PackFatTime(2024, 4, 10, 9, 0, 0);
  std::string version = oldPhase ? "v1.2.9.0" : kProductVersionText;
  std::vector<HelpFile> files = {
      {"index.htm", stamp, HelpPage("ソラナギ ヘルプ " + version, "index" + version, pageSize)},
      {"help.css", stamp, Stylesheet()},
      {"help.js", stamp, Script()},
      {"操作\\download.htm", stamp, HelpPage("アップデートの手順", "download" + version, pageSize)},
      {"images\\logo.gif", stamp, Image("logo" + version, imageSize)},
  };
  if (!oldPhase) {
    files.push_back({"基準\\standards.htm", stamp, HelpPage("対応する電子納品基準", "standards", pageSize)});
    files.push_back({"images\\screen.gif", stamp, Image("screen", imageSize * 2)});
  }
  int extraPages = small ? 0 : 40;
  for (int i = 1; i <= extraPages; ++i) {
    std::string n = std::to_string(i);
    files.push_back(
        {"操作\\page" + n + ".htm", stamp, HelpPage("操作説明 " + n, "page" + n + version, pageSize)});
  }
  return files;
}

// Spreadsheet and document templates (.XL_, .DO_) of some standards.
bool IsOfficeTemplate(std::string_view name) {
  std::string ext = Upper(formats::ExtractFileExt(name));
  return ext == ".XL_" || ext == ".DO_";
}

// An OLE compound file header, then data.
std::string OfficeDocument(std::string_view seed, size_t size) {
  std::string document("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  return document + MixedData(seed, size);
}

std::string Archive(const std::vector<ArchiveMember>& members, bool oldPhase) {
  unlha32::LhaWriter writer;
  int64_t time = oldPhase ? kOldReleaseTime : kReleaseTime;
  for (const ArchiveMember& member : members) {
    if (member.folder) {
      writer.AddFolder(ToCp932(member.path), time);
    } else {
      writer.AddFile(ToCp932(member.path), member.bytes, time);
    }
  }
  return writer.Finish();
}

}  // namespace

VersionParts PhaseVersion(bool oldPhase) {
  return oldPhase ? VersionParts{1, 2, 9, 0} : VersionParts(kProductVersionParts);
}

ComponentKind KindOf(std::string_view name, bool programRow) {
  if (!programRow) return ComponentKind::Plugin;
  const catalogue::ProgramRow* row = catalogue::FindProgramRow(name);
  if (!row) throw SiteError("no content is known for the program file " + std::string(name));
  switch (row->role) {
    case catalogue::Role::MainProgram:
    case catalogue::Role::Program:
    case catalogue::Role::ProgramAbove:
      return ComponentKind::Program;
    case catalogue::Role::Library:
      return ComponentKind::Library;
    case catalogue::Role::Settings:
      return ComponentKind::Settings;
    case catalogue::Role::Template:
      return ComponentKind::TemplateText;
    case catalogue::Role::CorinsArchive:
      return ComponentKind::CorinsArchive;
    case catalogue::Role::Help:
      break;
  }
  // The help comes as an archive or, from the new-version phase on, as the help bundle.
  return Upper(name).starts_with("MERGEHELP.") ? ComponentKind::HelpBundle : ComponentKind::HelpArchive;
}

std::vector<HelpFile> HelpBundleFiles(Scale scale) { return HelpPages(false, scale); }

std::vector<ArchiveMember> ArchiveMembers(bool oldPhase, std::string_view name, Scale scale) {
  std::vector<ArchiveMember> members;
  if (KindOf(name, true) == ComponentKind::CorinsArchive) {
    // Each CORINS archive holds the folder it is extracted into.
    std::string folder(catalogue::FindProgramRow(name)->folder);
    std::string seed = Seed(oldPhase, name);
    members.push_back({folder, "", true});
    members.push_back({folder + "\\CORINS.DTD", RecordText(seed + "/dtd", 900), false});
    size_t size = SizeFor(ComponentKind::CorinsArchive, oldPhase, name, scale);
    members.push_back({folder + "\\CORINS.DAT", MixedData(seed + "/dat", size), false});
    members.push_back({folder + "\\DATA", "", true});
    members.push_back({folder + "\\DATA\\KOJI.DAT", MixedData(seed + "/koji", size / 2), false});
    return members;
  }
  if (KindOf(name, true) != ComponentKind::HelpArchive) {
    throw SiteError(std::string(name) + " is not an archive");
  }
  std::string folder(catalogue::FindProgramRow(name)->folder);
  members.push_back({folder, "", true});
  for (HelpFile& file : HelpPages(oldPhase, scale)) {
    members.push_back({folder + "\\" + file.path, std::move(file.bytes), false});
  }
  return members;
}

std::string ComponentPayload(bool oldPhase, std::string_view name, bool programRow, Scale scale) {
  ComponentKind kind = KindOf(name, programRow);
  std::string seed = Seed(oldPhase, name);
  size_t size = SizeFor(kind, oldPhase, name, scale);
  switch (kind) {
    case ComponentKind::Program:
    case ComponentKind::Library:
      return ProgramImage(PhaseVersion(oldPhase), seed, size);
    case ComponentKind::Settings:
      return SettingsText(oldPhase);
    case ComponentKind::TemplateText:
      return RecordText(seed, size);
    case ComponentKind::CorinsArchive:
    case ComponentKind::HelpArchive:
      return Archive(ArchiveMembers(oldPhase, name, scale), oldPhase);
    case ComponentKind::HelpBundle:
      return WriteHelpBundle(HelpBundleFiles(scale));
    case ComponentKind::Plugin:
      return IsOfficeTemplate(name) ? OfficeDocument(seed, size) : PluginImage(seed, size);
  }
  return {};
}

std::string ServedBytes(bool oldPhase, std::string_view name, bool programRow, Scale scale) {
  ComponentKind kind = KindOf(name, programRow);
  std::string payload = ComponentPayload(oldPhase, name, programRow, scale);
  if (kind == ComponentKind::CorinsArchive || kind == ComponentKind::HelpArchive) return payload;
  return install::SzddCompress(payload, MissingChar(name));
}

}  // namespace sorana::tools
