#include "unlha32/command_line.h"

#include <optional>
#include <vector>

namespace unlha32 {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits into blank-separated words and quoted arguments; nullopt and
// `problem` set for an unterminated quotation or a quotation mark inside a word.
std::optional<std::vector<Token>> Tokenize(std::string_view line, std::string* problem) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == '"') {
      size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        *problem = "unterminated quotation mark";
        return std::nullopt;
      }
      tokens.push_back({std::string(line.substr(i + 1, close - i - 1)), true});
      i = close + 1;
      if (i < line.size() && !IsBlank(line[i])) {
        *problem = "text right after a closing quotation mark";
        return std::nullopt;
      }
      continue;
    }
    size_t end = i;
    while (end < line.size() && !IsBlank(line[end])) {
      if (line[end] == '"') {
        *problem = "quotation mark inside a word";
        return std::nullopt;
      }
      ++end;
    }
    tokens.push_back({std::string(line.substr(i, end - i)), false});
    i = end;
  }
  return tokens;
}

}  // namespace

bool IsAbsoluteArgument(std::string_view path) {
  if (!path.empty() && path[0] == '/') return true;
  bool letter =
      path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return letter && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

UnlhaCommand ParseUnlhaCommand(std::string_view line) {
  UnlhaCommand command;
  auto tokens = Tokenize(line, &command.problem);
  if (!tokens) return command;
  if (tokens->empty()) {
    command.problem = "empty command line";
    return command;
  }
  const Token& name = tokens->front();
  if (name.quoted || (name.text != "e" && name.text != "E")) {
    command.problem = "unknown command \"" + name.text + "\"";
    return command;
  }
  std::vector<std::string> arguments;
  for (size_t i = 1; i < tokens->size(); ++i) {
    const Token& token = (*tokens)[i];
    if (!token.quoted && !token.text.empty() && token.text[0] == '-') {
      if (token.text == "-d1") {
        command.keepFolders = true;
      } else if (token.text != "-jyc" && token.text != "-jyo" && token.text != "-c1") {
        command.problem = "unknown switch \"" + token.text + "\"";
        return command;
      }
      continue;
    }
    arguments.push_back(token.text);
  }
  if (arguments.empty()) {
    command.problem = "no archive given";
    return command;
  }
  if (arguments.size() < 2) {
    command.problem = "no destination folder given";
    return command;
  }
  if (arguments.size() > 2) {
    command.problem = "selecting members (\"" + arguments[2] + "\") is not supported";
    return command;
  }
  const std::string& folder = arguments[1];
  if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) {
    command.problem = "destination folder must end in a backslash: \"" + folder + "\"";
    return command;
  }
  for (const std::string& path : arguments) {
    if (!IsAbsoluteArgument(path)) {
      command.problem = "not an absolute path: \"" + path + "\"";
      return command;
    }
  }
  command.archive = arguments[0];
  command.folder = folder;
  command.ok = true;
  return command;
}

}  // namespace unlha32
