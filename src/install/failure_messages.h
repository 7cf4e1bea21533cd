// Failure texts of the installation that more than one step uses.
#pragma once

#include <string>

namespace sorana::install {

// "コンポーネントの展開[<position>]に失敗しました。終了します。": the entry at that
// 0-based position of the file list could not be expanded or installed.
inline std::string PositionFailure(size_t position) {
  return "コンポーネントの展開[" + std::to_string(position) + "]に失敗しました。終了します。";
}

}  // namespace sorana::install
