#include "tools/command_line.h"

#include <charconv>

namespace sorana::tools {

namespace {

std::optional<uint64_t> WholeNumber(std::string_view text, uint64_t limit) {
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > limit) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

std::optional<std::string> CommandLine::Option(const std::string& name) const {
  auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

CommandLine ParseCommandLine(const std::string& command, const std::vector<std::string>& args,
                             const CommandSyntax& syntax) {
  CommandLine line;
  line.command = command;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      line.operands.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (syntax.flagOptions.contains(name) && !value) {
      line.flags.insert(name);
    } else if (syntax.valueOptions.contains(name)) {
      if (!value) {
        if (i + 1 >= args.size()) throw UsageError("option --" + name + " needs a value");
        value = args[++i];
      }
      line.options[name] = *value;
    } else {
      throw UsageError("unknown option --" + name + " for " + command);
    }
  }
  if (line.operands.size() < syntax.minOperands) {
    throw UsageError(command + " needs " + std::to_string(syntax.minOperands) + " operand" +
                     (syntax.minOperands == 1 ? "" : "s"));
  }
  if (line.operands.size() > syntax.maxOperands) {
    throw UsageError("unexpected operand '" + line.operands[syntax.maxOperands] + "' for " + command);
  }
  return line;
}

catalogue::StandardChoice ParseStandards(const std::string& text) {
  catalogue::StandardChoice choice{};
  if (text == "all") {
    choice.fill(true);
    return choice;
  }
  if (text == "none") return choice;
  for (const std::string& part : Split(text, ',')) {
    std::optional<uint64_t> index = WholeNumber(part, catalogue::kStandardCount - 1);
    if (!index) {
      throw UsageError("bad --standards value '" + text + "': use all, none or indices 0-" +
                       std::to_string(catalogue::kStandardCount - 1) + " separated by commas");
    }
    choice[*index] = true;
  }
  return choice;
}

VersionParts ParseVersion(const std::string& text) {
  std::string digits = text.starts_with("v") || text.starts_with("V") ? text.substr(1) : text;
  std::vector<std::string> parts = Split(digits, '.');
  VersionParts version{0, 0, 0, 0};
  if (parts.size() > version.size()) throw UsageError("bad version '" + text + "': at most four parts");
  for (size_t i = 0; i < parts.size(); ++i) {
    std::optional<uint64_t> part = WholeNumber(parts[i], 65535);
    if (!part) throw UsageError("bad version '" + text + "': use parts 0-65535 such as 1.1.0.0");
    version[i] = static_cast<uint16_t>(*part);
  }
  return version;
}

Scale ParseScale(const std::string& text) {
  if (text == "small") return Scale::Small;
  if (text == "realistic") return Scale::Realistic;
  throw UsageError("bad --scale value '" + text + "': use small or realistic");
}

int ParsePort(const std::string& text) {
  std::optional<uint64_t> port = WholeNumber(text, 65535);
  if (!port) throw UsageError("bad --port value '" + text + "': use 0-65535 (0 picks a free port)");
  return static_cast<int>(*port);
}

uint64_t ParseCount(const std::string& option, const std::string& text, uint64_t limit) {
  std::optional<uint64_t> value = WholeNumber(text, limit);
  if (!value) throw UsageError("bad --" + option + " value '" + text + "'");
  return *value;
}

}  // namespace sorana::tools
